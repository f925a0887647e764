#include "hardware_simulator/tests/simulator_fixture.h"

#include <cstring>

#include "hardware_simulator/device_path.h"

using namespace hardware_simulator;

void InstallDevices(std::vector<Device> devices)
{
    ASSERT_TRUE(Install(Machine{std::move(devices)}));
}

SP_DEVINFO_DATA DeviceRecord(DWORD size)
{
    SP_DEVINFO_DATA record{};
    record.cbSize = size;
    return record;
}

SP_DEVICE_INTERFACE_DATA InterfaceRecord(DWORD size)
{
    SP_DEVICE_INTERFACE_DATA record{};
    record.cbSize = size;
    return record;
}

HANDLE OpenFilter(const Device& device, std::size_t filter)
{
    std::string path = DevicePath(device, device.filters[filter], KSCATEGORY_AUDIO);
    return device_access::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
}

Reply SendProperty(HANDLE filter, const std::vector<BYTE>& input, DWORD outputSize)
{
    std::vector<BYTE> in = input;
    Reply reply{FALSE, ERROR_SUCCESS, 0xDEADBEEF, std::vector<BYTE>(outputSize, 0xCD)};
    reply.ok =
        device_access::DeviceIoControl(filter, IOCTL_KS_PROPERTY, in.data(), DWORD(in.size()),
                                       outputSize ? reply.output.data() : nullptr, outputSize, &reply.bytes, nullptr);
    if (!reply.ok) reply.error = GetLastError();
    return reply;
}

std::vector<BYTE> PropertyBytes(const GUID& set, ULONG id, ULONG flags)
{
    KsIdentifier property{set, id, flags};
    std::vector<BYTE> bytes(sizeof(property));
    std::memcpy(bytes.data(), &property, sizeof(property));
    return bytes;
}

Reply PinRequest(HANDLE filter, ULONG id, ULONG pinId, DWORD outputSize, const std::vector<BYTE>& extraInput)
{
    KsPinProperty request{{KSPROPSETID_Pin, id, KSPROPERTY_TYPE_GET}, pinId, 0};
    std::vector<BYTE> input(sizeof(request));
    std::memcpy(input.data(), &request, sizeof(request));
    input.insert(input.end(), extraInput.begin(), extraInput.end());
    return SendProperty(filter, input, outputSize);
}
