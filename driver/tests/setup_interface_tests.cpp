// IDriverSetup as a configuration program meets it: asked for by its interface id and
// called through a class of virtual methods, on a simulated machine, with every key in
// its width, every result code, and hostile arguments.
#include <gtest/gtest.h>
#include <objbase.h>

#include <cstring>
#include <string>
#include <vector>

#include "asio_host/asio_driver.h"
#include "asio_host/driver_setup.h"
#include "driver/core/com_objects.h"
#include "driver/core/driver_object.h"
#include "driver/core/module.h"
#include "driver/core/oem_block.h"
#include "driver/core/settings.h"
#include "driver/core/device_tree.h"
#include "driver/tests/driver_fixture.h"
#include "hardware_simulator/hardware_simulator.h"

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID, REFIID, void**);

namespace sim = hardware_simulator;

namespace {

const bool Is64Bit = sizeof(void*) == 8;

class SetupInterface : public InProcessDriver {
protected:
    void SetUp() override
    {
        InProcessDriver::SetUp();
        AcceptEveryDevice();
        ASSERT_TRUE(sim::Install(sim::Machine{{sim::Qorda8(), sim::QordaDeskPro(), sim::HdAudioCodec()}}));
        ASSERT_EQ(DllGetClassObject(IID_IDriverSetup, IID_IDriverSetup, reinterpret_cast<void**>(&setup)), S_OK);
        ASSERT_EQ(setup->Rescan(), S_OK);
    }
    void TearDown() override
    {
        setup->Release();
        SetupModeSwitch = false;
        DriverState = DriverLoaded;
        InProcessDriver::TearDown();
    }
    DWORD DeviceNumber(LONG key, LONG device = 0)
    {
        DWORD value = 0xDEADBEEF;
        EXPECT_EQ(setup->GetDeviceValue(key, device, &value, sizeof(value)), S_OK) << "key " << key;
        return value;
    }
    const char* DeviceText(LONG key, LONG device = 0)
    {
        const char* text = nullptr;
        EXPECT_EQ(setup->GetDeviceValue(key, device, &text, sizeof(text)), S_OK) << "key " << key;
        return text;
    }

    IDriverSetup* setup = nullptr;
};

TEST_F(SetupInterface, ReadsEveryKeyInItsWidth)
{
    EXPECT_EQ(setup->GetInterfaceVersion(), 0x00020001);
    EXPECT_STREQ(DeviceText(1), "Velmora QORDA-8");
    EXPECT_STREQ(DeviceText(3), "usbaudio");
    EXPECT_STREQ(DeviceText(4), "QORDA-8");
    EXPECT_STREQ(DeviceText(5), "USB\\VID_200C&PID_1002&REV_0100&MI_00");
    EXPECT_NE(DeviceText(2), nullptr);
    EXPECT_EQ(DeviceNumber(6), DWORD('U' | 'S' << 8 | 'B' << 16));
    EXPECT_EQ(DeviceNumber(7), 2u);
    EXPECT_EQ(DeviceNumber(8), 10u);
    EXPECT_EQ(DeviceNumber(9), 0u);
    EXPECT_EQ(DeviceNumber(10), 0u);
    EXPECT_EQ(DeviceNumber(11), 256u);
    EXPECT_NE(DeviceNumber(12), DeviceNumber(12, 1)) << "device ids differ";
    DeviceNumber(13);
    EXPECT_TRUE(DeviceNumber(0) & 0x80000000u) << "the first device is selected";

    const char* filterName = nullptr;
    ASSERT_EQ(setup->GetFilterValue(1, 0, 0, &filterName, sizeof(filterName)), S_OK);
    EXPECT_STREQ(filterName, "QORDA-8");
    const BYTE* detail = nullptr;
    ASSERT_EQ(setup->GetFilterValue(2, 0, 0, &detail, sizeof(detail)), S_OK);
    EXPECT_NE(std::strstr(reinterpret_cast<const char*>(detail) + 4, "#{6994ad04"), nullptr)
        << "the device path starts at byte 4";
    DWORD nodes = 0;
    EXPECT_EQ(setup->GetFilterValue(3, 0, 0, &nodes, 4), S_OK);
    EXPECT_EQ(nodes, 3u);

    DWORD pin[6];
    for (LONG key = 0; key < 6; ++key) ASSERT_EQ(setup->GetPinValue(key, 0, 0, 0, &pin[key], 4), S_OK);
    EXPECT_EQ(pin[1], 1u) << "render";
    EXPECT_EQ(pin[2], 8u);
    EXPECT_EQ(pin[3], 24u);
    EXPECT_EQ(pin[4], 44100u);
    EXPECT_EQ(pin[5], 96000u);
}

TEST_F(SetupInterface, AnswersEachResultCodeWithTheBitnessOrderOfChecks)
{
    DWORD value = 0;
    // A short size on a device that does not exist: the 32-bit build checks the size first.
    EXPECT_EQ(setup->GetDeviceValue(0, 99, &value, 2), Is64Bit ? SETUP_E_NODEVICE : SETUP_E_PARAMETER);
    EXPECT_EQ(setup->GetDeviceValue(1, 0, &value, 4), Is64Bit ? SETUP_E_PARAMETER : S_OK)
        << "a pointer key is 8 bytes wide in the 64-bit build";
    void* pointer = nullptr;
    EXPECT_EQ(setup->GetDeviceValue(1, 0, &pointer, sizeof(pointer)), S_OK);
    EXPECT_EQ(setup->GetPinValue(6, 0, 0, 0, &value, 4), SETUP_E_PARAMETER);
    EXPECT_EQ(setup->GetPinValue(0, 0, 0, 2, &value, 4), SETUP_E_NODEVICE) << "one past the last pin";
    EXPECT_EQ(setup->GetFilterValue(4, 0, 0, &value, 4), SETUP_E_PARAMETER);
    EXPECT_EQ(setup->GetDeviceValue(14, 0, &value, 4), SETUP_E_PARAMETER);
}

TEST_F(SetupInterface, HostileArgumentsGetResultCodesNeverACrash)
{
    DWORD value = 0;
    for (ULONG size = 0; size < 4; ++size) EXPECT_NE(setup->GetDeviceValue(0, 0, &value, size), S_OK);
    EXPECT_EQ(setup->GetDeviceValue(0, 0, nullptr, 4), SETUP_E_PARAMETER);
    EXPECT_EQ(setup->SetDeviceValue(11, 0, nullptr, 4), SETUP_E_PARAMETER);
    EXPECT_EQ(setup->GetDeviceValue(-1, 0, &value, 4), SETUP_E_PARAMETER);
    EXPECT_EQ(setup->GetDeviceValue(0x7FFFFFFF, 0, &value, 4), SETUP_E_PARAMETER);
    EXPECT_EQ(setup->GetDeviceValue(0, 0x7FFFFFFF, &value, 4), SETUP_E_NODEVICE);
    EXPECT_EQ(setup->GetPinValue(0, 0, 0x40000000, 0, &value, 4), SETUP_E_NODEVICE);
    EXPECT_EQ(setup->GetDeviceValue(12, -5, &value, 4), S_OK) << "a negative index selects the first";
    EXPECT_EQ(value, DeviceNumber(12, 0));
    const char* none = nullptr;
    EXPECT_EQ(setup->SetDeviceValue(1, 0, &none, sizeof(none)), SETUP_E_PARAMETER) << "no null text";
}

TEST_F(SetupInterface, SetsAreSavedAndTextsCopied)
{
    char name[32] = "Stage Left Interface";
    char* text = name;
    ASSERT_EQ(setup->SetDeviceValue(1, 0, &text, sizeof(text)), S_OK);
    std::strcpy(name, "overwritten by the caller");
    EXPECT_STREQ(DeviceText(1), "Stage Left Interface") << "the driver keeps its own copy";

    DWORD bufferSize = 128;
    ASSERT_EQ(setup->SetDeviceValue(11, 0, &bufferSize, 4), S_OK);
    ASSERT_EQ(setup->Rescan(), S_OK);
    EXPECT_EQ(DeviceNumber(11), 128u) << "saved for this host and loaded by the next scan";
}

TEST_F(SetupInterface, SetupModeWritesTheSharedDefaultsOnly)
{
    char id[9];
    wsprintfA(id, "%08X", DeviceNumber(12));
    SetupModeSwitch = true;
    DWORD bufferSize = 512;
    ASSERT_EQ(setup->SetDeviceValue(11, 0, &bufferSize, 4), S_OK);
    const std::string defaults = DriverKey() + "\\Defaults\\" + id;
    DWORD stored = 0, size = sizeof(stored);
    EXPECT_EQ(
        RegGetValueA(HKEY_CURRENT_USER, defaults.c_str(), "BufferSize", RRF_RT_REG_DWORD, nullptr, &stored, &size),
        ERROR_SUCCESS);
    EXPECT_EQ(stored, 512u);
    char host[9];
    wsprintfA(host, "%08X", HostHash);
    const std::string hostLayer = DriverKey() + "\\" + host + "\\" + id;
    EXPECT_NE(RegGetValueA(HKEY_CURRENT_USER, hostLayer.c_str(), "BufferSize", RRF_RT_ANY, nullptr, nullptr, nullptr),
              ERROR_SUCCESS)
        << "this host's layer is left alone";
}

TEST_F(SetupInterface, RescanIsRefusedWhileBuffersExist)
{
    DriverState = DriverPrepared;
    EXPECT_EQ(setup->Rescan(), SETUP_E_ACTIVE);
    DriverState = DriverInitialised;
    EXPECT_EQ(setup->Rescan(), S_OK);
}

TEST_F(SetupInterface, RescanAfterInitLetsGoOfTheOpenPinsFirst)
{
    IAsioDriver* driver = nullptr;
    ASSERT_EQ(DllGetClassObject(DriverClassId, DriverClassId, reinterpret_cast<void**>(&driver)), S_OK);
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    long inputs = 0, outputs = 0;
    driver->getChannels(&inputs, &outputs);
    EXPECT_EQ(outputs, 8) << "the QORDA-8's pins are open";
    EXPECT_GT(sim::Counters().openPins, 0u);

    EXPECT_EQ(setup->Rescan(), S_OK);
    EXPECT_EQ(sim::Counters().openPins, 0u);
    driver->getChannels(&inputs, &outputs);
    EXPECT_EQ(outputs, 2) << "Not Connected until the host initialises again";
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    driver->getChannels(&inputs, &outputs);
    EXPECT_EQ(outputs, 8);
    driver->Release();
}

LONG CountOpenPinsInTree()
{
    LONG open = 0;
    WalkTree([](DeviceRecord*, FilterRecord*, PinRecord* pin,
                void* count) { *static_cast<LONG*>(count) += pin->handle != INVALID_HANDLE_VALUE ? 1 : 0; },
             &open);
    return open;
}

void IgnoreSwitch(long, ASIOBool) {}

struct RescanCall {
    IDriverSetup* setup;
    HRESULT result;
};

DWORD WINAPI CallRescan(void* call)
{
    auto* rescan = static_cast<RescanCall*>(call);
    rescan->result = rescan->setup->Rescan();
    return 0;
}

// A host thread holds the lock while Rescan waits for it, and creates its buffers in
// that time: Rescan must find the host prepared and leave its open pins alone.
TEST_F(SetupInterface, RescanWaitingForTheLockChecksTheStateAgain)
{
    IAsioDriver* driver = nullptr;
    ASSERT_EQ(DllGetClassObject(DriverClassId, DriverClassId, reinterpret_cast<void**>(&driver)), S_OK);
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    const LONG openPins = CountOpenPinsInTree();
    const unsigned simulatedOpenPins = sim::Counters().openPins;
    ASSERT_GT(openPins, 0);

    EnterDriverLock();
    RescanCall call = {setup, E_FAIL};
    HANDLE thread = CreateThread(nullptr, 0, CallRescan, &call, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    // Long enough for the call to pass any check made before the lock on a loaded machine.
    EXPECT_EQ(WaitForSingleObject(thread, 500), DWORD(WAIT_TIMEOUT)) << "Rescan waits for the lock";
    ASIOBufferInfo output = {ASIOFalse, 0, {}};
    ASIOCallbacks callbacks = {IgnoreSwitch, nullptr, nullptr, nullptr};
    EXPECT_EQ(driver->createBuffers(&output, 1, 256, &callbacks), ASE_OK);
    LeaveDriverLock();
    ASSERT_EQ(WaitForSingleObject(thread, 30000), DWORD(WAIT_OBJECT_0));
    CloseHandle(thread);

    EXPECT_EQ(call.result, SETUP_E_ACTIVE);
    EXPECT_EQ(CountOpenPinsInTree(), openPins) << "the host's pins are still open and in the tree";
    EXPECT_EQ(sim::Counters().openPins, simulatedOpenPins);
    EXPECT_NE(output.buffers[0], nullptr);
    EXPECT_EQ(driver->disposeBuffers(), ASE_OK);
    driver->Release();
}

// The caller's interface detail is only as long as its path: the driver reads the path
// up to its NUL and no further, here right before memory that cannot be read.
TEST_F(SetupInterface, SettingAFilterPathReadsOnlyThePathsOwnLength)
{
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    auto* pages =
        static_cast<char*>(VirtualAlloc(nullptr, 2 * system.dwPageSize, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    ASSERT_NE(pages, nullptr);
    DWORD old;
    ASSERT_TRUE(VirtualProtect(pages + system.dwPageSize, system.dwPageSize, PAGE_NOACCESS, &old));

    const char path[] = "\\\\?\\usb#vid_200c&pid_1002#stage#{6994ad04-93ef-11d0-a3cc-00a0c9223196}\\global";
    char* detail = pages + system.dwPageSize - 4 - sizeof(path);
    const DWORD callerSize = 4 + sizeof(path);
    std::memcpy(detail, &callerSize, 4);
    std::memcpy(detail + 4, path, sizeof(path));
    ASSERT_EQ(setup->SetFilterValue(2, 0, 0, &detail, sizeof(detail)), S_OK);

    const char* stored = nullptr;
    ASSERT_EQ(setup->GetFilterValue(2, 0, 0, &stored, sizeof(stored)), S_OK);
    ASSERT_NE(stored, nullptr);
    EXPECT_NE(stored, detail) << "a copy of its own";
    EXPECT_STREQ(stored + 4, path);
    DWORD storedSize = 0;
    std::memcpy(&storedSize, stored, 4);
    EXPECT_EQ(storedSize, DWORD(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A))) << "the size this build's records carry";

    // A path longer than the driver's records hold is refused, not cut.
    std::string longPath(261, 'p');
    std::vector<char> longDetail(4 + longPath.size() + 1);
    std::memcpy(longDetail.data() + 4, longPath.c_str(), longPath.size() + 1);
    char* longPointer = longDetail.data();
    EXPECT_EQ(setup->SetFilterValue(2, 0, 0, &longPointer, sizeof(longPointer)), SETUP_E_PARAMETER);
    ASSERT_EQ(setup->GetFilterValue(2, 0, 0, &stored, sizeof(stored)), S_OK);
    EXPECT_STREQ(stored + 4, path);
    longPath.resize(260);
    longDetail.assign(4 + longPath.size() + 1, 0);
    std::memcpy(longDetail.data() + 4, longPath.c_str(), longPath.size() + 1);
    longPointer = longDetail.data();
    EXPECT_EQ(setup->SetFilterValue(2, 0, 0, &longPointer, sizeof(longPointer)), S_OK);
    ASSERT_EQ(setup->GetFilterValue(2, 0, 0, &stored, sizeof(stored)), S_OK);
    EXPECT_EQ(stored + 4, longPath);

    VirtualFree(pages, 0, MEM_RELEASE);
}

// A name as long as the driver's texts hold (259 characters) reaches the tree whole.
TEST_F(SetupInterface, AFilterNameOfTheLongestLengthIsKeptWhole)
{
    sim::Device device = sim::Qorda8();
    device.filters[0].friendlyName = std::string(OemTextSize - 1, 'F');
    ASSERT_TRUE(sim::Install(sim::Machine{{device}}));
    ASSERT_EQ(setup->Rescan(), S_OK);
    const char* name = nullptr;
    ASSERT_EQ(setup->GetFilterValue(1, 0, 0, &name, sizeof(name)), S_OK);
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(std::string(name), device.filters[0].friendlyName);
}

// A configuration program opened in setup mode after this process's first scan read the
// host layer: what it reads and writes back must be "Defaults" and the defaults alone.
TEST_F(SetupInterface, SetupModeNeitherShowsNorSpreadsTheHostsOwnValues)
{
    char id[9];
    wsprintfA(id, "%08X", DeviceNumber(12));
    char host[9];
    wsprintfA(host, "%08X", HostHash);
    const std::string hostDevice = DriverKey() + "\\" + host + "\\" + id;
    HKEY key;
    ASSERT_EQ(
        RegCreateKeyExA(HKEY_CURRENT_USER, hostDevice.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
        ERROR_SUCCESS);
    const DWORD hostBufferSize = 1024;
    RegSetValueExA(key, "BufferSize", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&hostBufferSize), 4);
    RegCloseKey(key);
    ASSERT_EQ(setup->Rescan(), S_OK);
    ASSERT_EQ(DeviceNumber(11), 1024u);

    SetupModeSwitch = true;
    EXPECT_EQ(DeviceNumber(11), 256u) << "not in \"Defaults\": the built-in default";
    DWORD latency = 5;
    ASSERT_EQ(setup->SetDeviceValue(9, 0, &latency, 4), S_OK);
    DWORD stored = 0, size = sizeof(stored);
    const std::string defaults = DriverKey() + "\\Defaults\\" + id;
    EXPECT_EQ(
        RegGetValueA(HKEY_CURRENT_USER, defaults.c_str(), "BufferSize", RRF_RT_REG_DWORD, nullptr, &stored, &size),
        ERROR_SUCCESS);
    EXPECT_EQ(stored, 256u) << "the host's own value did not become everyone's";
}

}  // namespace
