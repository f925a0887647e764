// kaskade-host: a command-line ASIO host for support and vendors. It lists the drivers
// registered in this process's registry view and creates one to show what it reports.
#include <objbase.h>
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "asio_host/installed_drivers.h"

static int Usage()
{
    std::fprintf(stderr,
                 "usage: kaskade-host list\n"
                 "       kaskade-host info [NAME]   (every registered driver without NAME)\n"
                 "A 32-bit host sees the drivers registered for 32-bit hosts, a 64-bit host the others.\n");
    return 2;
}

static int ListDrivers()
{
    auto drivers = ListInstalledDrivers();
    std::printf("%u ASIO driver(s) registered for %d-bit hosts\n", unsigned(drivers.size()),
                int(sizeof(void*) * 8));
    for (const auto& driver : drivers)
        std::printf("  %-32s %s\n", driver.name.c_str(), driver.classId.c_str());
    return 0;
}

static int ShowDriver(const InstalledDriver& driver)
{
    long error = 0;
    IAsioDriver* asio = CreateDriver(driver, error);
    if (asio == nullptr) {
        std::fprintf(stderr, "kaskade-host: creating \"%s\" failed (0x%08lX)\n", driver.name.c_str(),
                     static_cast<unsigned long>(error));
        return 1;
    }
    char driverName[AsioDriverNameSize] = {};
    asio->getDriverName(driverName);
    std::printf("Driver:   %s\nClass id: %s\nName:     %s\nVersion:  %ld\n", driver.name.c_str(),
                driver.classId.c_str(), driverName, asio->getDriverVersion());
    asio->Release();
    return 0;
}

// Shows the driver called `name`, or every registered driver when `name` is null.
static int ShowDrivers(const char* name)
{
    int shown = 0, failed = 0;
    for (const auto& driver : ListInstalledDrivers()) {
        if (name != nullptr && _stricmp(driver.name.c_str(), name) != 0) continue;
        failed += ShowDriver(driver);
        ++shown;
    }
    if (shown == 0) {
        std::fprintf(stderr, "kaskade-host: no ASIO driver%s%s%s is registered for %d-bit hosts\n",
                     name ? " named \"" : "", name ? name : "", name ? "\"" : "", int(sizeof(void*) * 8));
        return 1;
    }
    return failed == 0 ? 0 : 1;
}

int main(int argc, char** argv)
{
    if (argc < 2) return Usage();
    CoInitialize(nullptr);
    int result;
    if (std::strcmp(argv[1], "list") == 0 && argc == 2)
        result = ListDrivers();
    else if (std::strcmp(argv[1], "info") == 0 && argc <= 3)
        result = ShowDrivers(argc == 3 ? argv[2] : nullptr);
    else
        result = Usage();
    CoUninitialize();
    return result;
}
