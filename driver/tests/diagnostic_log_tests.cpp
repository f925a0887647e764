// The diagnostic log in-process: its line formatting, the switch by file, the queue
// under load from several threads, and what a driver session on the default simulated
// machine writes into it (the scan's decisions, the streams it opens, host errors).
#include <gtest/gtest.h>

#include <cstdarg>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "asio_host/asio_driver.h"
#include "driver/core/com_objects.h"
#include "driver/core/diagnostic_log.h"
#include "driver/core/log_format.h"
#include "driver/core/oem_block.h"
#include "driver/engine/restart_causes.h"
#include "driver/tests/driver_fixture.h"
#include "hardware_simulator/hardware_simulator.h"
#include "test_support/windows_test_support.h"

namespace sim = hardware_simulator;

namespace {

std::string Format(const char* format, ...)
{
    char out[64];
    std::va_list args;
    va_start(args, format);
    std::size_t length = FormatLine(out, sizeof(out), format, args);
    va_end(args);
    EXPECT_EQ(length, std::strlen(out));
    return out;
}

TEST(LineFormat, WritesTheConversionsTheDriverUses)
{
    EXPECT_EQ(Format("%d %i %u", -42, 7, 4000000000u), "-42 7 4000000000");
    EXPECT_EQ(Format("%ld %lu %lld %zu", -5L, 6UL, -1234567890123LL, std::size_t(9)), "-5 6 -1234567890123 9");
    EXPECT_EQ(Format("%x %X %08lX", 255u, 255u, 0x1F2EUL), "ff FF 00001F2E");
    EXPECT_EQ(Format("[%5d|%-5d|%05d]", 42, 42, -42), "[   42|42   |-0042]");
    EXPECT_EQ(Format("%s|%.3s|%-6s|%6s", "text", "abcdef", "ab", "ab"), "text|abc|ab    |    ab");
    EXPECT_EQ(Format("%c%c %%", 'o', 'k'), "ok %");
    EXPECT_EQ(Format("%s", static_cast<const char*>(nullptr)), "(null)");
    EXPECT_EQ(Format("%.1f %.3f %f %.0f", 44100.0, -0.0625, 1.5, 2.5), "44100.0 -0.063 1.500000 3");
    EXPECT_EQ(Format("%.2f", 0.999), "1.00");
}

TEST(LineFormat, KeepsUnknownConversionsAndCutsLongLines)
{
    EXPECT_EQ(Format("%q %d %", 3), "%q 3 %");
    std::string pointer = Format("%p", reinterpret_cast<void*>(0x1234));
    EXPECT_EQ(pointer, sizeof(void*) == 8 ? "0x0000000000001234" : "0x00001234");
    std::string cut = Format("%s and more", std::string(100, 'y').c_str());
    EXPECT_EQ(cut, std::string(63, 'y'));
}

// A profile folder of the test's own, the log's switch file in it when `on`.
class LogFolder {
public:
    explicit LogFolder(bool on)
    {
        char temp[MAX_PATH];
        GetTempPathA(sizeof(temp), temp);
        folder_ = std::string(temp) + "kaskade-log-test-" + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(folder_.c_str(), nullptr);
        DeleteFileA(Path().c_str());
        if (on) CloseHandle(CreateFileA(Path().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        GetEnvironmentVariableA("USERPROFILE", saved_, sizeof(saved_));
        SetEnvironmentVariableA("USERPROFILE", folder_.c_str());
    }
    ~LogFolder()
    {
        SetEnvironmentVariableA("USERPROFILE", saved_);
        DeleteFileA(Path().c_str());
        RemoveDirectoryA(folder_.c_str());
    }
    std::string Path() const { return folder_ + "\\" + DiagnosticLogFileName; }
    bool Exists() const { return GetFileAttributesA(Path().c_str()) != INVALID_FILE_ATTRIBUTES; }
    std::string Text() const
    {
        std::vector<std::uint8_t> bytes = ReadFileBytes(Path());
        return std::string(bytes.begin(), bytes.end());
    }
    std::vector<std::string> Lines() const
    {
        std::vector<std::string> lines;
        std::string text = Text();
        for (std::size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
            lines.push_back(text.substr(start, end - start));
        return lines;
    }

private:
    std::string folder_;
    char saved_[MAX_PATH] = {};
};

int CountContaining(const std::vector<std::string>& lines, const std::string& part)
{
    int count = 0;
    for (const std::string& line : lines) count += line.find(part) != std::string::npos;
    return count;
}

TEST(DiagnosticLog, WithoutItsFileStaysOffAndWritesNothing)
{
    LogFolder folder(false);
    StartDiagnosticLog();
    EXPECT_FALSE(DiagnosticLogOn());
    DiagnosticLine("nobody reads %s", "this");
    StopDiagnosticLog();
    EXPECT_FALSE(folder.Exists());
}

TEST(DiagnosticLog, AppendsStampedLinesAfterWhatTheFileHeld)
{
    LogFolder folder(true);
    HANDLE file = CreateFileA(folder.Path().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written;
    WriteFile(file, "earlier session\r\n", 17, &written, nullptr);
    CloseHandle(file);

    StartDiagnosticLog();
    ASSERT_TRUE(DiagnosticLogOn());
    DiagnosticLine("rate %lu Hz, %d channels", 48000UL, 8);
    StopDiagnosticLog();
    EXPECT_FALSE(DiagnosticLogOn());
    DiagnosticLine("after the stop");

    std::vector<std::string> lines = folder.Lines();
    ASSERT_EQ(lines.size(), 3u) << folder.Text();
    EXPECT_EQ(lines[0], "earlier session");
    EXPECT_NE(lines[1].find(std::string("=== ") + OemConfig.driverName.text), std::string::npos) << lines[1];
    // "hh:mm:ss.mmm [thread] text"
    EXPECT_TRUE(lines[2].size() > 12 && lines[2][2] == ':' && lines[2][5] == ':' && lines[2][8] == '.') << lines[2];
    char expected[64];
    std::snprintf(expected, sizeof(expected), "[%lu] rate 48000 Hz, 8 channels", GetCurrentThreadId());
    EXPECT_NE(lines[2].find(expected), std::string::npos) << lines[2];
}

TEST(DiagnosticLog, ABurstFromSeveralThreadsKeepsWholeLinesAndCountsWhatItDropped)
{
    LogFolder folder(true);
    StartDiagnosticLog();
    constexpr int Threads = 4, LinesEach = 1500;
    std::vector<std::thread> writers;
    for (int t = 0; t < Threads; ++t)
        writers.emplace_back([t] {
            for (int i = 0; i < LinesEach; ++i) DiagnosticLine("writer %d line %d end", t, i);
        });
    for (auto& writer : writers) writer.join();
    StopDiagnosticLog();

    int kept = 0, dropped = 0;
    std::vector<int> lastOfWriter(Threads, -1);
    for (const std::string& line : folder.Lines()) {
        int writer, number, count;
        if (std::sscanf(line.c_str(), "(%d lines dropped", &count) == 1) {
            dropped += count;
            continue;
        }
        std::size_t text = line.find("] ");
        ASSERT_NE(text, std::string::npos) << line;
        if (std::sscanf(line.c_str() + text + 2, "writer %d line %d end", &writer, &number) == 2) {
            ASSERT_TRUE(writer >= 0 && writer < Threads) << line;
            EXPECT_GT(number, lastOfWriter[writer]) << "each writer's lines in order";
            lastOfWriter[writer] = number;
            ++kept;
        }
    }
    EXPECT_EQ(kept + dropped, Threads * LinesEach);
    EXPECT_GT(kept, 0);
}

// A driver session as a host holds it, on the default simulated machine.
class LoggedSession : public InProcessDriver {
protected:
    void SetUp() override
    {
        InProcessDriver::SetUp();
        ASSERT_TRUE(sim::InstallDefaultMachine());
    }

    IAsioDriver* const driver = reinterpret_cast<IAsioDriver*>(&DriverObject);
};

#if defined(KASKADE_PRODUCT_QORDA_8)
const char* const OurDevice = "Velmora QORDA-8";
const char* const OurFilter = "QORDA-8";
#else
const char* const OurDevice = "USB Audio Device";  // its description: it has no friendly name
const char* const OurFilter = "QORDA DESK PRO";
#endif

TEST_F(LoggedSession, TheScanWritesEachDecisionAndTheSelection)
{
    LogFolder folder(true);
    driver->AddRef();  // the module starts: the log, then the first scan
    driver->Release();
    std::vector<std::string> lines = folder.Lines();
    std::string text = folder.Text();

    EXPECT_EQ(CountContaining(lines, "scan: audio devices with hardware id "), 1) << text;
    EXPECT_EQ(CountContaining(lines, "\": passed over, hardware id "), 1) << "the other product";
    EXPECT_EQ(CountContaining(lines, "\": taken"), 1) << text;
    EXPECT_EQ(CountContaining(lines, std::string(OurDevice) + "\": taken"), 1) << text;
    EXPECT_EQ(CountContaining(lines, std::string("]  filter \"") + OurFilter + "\" ("), 1) << text;
    EXPECT_GE(CountContaining(lines, "\": dropped, "), 1) << "the filter's bridge pins";
    EXPECT_EQ(CountContaining(lines, "\": its best pins, chosen automatically"), 1) << text;
    EXPECT_EQ(CountContaining(lines, "selected: \""), 2) << text;
    EXPECT_EQ(CountContaining(lines, "\", render pin "), 1) << text;
    EXPECT_EQ(CountContaining(lines, "\", capture pin "), 1) << text;
}

TEST_F(LoggedSession, InitWritesEachStreamOpenAndErrorsAnsweredToTheHost)
{
    LogFolder folder(true);
    driver->AddRef();
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    long channels = 0;
    EXPECT_EQ(driver->getChannels(&channels, nullptr), ASE_InvalidParameter);
    EXPECT_EQ(driver->canSampleRate(12345.0), ASE_NoClock);
    EXPECT_EQ(driver->setClockSource(3), ASE_NoClock);
    EXPECT_EQ(driver->start(), ASE_NotPresent);
    driver->Release();
    std::vector<std::string> lines = folder.Lines();
    std::string text = folder.Text();

    EXPECT_EQ(CountContaining(lines, "stream open: render pin "), 1) << text;
    EXPECT_EQ(CountContaining(lines, "stream open: capture pin "), 1) << text;
    EXPECT_EQ(CountContaining(lines, " Hz (host 44100 Hz)"), 2) << text;
    EXPECT_EQ(CountContaining(lines, "init: host rate 44100 Hz"), 1) << text;
    EXPECT_EQ(CountContaining(lines, "host call getChannels returned -998"), 1) << text;
    EXPECT_EQ(CountContaining(lines, "host call canSampleRate(12345.0) returned -995: not offered"), 1) << text;
    EXPECT_EQ(CountContaining(lines, "host call setClockSource returned -995"), 1) << text;
    EXPECT_EQ(CountContaining(lines, "host call start before createBuffers returned -1000"), 1) << text;
}

// A device passed over names itself, its hardware id and the pattern it missed: each
// as long as the device or the OEM block may make it, and each whole in the file.
TEST_F(LoggedSession, EveryTextOfALineIsWrittenWhole)
{
    LogFolder folder(true);
    const OemTextField savedHardwareId = OemConfig.hardwareId;
    const std::string pattern = "USB\\VID_1234&PID_9999&" + std::string(OemTextSize - 23, 'P');
    std::memcpy(OemConfig.hardwareId.text, pattern.c_str(), pattern.size() + 1);
    sim::Device other = sim::QordaDeskPro();
    other.friendlyName = "Stage " + std::string(200, 'N');
    other.hardwareIds[0] = "USB\\VID_4446&PID_0001&REV_0100&" + std::string(180, 'R') + "&MI_00";
    ASSERT_TRUE(sim::Install(sim::Machine{{other}}));
    driver->AddRef();
    driver->Release();
    OemConfig.hardwareId = savedHardwareId;

    const std::string expected = "device \"" + other.friendlyName + "\": passed over, hardware id " +
                                 other.hardwareIds[0] + " is not " + pattern;
    EXPECT_EQ(CountContaining(folder.Lines(), expected), 1) << folder.Text();
}

// The device whose every pin the Windows audio engine holds: the host gets "Not
// Connected" channels, and the log and getErrorMessage say why.
TEST_F(LoggedSession, ADeviceHeldByTheAudioEngineIsExplained)
{
#if defined(KASKADE_PRODUCT_QORDA_8)
    const std::size_t ourDevice = 0;
#else
    const std::size_t ourDevice = 1;
#endif
    for (ULONG pin : {sim::UsbRenderPin, sim::UsbCapturePin})
        ASSERT_TRUE(sim::HoldInAudioEngine(ourDevice, 0, pin, true));
    LogFolder folder(true);
    driver->AddRef();
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    ASIOChannelInfo channel = {};
    channel.isInput = ASIOTrue;
    ASSERT_EQ(driver->getChannelInfo(&channel), ASE_OK);
    EXPECT_STREQ(channel.name, "Not Connected 1");
    char message[AsioErrorMessageSize] = {};
    driver->getErrorMessage(message);
    EXPECT_STREQ(message, "The device is in use by another program or by Windows audio");
    driver->Release();
    std::vector<std::string> lines = folder.Lines();
    EXPECT_EQ(CountContaining(lines,
                              "has no free instance (1 of 1 in use): the device is held by another program or "
                              "by the Windows audio engine"),
              2)
        << folder.Text();
}

void IgnoreSwitch(long, ASIOBool) {}

TEST_F(LoggedSession, ARestartIsLoggedWithItsCause)
{
    LogFolder folder(true);
    sim::StartDeviceClock();
    driver->AddRef();
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    ASIOBufferInfo output = {ASIOFalse, 0, {}};
    ASIOCallbacks callbacks = {IgnoreSwitch, nullptr, nullptr, nullptr};
    ASSERT_EQ(driver->createBuffers(&output, 1, 256, &callbacks), ASE_OK);
    ASSERT_EQ(driver->start(), ASE_OK);
    Sleep(300);
    LONG stalls = StreamRestarts[int(RestartCause::Stall)];
    for (std::size_t device = 0; device < 2; ++device) sim::SetClockStalled(device, true);
    DWORD start = GetTickCount();
    while (StreamRestarts[int(RestartCause::Stall)] == stalls && GetTickCount() - start < 5000) Sleep(10);
    for (std::size_t device = 0; device < 2; ++device) sim::SetClockStalled(device, false);
    driver->stop();
    driver->Release();
    std::vector<std::string> lines = folder.Lines();
    EXPECT_GE(CountContaining(lines, "stream restart: stall after "), 1) << folder.Text();
}

}  // namespace
