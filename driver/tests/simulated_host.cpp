#include "driver/tests/simulated_host.h"

#include <gtest/gtest.h>

#include "oem_tool/oem_block_file.h"
#include "test_support/windows_test_support.h"

namespace {

#if defined(KASKADE_PRODUCT_QORDA_8)
const InstalledDriver ShippedRegistration = {"VelmoraAsioQorda8", "{DF83B1FC-6DE1-4072-B97B-C80B98AB62CF}",
                                             "VelmoraAsioQorda8"};
#else
const InstalledDriver ShippedRegistration = {"Velmora ASIO QORDA DESK PRO", "{3B044C5C-8A96-4F5F-993B-33254E117467}",
                                             "Velmora ASIO QORDA DESK PRO"};
#endif
const InstalledDriver NoDeviceRegistration = {"Kaskade No Device Test", "{6A1D2B3C-4E5F-4A7B-8C9D-0E1F2A3B4C5D}",
                                              "Kaskade No Device Test"};
constexpr char UnmatchedHardwareId[] = "USB\\VID_0000&PID_0000";

std::atomic<IAsioDriver*> RecordedDriver;
std::atomic<int> SwitchCount;
SwitchRecord Switches[8192];

void RecordSwitch(long index, ASIOBool directProcess)
{
    int number = SwitchCount.load();
    IAsioDriver* driver = RecordedDriver.load();
    SwitchRecord record = {index, directProcess, ~0ull, 0};
    if (driver != nullptr) {
        ASIOSamples position = {};
        ASIOTimeStamp time = {};
        if (driver->getSamplePosition(&position, &time) == ASE_OK) record.samplePosition = SamplesOf(position);
        if (CallOutputReadyInSwitch) record.outputReadyResult = driver->outputReady();
        if (StopInFirstSwitch.exchange(false)) driver->stop();
    }
    if (number < int(std::size(Switches))) Switches[number] = record;
    SwitchCount.store(number + 1);
}

// A host that supports no message.
long AnswerNoMessage(long, long, void*, double*)
{
    return 0;
}

std::string ClassKey(const InstalledDriver& registration)
{
    return "SOFTWARE\\Classes\\CLSID\\" + registration.classId;
}

}  // namespace

std::atomic<bool> CallOutputReadyInSwitch;
std::atomic<bool> StopInFirstSwitch;

DriverUnderTest SimulatedBuild()
{
    return {ExecutableDirectory() + KASKADE_SIM_DLL_FILE, ShippedRegistration};
}

DriverUnderTest NoDeviceBuild()
{
    DriverUnderTest build = {ExecutableDirectory() + "no-device-" KASKADE_SIM_DLL_FILE, NoDeviceRegistration};
    std::string error;
    EXPECT_TRUE(CopyFileTo(SimulatedBuild().dllPath, build.dllPath));
    EXPECT_TRUE(PatchOemFile(
        build.dllPath,
        {{"$OEM", NoDeviceRegistration.name}, {"$CLS", NoDeviceRegistration.classId}, {"$HID", UnmatchedHardwareId}},
        error))
        << error;
    return build;
}

std::string SettingsKey(const DriverUnderTest& driver)
{
    return "SOFTWARE\\" + driver.registration.name;
}

bool Register(const DriverUnderTest& driver)
{
    return RunProcess("regsvr32.exe /s \"" + driver.dllPath + "\"") == 0;
}

void RemoveRegistrationAndSettings(const DriverUnderTest& driver)
{
    const InstalledDriver& registration = driver.registration;
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, ("SOFTWARE\\ASIO\\" + registration.name).c_str());
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, (ClassKey(registration) + "\\InprocServer32").c_str());
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, ClassKey(registration).c_str());
    RegDeleteTreeA(HKEY_CURRENT_USER, SettingsKey(driver).c_str());
}

void StoreDefaultsValue(const DriverUnderTest& driver, const char* name, DWORD value)
{
    HKEY key;
    std::string path = SettingsKey(driver) + "\\Defaults";
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
    RegCloseKey(key);
}

IAsioDriver* CreateThroughCom(const DriverUnderTest& driver)
{
    for (const InstalledDriver& installed : ListInstalledDrivers()) {
        if (installed.name != driver.registration.name) continue;
        long error = 0;
        return CreateDriver(installed, error);
    }
    return nullptr;
}

unsigned long long SamplesOf(const ASIOSamples& samples)
{
    return (static_cast<unsigned long long>(samples.hi) << 32) | samples.lo;
}

void ResetRecorder(IAsioDriver* driver)
{
    RecordedDriver = driver;
    SwitchCount = 0;
    CallOutputReadyInSwitch = false;
    StopInFirstSwitch = false;
}

ASIOCallbacks RecordingCallbacks()
{
    return {RecordSwitch, nullptr, AnswerNoMessage, nullptr};
}

int RecordedSwitches()
{
    return SwitchCount.load();
}

const SwitchRecord& RecordedSwitch(int number)
{
    return Switches[number];
}

bool WaitForSwitches(int count, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    while (SwitchCount.load() < count) {
        if (GetTickCount() - start > timeoutMs) return false;
        Sleep(1);
    }
    return true;
}

int CountSwitchesDuring(DWORD milliseconds)
{
    int before = SwitchCount.load();
    Sleep(milliseconds);
    return SwitchCount.load() - before;
}

int SwitchesPerSecond(long bufferSize, double rate)
{
    return int(rate / bufferSize);
}

bool IsPlausibleSwitchCount(int counted, long bufferSize, double rate)
{
    int expected = SwitchesPerSecond(bufferSize, rate);
    return counted >= expected * 3 / 4 && counted <= expected * 5 / 4;
}
