// The OEM configuration block of a driver file on disk: reading it and patching it.
// Also brings in the in-memory operations (oem_block.h, oem_edit.h).
#pragma once

#include <string>
#include <vector>

#include "oem_tool/oem_block.h"
#include "oem_tool/oem_edit.h"

// Reads every field of the file's single, well-formed OEM block.
bool ReadOemFile(const std::string& path, std::vector<OemFieldValue>& fields, std::string& error);

// Applies all `edits` to the file's OEM block, or none: on any refusal or failure the
// file is left byte-identical and `error` (which names the file) says why. The new
// contents replace the file in one rename. Warnings about accepted values are appended
// to `warnings` when it is given.
bool PatchOemFile(const std::string& path, const std::vector<OemEdit>& edits, std::string& error,
                  std::vector<std::string>* warnings = nullptr);
