// Finding the OEM configuration block in a binary image and reading its fields.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "driver/core/oem_layout.h"

struct OemFieldValue {
    OemFieldLayout layout;
    std::string text;          // Text and ClassId fields
    std::uint32_t number = 0;  // Number fields
};

// Finds the single magic in `image` and checks that walking the tagged fields after it
// gives exactly the expected tags, order and lengths. On success stores the offset of
// the magic; otherwise describes the problem in `error`.
bool LocateOemBlock(const std::vector<std::uint8_t>& image, std::size_t& blockOffset, std::string& error);

// Values of every field, in block order, of a block that LocateOemBlock accepted.
std::vector<OemFieldValue> ReadOemFields(const std::vector<std::uint8_t>& image, std::size_t blockOffset);

// Layout of the field with this tag ("$OEM"), or nullptr if there is none.
const OemFieldLayout* FindOemField(const std::string& tag);
