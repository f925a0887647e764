#include "driver/core/device_text.h"

#include <cstring>

bool HardwareIdMatches(const char* hardwareId, const char* pattern, std::size_t patternSize)
{
    for (std::size_t i = 0; i < patternSize && pattern[i] != '\0'; ++i) {
        if (hardwareId[i] == '\0') return false;
        if (pattern[i] == '*') continue;
        // Equal, or differing only in bit 5: letters of either case.
        if ((hardwareId[i] ^ pattern[i]) & ~0x20) return false;
    }
    return true;
}

namespace {

// Replaces the first `from` in `name` by `to` (which is not longer).
void ReplaceFirst(char* name, const char* from, const char* to)
{
    char* found = std::strstr(name, from);
    if (found == nullptr) return;
    std::size_t fromLength = std::strlen(from);
    std::size_t toLength = std::strlen(to);
    std::memcpy(found, to, toLength);
    std::memmove(found + toLength, found + fromLength, std::strlen(found + fromLength) + 1);
}

}  // namespace

void CleanFriendlyName(char* name)
{
    constexpr std::size_t LongName = 40;
    const struct {
        const char* from;
        const char* to;
    } steps[] = {
        {"Microsoft UAA", "UAA"},
        {"High Definition Audio", "HDA"},
        {" (WDM)", ""},
        {" (WAVE)", ""},
    };
    for (const auto& step : steps)
        if (std::strlen(name) >= LongName) ReplaceFirst(name, step.from, step.to);
}
