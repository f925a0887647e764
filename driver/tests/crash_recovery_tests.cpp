// The improper-shutdown guard across host processes: this executable plays the hosts
// itself. A parent test starts a copy of it that runs one CrashHost test (the host's
// role) and either kills it while it holds the driver initialised or waits for its
// verdict; the registry between them is what a real crash would leave.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>

#include "asio_host/asio_driver.h"
#include "driver/core/channel_names.h"
#include "driver/core/com_objects.h"
#include "driver/core/driver_init.h"
#include "driver/core/driver_object.h"
#include "driver/core/hash_name.h"
#include "driver/core/module.h"
#include "driver/core/settings.h"
#include "driver/engine/host_callbacks.h"
#include "driver/tests/driver_fixture.h"
#include "driver/tests/panel_windows.h"
#include "hardware_simulator/device_clock.h"
#include "hardware_simulator/machine.h"

namespace sim = hardware_simulator;

namespace {

constexpr char RoleVariable[] = "KASKADE_CRASH_HOST_ROLE";
constexpr char HoldingEventName[] = "KaskadeCrashTestHostHolding";
constexpr char BoxCaption[] = "ASIO Driver Crash Recovery";
constexpr char BoxText[] = "Improper shutdown detected! Audio disabled! Please check the ASIO Driver control panel!";

std::string OwnPath()
{
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, sizeof(path));
    return path;
}

// The layer of the program at `path`: this executable's unless given.
std::string HostLayerKey(const std::string& path = OwnPath())
{
    char layer[16];
    std::snprintf(layer, sizeof(layer), "\\%08X", static_cast<unsigned>(HashName(path.c_str())));
    return DriverKey() + layer;
}

// A copy of this executable under another name: another host program, with a layer of
// its own.
std::string OtherHostPath()
{
    std::string path = OwnPath();
    return path.substr(0, path.find_last_of('\\') + 1) + "crash_recovery_other_host.exe";
}

std::string DefaultsKey()
{
    return DriverKey() + "\\Defaults";
}

// The "Flags" value of a key; -1 when it has none.
long long StoredFlags(const std::string& key)
{
    DWORD value = 0;
    DWORD size = sizeof(value);
    if (RegGetValueA(HKEY_CURRENT_USER, key.c_str(), "Flags", RRF_RT_REG_DWORD, nullptr, &value, &size) !=
        ERROR_SUCCESS)
        return -1;
    return value;
}

void StoreFlags(const std::string& key, DWORD value)
{
    HKEY handle;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &handle, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(handle, "Flags", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
    RegCloseKey(handle);
}

bool IsHostRole()
{
    return std::getenv(RoleVariable) != nullptr;
}

// Runs this executable (or the copy at `program`) as a host playing CrashHost.<role>.
// With `killWhenHolding`, the host is killed once it holds the driver initialised;
// otherwise its exit code (0 when its test passed) is returned.
DWORD RunHost(const char* role, bool killWhenHolding, const std::string& program = OwnPath())
{
    HANDLE holding = CreateEventA(nullptr, TRUE, FALSE, HoldingEventName);
    SetEnvironmentVariableA(RoleVariable, "1");
    std::string command = program;
    command.insert(0, 1, '"');
    command.append("\" --gtest_filter=CrashHost.").append(role);
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    BOOL started =
        CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process);
    SetEnvironmentVariableA(RoleVariable, nullptr);
    DWORD result = 0xFFFFFFFF;
    if (started) {
        if (killWhenHolding) {
            HANDLE waits[] = {holding, process.hProcess};
            if (WaitForMultipleObjects(2, waits, FALSE, 60000) == WAIT_OBJECT_0) {
                TerminateProcess(process.hProcess, 99);
                result = 0;
            }
        }
        WaitForSingleObject(process.hProcess, 120000);
        if (!killWhenHolding) GetExitCodeProcess(process.hProcess, &result);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CloseHandle(holding);
    return result;
}

// Dismisses every crash-recovery box that appears, as a user pressing OK would, and
// keeps what they said.
class BoxDismisser {
public:
    BoxDismisser() { thread_ = CreateThread(nullptr, 0, Watch, this, 0, nullptr); }
    ~BoxDismisser()
    {
        ending_ = true;
        WaitForSingleObject(thread_, INFINITE);
        CloseHandle(thread_);
    }
    int Count() const { return count_; }
    std::string LastText() const { return text_; }

private:
    static DWORD WINAPI Watch(void* self)
    {
        auto* dismisser = static_cast<BoxDismisser*>(self);
        while (!dismisser->ending_) {
            HWND box = FindWindowA("#32770", BoxCaption);
            if (box == nullptr) {
                Sleep(20);
                continue;
            }
            char text[256] = {};
            GetDlgItemTextA(box, 0xFFFF, text, sizeof(text));
            dismisser->text_ = text;
            ++dismisser->count_;
            SendMessageA(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
            while (IsWindow(box) && !dismisser->ending_) Sleep(20);
        }
        return 0;
    }

    HANDLE thread_;
    std::atomic<bool> ending_{false};
    std::atomic<int> count_{0};
    std::string text_;
};

std::atomic<int> Switches;

void CountSwitch(long, ASIOBool)
{
    ++Switches;
}

long AnswerMessage(long, long, void*, double*)
{
    return 0;
}

// The driver linked into this executable, on the simulated machine of its product.
class CrashHost : public testing::Test {
protected:
    void SetUp() override
    {
        if (!IsHostRole()) GTEST_SKIP() << "runs only as a host started by the CrashGuard tests";
        AttachModule(GetModuleHandleA(nullptr));
        ASSERT_TRUE(sim::InstallDefaultMachine());
        driver->AddRef();
    }
    void TearDown() override
    {
        if (!IsHostRole()) return;
        while (DriverObject.referenceCount > 0) driver->Release();
        sim::Clear();
    }
    // Channels of each direction, and whether every one is a "Not Connected" one.
    bool AllNotConnected(long* inputs, long* outputs)
    {
        EXPECT_EQ(driver->getChannels(inputs, outputs), ASE_OK);
        for (long channel = 0; channel < *inputs + *outputs; ++channel) {
            ASIOChannelInfo info = {};
            info.channel = channel < *inputs ? channel : channel - *inputs;
            info.isInput = channel < *inputs ? ASIOTrue : ASIOFalse;
            EXPECT_EQ(driver->getChannelInfo(&info), ASE_OK);
            if (std::strncmp(info.name, "Not Connected", 13) != 0) return false;
        }
        return true;
    }

    IAsioDriver* const driver = reinterpret_cast<IAsioDriver*>(&DriverObject);
};

TEST_F(CrashHost, HoldsTheDriverUntilKilled)
{
    const bool setupMode = std::getenv("KASKADE_CRASH_SETUP_MODE") != nullptr;
    ASSERT_EQ(driver->init(setupMode ? reinterpret_cast<void*>(UINT_PTR(SetupModeHandle)) : nullptr), ASIOTrue);
    HANDLE holding = OpenEventA(EVENT_MODIFY_STATE, FALSE, HoldingEventName);
    ASSERT_NE(holding, nullptr);
    SetEvent(holding);
    Sleep(INFINITE);
}

TEST_F(CrashHost, RecoversAfterTheWarning)
{
    BoxDismisser dismisser;
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    EXPECT_EQ(dismisser.Count(), 1);
    EXPECT_EQ(dismisser.LastText(), BoxText);
    EXPECT_EQ(StoredFlags(HostLayerKey()) & GlobalFlagCrashMarker, GlobalFlagCrashMarker) << "armed for this session";

    long inputs = 0;
    long outputs = 0;
    EXPECT_TRUE(AllNotConnected(&inputs, &outputs));
    EXPECT_EQ(inputs, 2);
    EXPECT_EQ(outputs, 2);

    // Silence at the buffer period: the clock calls back and the inputs stay zero.
    ASIOBufferInfo infos[4];
    for (int channel = 0; channel < 4; ++channel)
        infos[channel] = {channel < 2 ? ASIOTrue : ASIOFalse, channel % 2, {}};
    ASIOCallbacks callbacks = {CountSwitch, nullptr, AnswerMessage, nullptr};
    ASSERT_EQ(driver->createBuffers(infos, 4, 256, &callbacks), ASE_OK);
    Switches = 0;
    ASSERT_EQ(driver->start(), ASE_OK);
    for (int wait = 0; wait < 500 && Switches < 8; ++wait) Sleep(10);
    EXPECT_GE(Switches.load(), 8);
    EXPECT_EQ(driver->stop(), ASE_OK);
    for (int channel = 0; channel < 2; ++channel)
        for (int half = 0; half < 2; ++half) {
            const auto* samples = static_cast<const int*>(infos[channel].buffers[half]);
            for (int sample = 0; sample < 256; ++sample)
                ASSERT_EQ(samples[sample], 0) << "input " << channel << " half " << half;
        }
    EXPECT_EQ(driver->disposeBuffers(), ASE_OK);

    // The user opens the control panel as the warning asks and closes it, then the host
    // resets: the device's pins are back and no second warning appears.
    ASSERT_EQ(driver->controlPanel(), ASE_OK);
    HWND panel = WaitForPanel(PanelCaption);
    ASSERT_NE(panel, nullptr);
    SendMessageA(panel, WM_CLOSE, 0, 0);
    ASSERT_TRUE(WaitUntilGone(panel));
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    EXPECT_FALSE(AllNotConnected(&inputs, &outputs));
    Sleep(300);
    EXPECT_EQ(dismisser.Count(), 1);

    driver->Release();
    EXPECT_EQ(StoredFlags(HostLayerKey()) & GlobalFlagCrashMarker, 0u) << "a clean end disarms";
}

TEST_F(CrashHost, StreamsWithoutAWarning)
{
    BoxDismisser dismisser;
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    long inputs = 0;
    long outputs = 0;
    EXPECT_FALSE(AllNotConnected(&inputs, &outputs)) << "the device's own channels";
    ASIOBufferInfo infos[2] = {{ASIOTrue, 0, {}}, {ASIOFalse, 0, {}}};
    ASIOCallbacks callbacks = {CountSwitch, nullptr, AnswerMessage, nullptr};
    ASSERT_EQ(driver->createBuffers(infos, 2, 256, &callbacks), ASE_OK);
    sim::StartDeviceClock();
    Switches = 0;
    ASSERT_EQ(driver->start(), ASE_OK);
    for (int wait = 0; wait < 500 && Switches < 8; ++wait) Sleep(10);
    EXPECT_GE(Switches.load(), 8);
    EXPECT_EQ(driver->stop(), ASE_OK);
    sim::StopDeviceClock();
    driver->Release();
    EXPECT_EQ(dismisser.Count(), 0);
}

TEST_F(CrashHost, SetupSessionIsWarnedOfItsOwnCrash)
{
    BoxDismisser dismisser;
    ASSERT_EQ(driver->init(reinterpret_cast<void*>(UINT_PTR(SetupModeHandle))), ASIOTrue);
    EXPECT_EQ(dismisser.Count(), 1);
    driver->Release();
}

TEST_F(CrashHost, IgnoresAStaleMarkerWithTheGuardOff)
{
    BoxDismisser dismisser;
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    long inputs = 0;
    long outputs = 0;
    EXPECT_FALSE(AllNotConnected(&inputs, &outputs));
    driver->Release();
    Sleep(300);
    EXPECT_EQ(dismisser.Count(), 0);
}

// The parent's side: the registry before and after each host.
class CrashGuard : public InProcessDriver {
protected:
    void SetUp() override
    {
        if (IsHostRole()) GTEST_SKIP();
        InProcessDriver::SetUp();
    }
    void TearDown() override
    {
        SetEnvironmentVariableA("KASKADE_CRASH_SETUP_MODE", nullptr);
        InProcessDriver::TearDown();
    }
};

TEST_F(CrashGuard, KilledHostLeavesTheMarkerAndTheNextHostRecovers)
{
    StoreFlags(DefaultsKey(), GlobalFlagCrashGuard);
    ASSERT_EQ(RunHost("HoldsTheDriverUntilKilled", true), 0u);
    EXPECT_EQ(StoredFlags(HostLayerKey()), GlobalFlagCrashGuard | GlobalFlagCrashMarker);
    EXPECT_EQ(StoredFlags(DefaultsKey()), GlobalFlagCrashGuard) << "the marker lives in the host's layer";

    EXPECT_EQ(RunHost("RecoversAfterTheWarning", false), 0u);
    EXPECT_EQ(StoredFlags(HostLayerKey()), GlobalFlagCrashGuard | GlobalFlagBalloonsOff)
        << "disarmed; the closed control panel is remembered";
}

// A configuration session keeps the marker in its own program's layer: "Defaults" is
// what every host new to this user reads, and a marker there would warn them all.
TEST_F(CrashGuard, KilledConfigurationSessionWarnsOnlyItself)
{
    StoreFlags(DefaultsKey(), GlobalFlagCrashGuard);
    SetEnvironmentVariableA("KASKADE_CRASH_SETUP_MODE", "1");
    ASSERT_EQ(RunHost("HoldsTheDriverUntilKilled", true), 0u);
    SetEnvironmentVariableA("KASKADE_CRASH_SETUP_MODE", nullptr);
    EXPECT_EQ(StoredFlags(DefaultsKey()), GlobalFlagCrashGuard);
    EXPECT_EQ(StoredFlags(HostLayerKey()), GlobalFlagCrashGuard | GlobalFlagCrashMarker);

    // A host program new to this user streams without the warning, even where an older
    // version's killed configuration session left the marker in "Defaults".
    const std::string otherHost = OtherHostPath();
    ASSERT_TRUE(CopyFileA(OwnPath().c_str(), otherHost.c_str(), FALSE));
    EXPECT_EQ(RunHost("StreamsWithoutAWarning", false, otherHost), 0u);
    EXPECT_EQ(StoredFlags(HostLayerKey(otherHost)), GlobalFlagCrashGuard) << "armed and disarmed in its own layer";
    StoreFlags(DefaultsKey(), GlobalFlagCrashGuard | GlobalFlagCrashMarker);
    RegDeleteTreeA(HKEY_CURRENT_USER, HostLayerKey(otherHost).c_str());
    EXPECT_EQ(RunHost("StreamsWithoutAWarning", false, otherHost), 0u);
    DeleteFileA(otherHost.c_str());
    StoreFlags(DefaultsKey(), GlobalFlagCrashGuard);

    // The configuration program itself is told at its next session, which then ends cleanly.
    SetEnvironmentVariableA("KASKADE_CRASH_SETUP_MODE", "1");
    EXPECT_EQ(RunHost("SetupSessionIsWarnedOfItsOwnCrash", false), 0u);
    EXPECT_EQ(StoredFlags(HostLayerKey()), GlobalFlagCrashGuard);
    EXPECT_EQ(StoredFlags(DefaultsKey()), GlobalFlagCrashGuard);
}

TEST_F(CrashGuard, StaleMarkerIsIgnoredWithTheGuardOff)
{
    StoreFlags(DefaultsKey(), GlobalFlagCrashMarker);
    EXPECT_EQ(RunHost("IgnoresAStaleMarkerWithTheGuardOff", false), 0u);
    EXPECT_EQ(StoredFlags(DefaultsKey()), GlobalFlagCrashMarker);
    EXPECT_EQ(StoredFlags(HostLayerKey()), -1) << "neither read into a save nor cleared";
}

}  // namespace
