// The values the driver can work with in its OEM fields and in the settings some of
// them seed. The patch tool refuses anything else; the driver itself checks what it
// must not trust to whatever wrote the block. No Windows types here: the patch tool
// builds natively too.
#pragma once

#include <cstddef>
#include <cstdint>

#include "driver/core/hex_digits.h"
#include "driver/core/oem_layout.h"
#include "driver/resources/resource_ids.h"

// Extra latency of a device in samples: $LIS and $LOS, and the "LtcyIn" and "LtcyOut"
// settings they seed. Anything beyond would swamp the latency a host compensates.
constexpr std::uint32_t LongestExtraLatency = 8192;
// Latency margins ($LIM, $LOM) in milliseconds, apart from OemMarginFromQuirkTable.
constexpr std::uint32_t LongestLatencyMargin = 1000;
// Packets in flight per stream ($BSK) that stream set-up uses.
constexpr std::uint32_t FewestKernelBuffers = 2;
constexpr std::uint32_t MostKernelBuffers = 4;
// Buffer sizes ($BSZ) in samples that the driver offers hosts.
constexpr std::uint32_t SmallestBufferSize = 64;
constexpr std::uint32_t LargestBufferSize = 2048;
// Dialog templates the driver carries for its control panel ($CPL).
constexpr std::uint32_t ControlPanelLayouts[] = {IDD_PANEL_PICTURE, IDD_PANEL_ROW, IDD_PANEL_FULL};
// Characters in one registry key name.
constexpr std::size_t LongestKeyName = 255;

constexpr bool IsControlPanelLayout(std::uint32_t id)
{
    for (std::uint32_t layout : ControlPanelLayouts)
        if (id == layout) return true;
    return false;
}

// Why the driver name in a $OEM field of `fieldSize` bytes cannot name the driver's
// registry keys, or null when it can. A key name is one or more printable characters
// other than "\"; the name's length is left to the registry, which refuses a long one.
constexpr const char* DriverNameFault(const char* name, std::size_t fieldSize)
{
    std::size_t length = 0;
    while (length < fieldSize && name[length] != '\0') ++length;
    if (length == fieldSize) return "has no terminating NUL inside its field";
    if (length == 0) return "is empty";
    for (std::size_t i = 0; i < length; ++i) {
        const auto c = static_cast<unsigned char>(name[i]);
        if (c == '\\') return "contains \"\\\", which would nest registry keys";
        if (c < 0x20 || c == 0x7F) return "contains a control character";
    }
    return nullptr;
}

constexpr char UpperCase(char c)
{
    return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
}

// Interface ids the driver's objects answer to: a class id equal to one of them would
// hand a host the wrong object.
constexpr const char* AnsweredInterfaceIds[] = {
    "{00000000-0000-0000-C000-000000000046}",  // IUnknown
    "{00000001-0000-0000-C000-000000000046}",  // IClassFactory
    "{A26078C5-2840-4726-B427-E60FC8FEE403}",  // the setup interface
};

// Why the OemClassIdSize characters at `text` cannot be the driver's class id, or null.
constexpr const char* ClassIdFault(const char* text)
{
    if (text[0] != '{' || text[OemClassIdSize - 1] != '}')
        return "is not a class id of the form {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}";
    bool allZero = true;
    for (std::size_t i = 1; i + 1 < OemClassIdSize; ++i) {
        const bool isDashPosition = i == 9 || i == 14 || i == 19 || i == 24;
        if (isDashPosition ? text[i] != '-' : !IsHexDigit(text[i]))
            return "is not a class id of the form {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}";
        if (!isDashPosition && text[i] != '0') allZero = false;
    }
    if (allZero) return "is the null class id, which names no class";
    for (const char* answered : AnsweredInterfaceIds) {
        std::size_t same = 0;
        while (same < OemClassIdSize && UpperCase(text[same]) == answered[same]) ++same;
        if (same == OemClassIdSize) return "is the id of an interface the driver answers to, not a class id of its own";
    }
    return nullptr;
}
