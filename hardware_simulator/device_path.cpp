#include "hardware_simulator/device_path.h"

#include <algorithm>
#include <cstdio>

namespace hardware_simulator {

std::string GuidText(const GUID& guid)
{
    char text[39];
    std::snprintf(text, sizeof(text), "{%08lx-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x}",
                  static_cast<unsigned long>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1],
                  guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
    return text;
}

std::string DevicePath(const Device& device, const Filter& filter, const GUID& category)
{
    std::string instance = device.instanceId;
    std::replace(instance.begin(), instance.end(), '\\', '#');
    std::string path = "\\\\?\\" + instance + "#" + GuidText(category);
    if (!filter.referenceString.empty()) path += "\\" + filter.referenceString;
    return path;
}

namespace {

char LowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

}  // namespace

bool SameText(std::string_view a, std::string_view b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char x, char y) { return LowerAscii(x) == LowerAscii(y); });
}

}  // namespace hardware_simulator
