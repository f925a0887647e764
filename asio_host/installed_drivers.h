// The ASIO drivers registered on this machine, as a host finds and creates them.
#pragma once

#include <string>
#include <vector>

#include "asio_host/asio_driver.h"

struct InstalledDriver {
    std::string name;     // the key name under HKLM\SOFTWARE\ASIO
    std::string classId;  // "CLSID" value, braced
    std::string description;
};

// Drivers in this process's registry view (a 32-bit process sees the 32-bit view).
std::vector<InstalledDriver> ListInstalledDrivers();

// Creates the driver the way hosts do: the class id is also the interface id.
// Returns null and sets `error` to the failing HRESULT when COM refuses.
IAsioDriver* CreateDriver(const InstalledDriver& driver, long& error);
