#include "driver/core/guid_text.h"

#include "driver/core/hex_digits.h"

void ParseGuid(const char* text, std::uint8_t guid[16])
{
    // Position of the k-th parsed byte: Data1, Data2 and Data3 are stored little-endian.
    static const std::uint8_t byteOrder[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
    for (int k = 0; k < 16; ++k) guid[k] = 0;

    int digits = 0;
    for (const char* p = text; *p != '\0' && digits < 32; ++p) {
        int value = HexDigitValue(*p);
        if (value < 0) continue;
        std::uint8_t& byte = guid[byteOrder[digits / 2]];
        byte = (digits % 2 == 0) ? std::uint8_t(value << 4) : std::uint8_t(byte | value);
        ++digits;
    }
}
