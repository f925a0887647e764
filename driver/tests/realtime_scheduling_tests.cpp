// Real-time scheduling against fake AVRT and DWMAPI libraries that log their calls.
// Each test suite is one scenario, built as an executable of its own in a folder of its
// own beside that scenario's fakes; Wine's per-application settings give it its Windows
// version, and CTest selects the suite with GTEST_FILTER (see CMakeLists.txt).
#include <gtest/gtest.h>

#include <string>

#include "driver/engine/realtime_scheduling.h"
#include "driver/tests/fake_mmcss/call_trace.h"

namespace {

// The calls logged since the last look, which starts a new log.
std::string TakeCallTrace()
{
    char trace[4096] = "";
    DWORD length = GetEnvironmentVariableA(CallTraceVariable, trace, sizeof(trace));
    SetEnvironmentVariableA(CallTraceVariable, nullptr);
    return length < sizeof(trace) ? trace : "";
}

bool IsLoaded(const char* library)
{
    return GetModuleHandleA(library) != nullptr;
}

DWORD WINAPI ProAudioThread(void*)
{
    EnterProAudio();
    int priority = GetThreadPriority(GetCurrentThread());
    LeaveProAudio();
    return static_cast<DWORD>(priority);
}

// Enters and leaves Pro Audio on a thread of its own, as the streaming thread does,
// and returns the thread's priority in between.
int PriorityInProAudio()
{
    HANDLE thread = CreateThread(nullptr, 0, ProAudioThread, nullptr, 0, nullptr);
    if (thread == nullptr) return THREAD_PRIORITY_ERROR_RETURN;
    WaitForSingleObject(thread, INFINITE);
    DWORD priority = static_cast<DWORD>(THREAD_PRIORITY_ERROR_RETURN);
    GetExitCodeThread(thread, &priority);
    CloseHandle(thread);
    return static_cast<int>(priority);
}

DWORD MajorVersion(DWORD version)
{
    return version & 0xFF;
}

class MmcssScenario : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(IsLoaded("avrt")) << "nothing but the driver may load AVRT";
        ASSERT_FALSE(IsLoaded("dwmapi"));
        TakeCallTrace();
    }

    void TearDown() override
    {
        FreeMmcssLibraries();
        SetEnvironmentVariableA(RefuseTaskVariable, nullptr);
    }
};

// A complete AVRT and a DWMAPI with DwmEnableMMCSS, on a system that reports XP.
class FullMmcss : public MmcssScenario {};

TEST_F(FullMmcss, LoadsAvrtThenDwmapiOnceAndFreesBoth)
{
    LoadMmcssLibraries();
    LoadMmcssLibraries();
    EXPECT_EQ(TakeCallTrace(), "avrt loaded;dwmapi loaded;");

    FreeMmcssLibraries();
    EXPECT_EQ(TakeCallTrace(), "avrt freed;dwmapi freed;") << "a second load would have kept them";
    EXPECT_FALSE(IsLoaded("avrt"));
    EXPECT_FALSE(IsLoaded("dwmapi"));

    LoadMmcssLibraries();
    EXPECT_EQ(TakeCallTrace(), "avrt loaded;dwmapi loaded;") << "the next UI-thread start loads them again";
}

TEST_F(FullMmcss, StreamingThreadJoinsProAudioUntilItLeaves)
{
    LoadMmcssLibraries();
    TakeCallTrace();
    EXPECT_EQ(PriorityInProAudio(), THREAD_PRIORITY_TIME_CRITICAL);
    EXPECT_EQ(TakeCallTrace(),
              "DwmEnableMMCSS(0);"
              "AvSetMmThreadCharacteristicsA(Pro Audio,0)=5A5A;"
              "AvSetMmThreadPriority(5A5A,0);"
              "AvRevertMmThreadCharacteristics(5A5A);");
}

TEST_F(FullMmcss, RefusedTaskStillGetsTimeCriticalPriority)
{
    LoadMmcssLibraries();
    EXPECT_EQ(PriorityInProAudio(), THREAD_PRIORITY_TIME_CRITICAL);
    TakeCallTrace();

    SetEnvironmentVariableA(RefuseTaskVariable, "1");
    EXPECT_EQ(PriorityInProAudio(), THREAD_PRIORITY_TIME_CRITICAL);
    EXPECT_EQ(TakeCallTrace(),
              "DwmEnableMMCSS(0);"
              "AvSetMmThreadCharacteristicsA(Pro Audio,0)=0;"
              "AvRevertMmThreadCharacteristics(0);")
        << "no priority without a task, and the last thread's task is not reverted twice";
}

TEST_F(FullMmcss, XpReadsAsMajorVersionSixWhileAvrtIsLoaded)
{
    const DWORD plain = GetVersion();
    ASSERT_EQ(MajorVersion(plain), 5u) << "Wine must report XP to this executable";
    EXPECT_EQ(WindowsVersion(), plain);

    LoadMmcssLibraries();
    EXPECT_EQ(WindowsVersion(), (plain & ~DWORD(0xFF)) | 6) << "minor version and build unchanged";
    EXPECT_TRUE(WindowsAtLeast(6, 1)) << "XP's 5.1 reads as 6.1";
    EXPECT_FALSE(WindowsAtLeast(6, 2));
    EXPECT_FALSE(WindowsAtLeast(7, 0));

    FreeMmcssLibraries();
    EXPECT_EQ(WindowsVersion(), plain);
    EXPECT_TRUE(WindowsAtLeast(5, 1));
    EXPECT_FALSE(WindowsAtLeast(5, 2));
    EXPECT_FALSE(WindowsAtLeast(6, 0));
}

TEST_F(FullMmcss, FreedLibrariesAreNotCalled)
{
    LoadMmcssLibraries();
    FreeMmcssLibraries();
    TakeCallTrace();
    EXPECT_EQ(PriorityInProAudio(), THREAD_PRIORITY_TIME_CRITICAL);
    EXPECT_EQ(TakeCallTrace(), "");
}

// Checks of a system where AVRT counts as absent and XP is reported: no library stays
// loaded, no call reaches a fake, the version is the plain one and the thread still
// runs time-critical.
void ExpectNoMmcss()
{
    EXPECT_FALSE(IsLoaded("avrt"));
    EXPECT_FALSE(IsLoaded("dwmapi"));
    const DWORD plain = GetVersion();
    ASSERT_EQ(MajorVersion(plain), 5u) << "Wine must report XP to this executable";
    EXPECT_EQ(WindowsVersion(), plain);
    EXPECT_FALSE(WindowsAtLeast(6, 0));
    EXPECT_EQ(PriorityInProAudio(), THREAD_PRIORITY_TIME_CRITICAL);
    EXPECT_EQ(TakeCallTrace(), "");
}

// An AVRT without AvSetMmThreadPriority beside a DWMAPI.
class IncompleteAvrt : public MmcssScenario {};

TEST_F(IncompleteAvrt, IsFreedAgainAndDwmapiIsNotLoaded)
{
    LoadMmcssLibraries();
    EXPECT_EQ(TakeCallTrace(), "avrt loaded;avrt freed;");
    ExpectNoMmcss();
}

// No AVRT at all (Wine's own is switched off for this executable) beside a DWMAPI.
class NoAvrt : public MmcssScenario {};

TEST_F(NoAvrt, ThreadRunsTimeCriticalOnThePlainVersion)
{
    LoadMmcssLibraries();
    EXPECT_EQ(TakeCallTrace(), "") << "DWMAPI is not tried without AVRT";
    ExpectNoMmcss();
}

}  // namespace
