// Synthetic driver images holding a correctly laid-out OEM block among other bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "driver/core/oem_layout.h"

// Where MakeOemTestImage puts the magic.
constexpr std::size_t TestBlockOffset = 0x400;

// Values of the test block. The driver name field also holds stale bytes after its NUL.
extern const char TestHardwareId[];
extern const char TestDriverName[];
extern const char TestClassId[];
// Number fields in block order, from $LIS to $CPL.
extern const std::uint32_t TestNumbers[9];

std::vector<std::uint8_t> MakeOemTestImage();

// File offset of the value of the field with this tag in a test image.
std::size_t TestValueOffset(const std::string& tag);

// Bytes of a field value as the block stores it.
std::vector<std::uint8_t> TextFieldBytes(const std::string& text);
std::vector<std::uint8_t> NumberBytes(std::uint32_t number);

// `image` with `value` written at the value of field `tag`.
std::vector<std::uint8_t> WithValue(std::vector<std::uint8_t> image, const std::string& tag,
                                    const std::vector<std::uint8_t>& value);
