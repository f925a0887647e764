// The driver on Windows XP: run only in the Wine prefix of tools/with-windows-xp, which
// reports XP (5.1) to the 32-bit build and XP x64 (5.2) to the 64-bit one and lacks the
// libraries XP lacks. Every check of the Windows version takes its path for systems
// before Vista. The streaming tests' loopback runs in the same prefix.
#include <gtest/gtest.h>

#include <string>

#include "driver/core/device_tree.h"
#include "driver/core/module.h"
#include "driver/engine/realtime_scheduling.h"
#include "driver/engine/service_quirks.h"
#include "driver/tests/driver_fixture.h"
#include "hardware_simulator/hardware_simulator.h"

namespace sim = hardware_simulator;

namespace {

DWORD WINAPI StreamingThreadPriority(void*)
{
    EnterProAudio();
    int priority = GetThreadPriority(GetCurrentThread());
    LeaveProAudio();
    return static_cast<DWORD>(priority);
}

TEST(OnWindowsXp, WindowsReportsXp)
{
    const DWORD version = GetVersion();
    EXPECT_EQ(version & 0xFF, 5u);
#ifdef _WIN64
    EXPECT_EQ((version >> 8) & 0xFF, 2u) << "XP x64";
#else
    EXPECT_EQ((version >> 8) & 0xFF, 1u);
#endif
}

// Without AVRT the version stays the plain one and the streaming thread joins no MMCSS
// task, yet runs time-critical.
TEST(OnWindowsXp, TheStreamingThreadRunsTimeCriticalWithoutMmcss)
{
    LoadMmcssLibraries();
    EXPECT_EQ(GetModuleHandleA("avrt"), nullptr);
    EXPECT_EQ(GetModuleHandleA("dwmapi"), nullptr);
    EXPECT_EQ(WindowsVersion(), GetVersion());

    HANDLE thread = CreateThread(nullptr, 0, StreamingThreadPriority, nullptr, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    WaitForSingleObject(thread, INFINITE);
    DWORD priority = 0;
    GetExitCodeThread(thread, &priority);
    CloseHandle(thread);
    EXPECT_EQ(static_cast<int>(priority), THREAD_PRIORITY_TIME_CRITICAL);
    FreeMmcssLibraries();
}

// The quirk table is searched from its first row: the USB audio class driver gets the
// margins of Windows 5.x, and rows that later systems skip still apply.
TEST(OnWindowsXp, ServicesGetTheQuirkRowsOfWindows5)
{
    DeviceRecord device = {};
    char usbaudio[] = "usbaudio";
    device.serviceName = usbaudio;
    ServiceQuirk quirk = LookUpServiceQuirk(&device);
    EXPECT_EQ(quirk.inputMargin, 5u);
    EXPECT_EQ(quirk.outputMargin, 5u);

    char cmpci[] = "cmpci";
    device.serviceName = cmpci;
    quirk = LookUpServiceQuirk(&device);
    EXPECT_EQ(quirk.inputMargin, 10u);
    EXPECT_EQ(quirk.latencyMode, 2u);
}

class OnWindowsXpScan : public InProcessDriver {
protected:
    void SetUp() override
    {
        InProcessDriver::SetUp();
        AcceptEveryDevice();
    }
};

// Real-time (WaveRT) interfaces exist from Vista on: before, a filter's real-time alias
// is not taken, so its looped-only pins are dropped and a device with nothing else is
// left out, while a standard device beside it stays.
TEST_F(OnWindowsXpScan, RealTimeInterfacesAreNotTakenBeforeVista)
{
    ASSERT_TRUE(sim::Install(sim::Machine{{sim::HdAudioCodec(), sim::Qorda8()}}));
    RescanDevices();
    ASSERT_NE(FirstDevice, nullptr);
    EXPECT_STREQ(FirstDevice->serviceName, "usbaudio");
    EXPECT_FALSE(FirstDevice->flags & RecordRealTime);
    EXPECT_EQ(NextDevice(FirstDevice), nullptr) << "the codec offers looped pins only";
}

}  // namespace
