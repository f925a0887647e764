#include "driver/tests/driver_fixture.h"

#include "driver/core/com_objects.h"
#include "driver/core/device_tree.h"
#include "driver/core/module.h"
#include "driver/ui/tray_icon.h"
#include "hardware_simulator/hardware_simulator.h"

namespace sim = hardware_simulator;

std::string DriverKey()
{
    return std::string("SOFTWARE\\") + OemConfig.driverName.text;
}

void StoreDefaultsValue(const char* name, DWORD value)
{
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, (DriverKey() + "\\Defaults").c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
    RegCloseKey(key);
}

void InProcessDriver::SetUp()
{
    AttachModule(GetModuleHandleA(nullptr));
    savedOemConfig = OemConfig;
    RegDeleteTreeA(HKEY_CURRENT_USER, DriverKey().c_str());
}

void InProcessDriver::TearDown()
{
    OpenDialogCount = 0;
    while (DriverObject.referenceCount > 0) SharedRelease(&DriverObject);
    StopUiThread();
    EndModule();
    sim::StopDeviceClock();
    sim::Clear();
    ResetArena();
    OemConfig = savedOemConfig;
    RegDeleteTreeA(HKEY_CURRENT_USER, DriverKey().c_str());
}

void InProcessDriver::AcceptEveryDevice()
{
    OemConfig.hardwareId.text[0] = '\0';
}
