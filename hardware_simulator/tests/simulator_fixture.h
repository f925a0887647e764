// What the simulator's tests share: a fixture that clears the machine after each test,
// and requests sent through the device-access layer as the driver sends them.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "hardware_simulator/hardware_simulator.h"
#include "kernel_streaming/device_access.h"
#include "kernel_streaming/kernel_streaming.h"

class SimulatorTest : public testing::Test {
protected:
    void TearDown() override { hardware_simulator::Clear(); }
};

// Installs `devices` as the machine; the test fails if their registry keys cannot be written.
void InstallDevices(std::vector<hardware_simulator::Device> devices);

// SetupAPI records with nothing but their cbSize.
SP_DEVINFO_DATA DeviceRecord(DWORD size = sizeof(SP_DEVINFO_DATA));
SP_DEVICE_INTERFACE_DATA InterfaceRecord(DWORD size = sizeof(SP_DEVICE_INTERFACE_DATA));

// Opens a filter by its KSCATEGORY_AUDIO device path, as the driver does.
HANDLE OpenFilter(const hardware_simulator::Device& device, std::size_t filter = 0);

// The outcome of a DeviceIoControl: its result, last error (ERROR_SUCCESS on TRUE),
// byte count and the whole output buffer.
struct Reply {
    BOOL ok;
    DWORD error;
    DWORD bytes;
    std::vector<BYTE> output;
};

Reply SendProperty(HANDLE filter, const std::vector<BYTE>& input, DWORD outputSize);
// A KSP_PIN GET request, with `extraInput` after the KSP_PIN.
Reply PinRequest(HANDLE filter, ULONG id, ULONG pinId, DWORD outputSize, const std::vector<BYTE>& extraInput = {});
std::vector<BYTE> PropertyBytes(const GUID& set, ULONG id, ULONG flags = KSPROPERTY_TYPE_GET);

// A record read from `bytes` at `offset`.
template <typename Record>
Record ReadAt(const std::vector<BYTE>& bytes, std::size_t offset)
{
    Record record{};
    if (offset + sizeof(Record) <= bytes.size())
        std::memcpy(&record, bytes.data() + offset, sizeof(Record));
    else
        ADD_FAILURE() << "no " << sizeof(Record) << " bytes at " << offset;
    return record;
}
