// GUID text to the binary GUID layout.
#pragma once

#include <cstdint>

// Reads 32 hexadecimal digits from `text`, skipping every other character (braces,
// dashes), and stores them as a GUID: the first three groups little-endian. Stops at
// the text's end; bytes it found no digits for are zero.
void ParseGuid(const char* text, std::uint8_t guid[16]);
