#include "hardware_simulator/interface_keys.h"

#include <windows.h>

#include <algorithm>

#include "hardware_simulator/device_path.h"

namespace hardware_simulator {

namespace {

constexpr char RootKey[] = "Software\\Kaskade Hardware Simulator";

std::string ProcessKeyPath()
{
    return std::string(RootKey) + "\\Process " + std::to_string(GetCurrentProcessId());
}

bool WriteKey(const std::string& path, const std::string& friendlyName)
{
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, REG_OPTION_VOLATILE, KEY_WRITE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return false;
    LONG result = ERROR_SUCCESS;
    if (!friendlyName.empty())
        result = RegSetValueExA(key, "FriendlyName", 0, REG_SZ, reinterpret_cast<const BYTE*>(friendlyName.c_str()),
                                DWORD(friendlyName.size() + 1));
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

}  // namespace

std::string InterfaceKeyPath(const std::string& devicePath)
{
    std::string name = devicePath;
    std::replace(name.begin(), name.end(), '\\', '#');
    return ProcessKeyPath() + "\\" + name;
}

bool WriteInterfaceKeys(const Machine& machine)
{
    RemoveInterfaceKeys();
    bool written = true;
    for (const Device& device : machine.devices)
        for (const Filter& filter : device.filters)
            for (const InterfaceClass& registration : filter.classes)
                written &=
                    WriteKey(InterfaceKeyPath(DevicePath(device, filter, registration.category)), filter.friendlyName);
    return written;
}

void RemoveInterfaceKeys()
{
    RegDeleteTreeA(HKEY_CURRENT_USER, ProcessKeyPath().c_str());
    // The root goes with the last process's keys; it stays while others have theirs.
    RegDeleteKeyA(HKEY_CURRENT_USER, RootKey);
}

}  // namespace hardware_simulator
