// Whole-file reads, and whole-file replacement that never leaves a half-written file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

bool ReadFileBytes(const std::string& path, std::vector<std::uint8_t>& bytes, std::string& error);

// Writes `bytes` to a new file in the same folder and renames it over `path`, keeping the
// file's permissions. On failure the original is untouched and the new file is removed.
bool ReplaceFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes, std::string& error);
