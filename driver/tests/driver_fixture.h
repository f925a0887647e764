// What the in-process driver tests share: the driver linked into the test executable,
// which is its module, on the simulated machine a test installs. Every test starts and
// ends without the driver's settings in the registry and with the OEM block as built.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "driver/core/oem_block.h"

// The driver's settings under HKEY_CURRENT_USER: "SOFTWARE\<driver name>".
std::string DriverKey();
// Stores a number in the "Defaults" layer, as a choice every host reads when the driver
// starts.
void StoreDefaultsValue(const char* name, DWORD value);

class InProcessDriver : public testing::Test {
protected:
    // Attaches the module, keeps the OEM block and deletes the driver's settings.
    void SetUp() override;
    // Releases the references the test left on the driver object, ends the UI thread and
    // the module, stops and clears the simulated machine and the device tree, puts the OEM
    // block back and deletes the driver's settings.
    void TearDown() override;

    // Lets the scan take every device, whatever its hardware id.
    static void AcceptEveryDevice();

    // The OEM block as the test found it.
    OemConfigBlock savedOemConfig;
};
