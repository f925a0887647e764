// Device discovery through the simulated SetupAPI: the sets a query finds, the device
// properties, the interfaces with their paths, aliases and registry keys, and the cbSize
// checks that keep a build of the wrong bitness from finding anything.
#include "hardware_simulator/tests/simulator_fixture.h"

#include <string>

#include "hardware_simulator/device_path.h"
#include "hardware_simulator/interface_keys.h"

using namespace hardware_simulator;

namespace {

constexpr DWORD PresentInterfaces = DIGCF_PRESENT | DIGCF_DEVICEINTERFACE;
constexpr DWORD OtherBitnessRecordSize = sizeof(void*) == 8 ? 28 : 32;

class DeviceEnumeration : public SimulatorTest {
protected:
    void SetUp() override
    {
        InstallDevices({Qorda8(), QordaDeskPro(), HdAudioCodec()});
        devices = device_access::SetupDiGetClassDevsA(&KSCATEGORY_AUDIO, nullptr, nullptr, PresentInterfaces);
        ASSERT_NE(devices, INVALID_HANDLE_VALUE);
    }

    SP_DEVINFO_DATA DeviceAt(DWORD index)
    {
        SP_DEVINFO_DATA device = DeviceRecord();
        EXPECT_TRUE(device_access::SetupDiEnumDeviceInfo(devices, index, &device));
        return device;
    }

    SP_DEVICE_INTERFACE_DATA InterfaceAt(DWORD deviceIndex, DWORD index, const GUID& category = KSCATEGORY_AUDIO)
    {
        SP_DEVINFO_DATA device = DeviceAt(deviceIndex);
        SP_DEVICE_INTERFACE_DATA data = InterfaceRecord();
        EXPECT_TRUE(device_access::SetupDiEnumDeviceInterfaces(devices, &device, &category, index, &data));
        return data;
    }

    // The text property, or the last error as "error N".
    std::string TextProperty(DWORD deviceIndex, DWORD property, DWORD bufferSize = MAX_PATH)
    {
        SP_DEVINFO_DATA device = DeviceAt(deviceIndex);
        std::vector<BYTE> buffer(bufferSize + 1, 0);
        DWORD type = 0, required = 0;
        if (!device_access::SetupDiGetDeviceRegistryPropertyA(devices, &device, property, &type, buffer.data(),
                                                              bufferSize, &required))
            return "error " + std::to_string(GetLastError());
        EXPECT_EQ(type, DWORD(REG_SZ));
        return reinterpret_cast<const char*>(buffer.data());
    }

    std::string PathOf(SP_DEVICE_INTERFACE_DATA& data)
    {
        DWORD required = 0;
        EXPECT_FALSE(device_access::SetupDiGetDeviceInterfaceDetailA(devices, &data, nullptr, 0, &required, nullptr));
        EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
        std::vector<BYTE> buffer(required);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
        EXPECT_TRUE(
            device_access::SetupDiGetDeviceInterfaceDetailA(devices, &data, detail, required, nullptr, nullptr));
        return reinterpret_cast<const char*>(buffer.data() + 4);
    }

    HDEVINFO devices = INVALID_HANDLE_VALUE;
};

TEST_F(DeviceEnumeration, WalksThePresentAudioDevicesInOrderAndThenReportsNoMoreItems)
{
    std::string names[3];
    for (DWORD index = 0; index < 3; ++index) names[index] = TextProperty(index, SPDRP_DEVICEDESC);
    EXPECT_EQ(names[2], "High Definition Audio Device");
    SP_DEVINFO_DATA device = DeviceRecord();
    EXPECT_FALSE(device_access::SetupDiEnumDeviceInfo(devices, 3, &device));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NO_MORE_ITEMS));
    EXPECT_TRUE(IsEqualGUID(DeviceAt(0).ClassGuid, MediaSetupClass));
}

TEST_F(DeviceEnumeration, LeavesOutUnpluggedDevicesAndDevicesWithoutAnAudioInterface)
{
    Device unplugged = UsbHeadset();
    unplugged.present = false;
    Device topologyOnly = Qorda8();
    topologyOnly.filters[0].classes = {{KSCATEGORY_TOPOLOGY, SPINT_ACTIVE}};
    InstallDevices({unplugged, topologyOnly, QordaDeskPro()});
    HDEVINFO found = device_access::SetupDiGetClassDevsA(&KSCATEGORY_AUDIO, nullptr, nullptr, PresentInterfaces);
    SP_DEVINFO_DATA device = DeviceRecord();
    ASSERT_TRUE(device_access::SetupDiEnumDeviceInfo(found, 0, &device));
    EXPECT_FALSE(device_access::SetupDiEnumDeviceInfo(found, 1, &device));
    HDEVINFO everyAudioDevice =
        device_access::SetupDiGetClassDevsA(&KSCATEGORY_AUDIO, nullptr, nullptr, DIGCF_DEVICEINTERFACE);
    EXPECT_TRUE(device_access::SetupDiEnumDeviceInfo(everyAudioDevice, 1, &device));
}

TEST_F(DeviceEnumeration, KeepsItsDevicesWhenTheMachineChanges)
{
    ASSERT_TRUE(Edit([](Machine& machine) { machine.devices.clear(); }));
    EXPECT_EQ(TextProperty(0, SPDRP_FRIENDLYNAME), "Velmora QORDA-8");
}

TEST_F(DeviceEnumeration, RefusesRecordsWithTheOtherBitnessSize)
{
    SP_DEVINFO_DATA device = DeviceRecord(OtherBitnessRecordSize);
    EXPECT_FALSE(device_access::SetupDiEnumDeviceInfo(devices, 0, &device));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_USER_BUFFER));

    SP_DEVICE_INTERFACE_DATA data = InterfaceRecord(OtherBitnessRecordSize);
    EXPECT_FALSE(device_access::SetupDiEnumDeviceInterfaces(devices, nullptr, &KSCATEGORY_AUDIO, 0, &data));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_USER_BUFFER));

    data = InterfaceAt(0, 0);
    BYTE buffer[512] = {};
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer);
    detail->cbSize = sizeof(void*) == 8 ? 5 : 8;
    EXPECT_FALSE(
        device_access::SetupDiGetDeviceInterfaceDetailA(devices, &data, detail, sizeof(buffer), nullptr, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_USER_BUFFER));
}

TEST_F(DeviceEnumeration, AnswersRegistryPropertiesAsTextsOrTheirAbsence)
{
    EXPECT_EQ(TextProperty(0, SPDRP_FRIENDLYNAME), "Velmora QORDA-8");
    EXPECT_EQ(TextProperty(1, SPDRP_FRIENDLYNAME), "error " + std::to_string(ERROR_INVALID_DATA));
    EXPECT_EQ(TextProperty(1, SPDRP_DEVICEDESC), "USB Audio Device");
    EXPECT_EQ(TextProperty(1, SPDRP_SERVICE), "usbaudio");
    EXPECT_EQ(TextProperty(1, SPDRP_LOCATION_INFORMATION), "Port_#0001.Hub_#0004");
    EXPECT_EQ(TextProperty(2, SPDRP_SERVICE), "HdAudAddService");
    EXPECT_EQ(TextProperty(2, SPDRP_MAXIMUM_PROPERTY), "error " + std::to_string(ERROR_INVALID_REG_PROPERTY));
}

TEST_F(DeviceEnumeration, FitsAThreeLetterEnumeratorIntoFourBytesButNotALongerOne)
{
    EXPECT_EQ(TextProperty(0, SPDRP_ENUMERATOR_NAME, 4), "USB");

    SP_DEVINFO_DATA device = DeviceAt(2);
    BYTE buffer[4] = {0xCD, 0xCD, 0xCD, 0xCD};
    DWORD required = 0;
    EXPECT_FALSE(device_access::SetupDiGetDeviceRegistryPropertyA(devices, &device, SPDRP_ENUMERATOR_NAME, nullptr,
                                                                  buffer, 4, &required));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(required, 8u);  // "HDAUDIO" and its NUL
    EXPECT_EQ(buffer[0], 0xCD);
}

TEST_F(DeviceEnumeration, ListsHardwareIdsAsAMultiStringAfterASizeQuery)
{
    SP_DEVINFO_DATA device = DeviceAt(0);
    DWORD type = 0, required = 0;
    EXPECT_FALSE(device_access::SetupDiGetDeviceRegistryPropertyA(devices, &device, SPDRP_HARDWAREID, &type, nullptr, 0,
                                                                  &required));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
    const char expected[] = "USB\\VID_200C&PID_1002&REV_0100&MI_00\0USB\\VID_200C&PID_1002&MI_00\0";
    ASSERT_EQ(required, sizeof(expected));
    std::vector<BYTE> buffer(required);
    ASSERT_TRUE(device_access::SetupDiGetDeviceRegistryPropertyA(devices, &device, SPDRP_HARDWAREID, &type,
                                                                 buffer.data(), required, nullptr));
    EXPECT_EQ(type, DWORD(REG_MULTI_SZ));
    EXPECT_EQ(std::memcmp(buffer.data(), expected, sizeof(expected)), 0);
}

TEST_F(DeviceEnumeration, GivesEachFilterItsPathWithActiveAliasesInItsClasses)
{
    SP_DEVICE_INTERFACE_DATA data = InterfaceAt(0, 0);
    EXPECT_EQ(data.Flags, DWORD(SPINT_ACTIVE));
    EXPECT_EQ(PathOf(data),
              "\\\\?\\USB#VID_200C&PID_1002&MI_00#7&1a2b3c4d&0&0000#{6994ad04-93ef-11d0-a3cc-00a0c9223196}\\global");
    SP_DEVICE_INTERFACE_DATA alias = InterfaceRecord();
    ASSERT_TRUE(device_access::SetupDiGetDeviceInterfaceAlias(devices, &data, &KSCATEGORY_RENDER, &alias));
    EXPECT_EQ(alias.Flags, DWORD(SPINT_ACTIVE));
    EXPECT_EQ(PathOf(alias),
              "\\\\?\\USB#VID_200C&PID_1002&MI_00#7&1a2b3c4d&0&0000#{65e8773e-8f56-11d0-a3b9-00a0c9223196}\\global");
    EXPECT_FALSE(device_access::SetupDiGetDeviceInterfaceAlias(devices, &data, &KSCATEGORY_REALTIME, &alias));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NO_SUCH_INTERFACE_DEVICE));

    SP_DEVICE_INTERFACE_DATA extra = InterfaceRecord();
    SP_DEVINFO_DATA device = DeviceAt(0);
    EXPECT_FALSE(device_access::SetupDiEnumDeviceInterfaces(devices, &device, &KSCATEGORY_AUDIO, 1, &extra));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NO_MORE_ITEMS));
}

TEST_F(DeviceEnumeration, ShowsTheCodecsWaveRtFiltersAndATopologyFilterWithoutRenderAlias)
{
    SP_DEVICE_INTERFACE_DATA alias = InterfaceRecord();
    for (std::size_t index : {HdAudioAnalogWave, HdAudioSpdifWave, HdAudioHdmiWave}) {
        SP_DEVICE_INTERFACE_DATA wave = InterfaceAt(2, DWORD(index));
        EXPECT_TRUE(device_access::SetupDiGetDeviceInterfaceAlias(devices, &wave, &KSCATEGORY_REALTIME, &alias))
            << index;
    }
    SP_DEVICE_INTERFACE_DATA topology = InterfaceAt(2, DWORD(HdAudioAnalogTopology));
    EXPECT_EQ(PathOf(topology).substr(PathOf(topology).rfind('\\')), "\\speakertopo");
    EXPECT_FALSE(device_access::SetupDiGetDeviceInterfaceAlias(devices, &topology, &KSCATEGORY_RENDER, &alias));
}

TEST_F(DeviceEnumeration, ReportsInactiveAndRemovedInterfacesWithTheirFlags)
{
    ASSERT_TRUE(Edit([](Machine& machine) {
        machine.devices[0].filters[0].classes[1].flags = 0;  // the RENDER alias
        machine.devices[1].filters[0].classes[0].flags = SPINT_REMOVED;
    }));
    HDEVINFO changed = device_access::SetupDiGetClassDevsA(&KSCATEGORY_AUDIO, nullptr, nullptr, PresentInterfaces);
    SP_DEVICE_INTERFACE_DATA data = InterfaceRecord(), alias = InterfaceRecord();
    ASSERT_TRUE(device_access::SetupDiEnumDeviceInterfaces(changed, nullptr, &KSCATEGORY_AUDIO, 0, &data));
    ASSERT_TRUE(device_access::SetupDiGetDeviceInterfaceAlias(changed, &data, &KSCATEGORY_RENDER, &alias));
    EXPECT_EQ(alias.Flags, 0u);
    ASSERT_TRUE(device_access::SetupDiEnumDeviceInterfaces(changed, nullptr, &KSCATEGORY_AUDIO, 1, &data));
    EXPECT_EQ(data.Flags, DWORD(SPINT_REMOVED));
}

TEST_F(DeviceEnumeration, HandsOutEachInterfacesRegistryKeyWithItsFriendlyName)
{
    SP_DEVICE_INTERFACE_DATA data = InterfaceAt(0, 0);
    HKEY key = device_access::SetupDiOpenDeviceInterfaceRegKey(devices, &data, 0, KEY_READ);
    ASSERT_NE(key, INVALID_HANDLE_VALUE);
    char name[MAX_PATH] = {};
    DWORD size = sizeof(name), type = 0;
    EXPECT_EQ(RegQueryValueExA(key, "FriendlyName", nullptr, &type, reinterpret_cast<BYTE*>(name), &size),
              ERROR_SUCCESS);
    EXPECT_STREQ(name, "QORDA-8");
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);

    // The keys follow edits, and go with the machine.
    ASSERT_TRUE(Edit([](Machine& machine) { machine.devices[0].filters[0].friendlyName.clear(); }));
    key = device_access::SetupDiOpenDeviceInterfaceRegKey(devices, &data, 0, KEY_READ);
    ASSERT_NE(key, INVALID_HANDLE_VALUE);
    EXPECT_EQ(RegQueryValueExA(key, "FriendlyName", nullptr, nullptr, nullptr, nullptr), ERROR_FILE_NOT_FOUND);
    RegCloseKey(key);
    std::string path = InterfaceKeyPath(DevicePath(Qorda8(), Qorda8().filters[0], KSCATEGORY_AUDIO));
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);
    RegCloseKey(key);
    Clear();
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
}

TEST_F(DeviceEnumeration, RefusesUnknownAndDestroyedSetsAndElementsOfOtherSets)
{
    HDEVINFO other = device_access::SetupDiGetClassDevsA(&KSCATEGORY_AUDIO, nullptr, nullptr, PresentInterfaces);
    SP_DEVINFO_DATA device = DeviceAt(1);
    SP_DEVICE_INTERFACE_DATA data = InterfaceRecord();
    EXPECT_FALSE(device_access::SetupDiEnumDeviceInterfaces(other, &device, &KSCATEGORY_AUDIO, 0, &data));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));  // an element of `devices` is not one of `other`

    EXPECT_TRUE(device_access::SetupDiDestroyDeviceInfoList(other));
    EXPECT_FALSE(device_access::SetupDiEnumDeviceInfo(other, 0, &device));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(device_access::SetupDiDestroyDeviceInfoList(other));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
}

}  // namespace
