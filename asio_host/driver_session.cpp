#include "asio_host/driver_session.h"

#include <windows.h>

#include <cstdio>

#include "asio_host/installed_drivers.h"

IAsioDriver* OpenDriver(const std::string& name, std::string& error)
{
    for (const InstalledDriver& driver : ListInstalledDrivers()) {
        if (_stricmp(driver.name.c_str(), name.c_str()) != 0) continue;
        long result = 0;
        IAsioDriver* asio = CreateDriver(driver, result);
        if (asio == nullptr) {
            char code[16];
            std::snprintf(code, sizeof(code), "0x%08lX", static_cast<unsigned long>(result));
            error = "creating \"" + driver.name + "\" failed (" + code + ")";
            return nullptr;
        }
        if (asio->init(nullptr) != ASIOTrue) {
            char message[AsioErrorMessageSize] = {};
            asio->getErrorMessage(message);
            asio->Release();
            error = "\"" + driver.name + "\" refused init: " + message;
            return nullptr;
        }
        return asio;
    }
    error =
        "no ASIO driver named \"" + name + "\" is registered for " + std::to_string(sizeof(void*) * 8) + "-bit hosts";
    return nullptr;
}
