// Hexadecimal digits in text the driver reads (GUIDs, OEM class ids, colour strings)
// and in the numbers its tools take. No Windows types: the OEM tool's native build
// reads them too.
#pragma once

#include <cstdint>

// The value of a hexadecimal digit of either case; -1 for any other character.
constexpr int HexDigitValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

constexpr bool IsHexDigit(char c)
{
    return HexDigitValue(c) >= 0;
}

// A decimal number, or a hexadecimal one after "0x", that fits 32 bits: no sign, no
// spaces, and a leading zero is no octal. False, `*value` unchanged, for anything else.
constexpr bool ParseUnsigned32(const char* text, std::uint32_t* value)
{
    if (text == nullptr) return false;
    const bool hexadecimal = text[0] == '0' && (text[1] == 'x' || text[1] == 'X') && text[2] != '\0';
    const int base = hexadecimal ? 16 : 10;
    const char* digits = hexadecimal ? text + 2 : text;
    if (*digits == '\0') return false;
    std::uint64_t number = 0;
    for (const char* c = digits; *c != '\0'; ++c) {
        const int digit = HexDigitValue(*c);
        if (digit < 0 || digit >= base) return false;
        number = number * base + std::uint64_t(digit);
        if (number > 0xFFFFFFFFu) return false;
    }
    *value = std::uint32_t(number);
    return true;
}
