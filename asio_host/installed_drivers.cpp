#include "asio_host/installed_drivers.h"

#include <objbase.h>
#include <windows.h>

namespace {

std::string ReadText(HKEY key, const char* name)
{
    char text[512];
    DWORD size = sizeof(text) - 1;
    DWORD type = 0;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text), &size) != ERROR_SUCCESS ||
        type != REG_SZ)
        return std::string();
    text[size] = '\0';
    return std::string(text);
}

}  // namespace

std::vector<InstalledDriver> ListInstalledDrivers()
{
    std::vector<InstalledDriver> drivers;
    HKEY asio;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\ASIO", 0, KEY_READ, &asio) != ERROR_SUCCESS) return drivers;
    char name[256];
    for (DWORD index = 0;; ++index) {
        DWORD length = sizeof(name);
        if (RegEnumKeyExA(asio, index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        HKEY driverKey;
        if (RegOpenKeyExA(asio, name, 0, KEY_READ, &driverKey) != ERROR_SUCCESS) continue;
        drivers.push_back({name, ReadText(driverKey, "CLSID"), ReadText(driverKey, "Description")});
        RegCloseKey(driverKey);
    }
    RegCloseKey(asio);
    return drivers;
}

IAsioDriver* CreateDriver(const InstalledDriver& driver, long& error)
{
    CLSID classId;
    std::wstring text(driver.classId.begin(), driver.classId.end());
    error = CLSIDFromString(text.c_str(), &classId);
    if (FAILED(error)) return nullptr;
    void* object = nullptr;
    error = CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER, classId, &object);
    return SUCCEEDED(error) ? static_cast<IAsioDriver*>(object) : nullptr;
}
