// Checking new field values and writing them into an OEM block in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct OemEdit {
    std::string tag;    // field tag, such as "$OEM"
    std::string value;  // the text itself, or a number in decimal or 0x hexadecimal
};

// Checks every edit, then writes all of them into the block at `blockOffset` (as
// LocateOemBlock found it). Text fields are zero-filled after the new text. If any edit
// is refused (a value the driver cannot use, such as a driver name that cannot be a
// registry key name), `image` is left untouched and `error` says why. Values that are
// accepted but questionable, in the edits or in the block they leave (a control panel
// dialog the driver lacks, an empty hardware-id pattern), add a message to `warnings`
// when it is given.
bool ApplyOemEdits(std::vector<std::uint8_t>& image, std::size_t blockOffset, const std::vector<OemEdit>& edits,
                   std::string& error, std::vector<std::string>* warnings = nullptr);
