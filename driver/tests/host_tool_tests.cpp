// The kaskade-host tool as a user runs it, against the registered simulated build of
// this bitness: its list, info, stream and panel commands, the report, WAV and SVG of a
// run, and a clear message with a non-zero exit on every failure.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "driver/tests/simulated_host.h"
#include "test_support/windows_test_support.h"

namespace {

const auto* const registration = testing::AddGlobalTestEnvironment(new BuildRegistration(SimulatedBuild));

// A name registered for hosts whose class no one serves: creating it fails.
const InstalledDriver BrokenRegistration = {"Kaskade Broken Test", "{0B5E7C10-2D3A-4E4F-9A8B-7C6D5E4F3A2B}", ""};

struct ToolRun {
    int exitCode;
    std::string out, err;
    std::string ending;  // how the run ended, for failure messages
};

std::string TempPath(const std::string& name)
{
    char folder[MAX_PATH];
    GetTempPathA(sizeof(folder), folder);
    return std::string(folder) + "host-tool-test-" + std::to_string(GetCurrentProcessId()) + "-" + name;
}

std::string Quoted(const std::string& text)
{
    return "\"" + text + "\"";
}

HANDLE InheritableFile(const std::string& path)
{
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    return CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
}

std::string TakeText(const std::string& path)
{
    std::vector<std::uint8_t> bytes = ReadFileBytes(path);
    DeleteFileA(path.c_str());
    std::string text;
    for (std::uint8_t byte : bytes)
        if (byte != '\r') text += char(byte);
    return text;
}

BOOL CALLBACK CloseWindowOf(HWND window, LPARAM process)
{
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == DWORD(process)) PostMessageA(window, WM_CLOSE, 0, 0);
    return TRUE;
}

// "exit code 0 (0x00000000)"; an exception status reads as a crash.
std::string DescribeExit(DWORD exitCode)
{
    char text[64];
    std::snprintf(text, sizeof(text), "exit code %ld (0x%08lX)%s", long(exitCode), static_cast<unsigned long>(exitCode),
                  exitCode >= 0xC0000000u && exitCode != 0xFFFFFFFFu ? ", an exception ended it" : "");
    return text;
}

// Runs kaskade-host with `arguments`; a window it still shows after 20 s is closed. The
// run's `ending` says how it ended, or why the test gave up on it.
ToolRun RunTool(const std::string& arguments)
{
    const std::string outPath = TempPath("stdout.txt"), errPath = TempPath("stderr.txt");
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = InheritableFile(outPath);
    startup.hStdError = InheritableFile(errPath);
    PROCESS_INFORMATION process = {};
    std::string line = Quoted(ExecutableDirectory() + "kaskade-host.exe");
    line += ' ';
    line += arguments;
    ToolRun run = {-1, "", "", ""};
    if (startup.hStdOutput == INVALID_HANDLE_VALUE || startup.hStdError == INVALID_HANDLE_VALUE) {
        run.ending = "its output files could not be made (error " + std::to_string(GetLastError()) + ")";
    } else if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        run.ending = "it could not be started (CreateProcess error " + std::to_string(GetLastError()) + ")";
    } else {
        if (WaitForSingleObject(process.hProcess, 20000) == WAIT_TIMEOUT) {
            EnumWindows(CloseWindowOf, LPARAM(process.dwProcessId));
            ADD_FAILURE() << "kaskade-host " << arguments << " still ran after 20 s";
            run.ending = "still running after 20 s, its windows closed; ";
            if (WaitForSingleObject(process.hProcess, 10000) == WAIT_TIMEOUT) {
                TerminateProcess(process.hProcess, 99);
                WaitForSingleObject(process.hProcess, 5000);
                run.ending += "terminated 10 s later; ";
            }
        }
        DWORD exitCode = DWORD(-1);
        if (GetExitCodeProcess(process.hProcess, &exitCode)) {
            run.exitCode = int(exitCode);
            run.ending += DescribeExit(exitCode);
        } else {
            run.ending += "no exit code (error " + std::to_string(GetLastError()) + ")";
        }
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CloseHandle(startup.hStdOutput);
    CloseHandle(startup.hStdError);
    run.out = TakeText(outPath);
    run.err = TakeText(errPath);
    return run;
}

std::string DriverName()
{
    return Quoted(SimulatedBuild().registration.name);
}

// The report line that starts with `label`, without it; empty when absent.
std::string ReportLine(const std::string& report, const std::string& label)
{
    std::size_t at = report.find("\n" + label);
    if (at == std::string::npos) return "";
    at += 1 + label.size();
    return report.substr(at, report.find('\n', at) - at);
}

std::uint32_t LittleEndian(const std::vector<std::uint8_t>& bytes, std::size_t at, int size)
{
    std::uint32_t value = 0;
    for (int i = 0; i < size; ++i) value |= std::uint32_t(bytes[at + i]) << (8 * i);
    return value;
}

TEST(HostTool, ListsAndShowsTheSimulatedBuild)
{
    ToolRun list = RunTool("list");
    EXPECT_EQ(list.exitCode, 0) << "kaskade-host list: " << list.ending << "\n" << list.err;
    EXPECT_NE(list.out.find(SimulatedBuild().registration.name), std::string::npos) << list.out;
    EXPECT_NE(list.out.find(SimulatedBuild().registration.classId), std::string::npos) << list.out;

    ToolRun info = RunTool("info " + DriverName());
    EXPECT_EQ(info.exitCode, 0) << "kaskade-host info: " << info.ending << "\n" << info.err;
    for (const char* label : {"Driver:   ", "Version:  2",
                              "Inputs:", "Outputs:", "Buffer:   ", "Rate:     ", "Clock:    Default (current)"})
        EXPECT_NE(info.out.find(label), std::string::npos) << label << "\n" << info.out;
}

// A device that the Windows audio engine holds leaves the driver "Not Connected"; info
// says why. (The simulated build holds its devices when the host's environment asks.)
TEST(HostTool, InfoGivesTheReasonForChannelsNotConnected)
{
    ASSERT_TRUE(SetEnvironmentVariableA("KASKADE_SIM_HELD", "1"));
    ToolRun info = RunTool("info " + DriverName());
    SetEnvironmentVariableA("KASKADE_SIM_HELD", nullptr);
    EXPECT_EQ(info.exitCode, 0) << info.err;
    EXPECT_NE(info.out.find("Not Connected"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("Reason:   The device is in use by another program or by Windows audio\n"),
              std::string::npos)
        << info.out;

    ToolRun connected = RunTool("info " + DriverName());
    EXPECT_EQ(connected.out.find("Reason:"), std::string::npos) << "no reason while the device streams\n"
                                                                << connected.out;
}

TEST(HostTool, StreamsForTheGivenTimeAndReportsTheRunWithItsFiles)
{
    const std::string wav = TempPath("run.wav"), svg = TempPath("run.svg");
    ToolRun run = RunTool("stream " + DriverName() + " --seconds 1.5 --buffer 256 --signal sweep --outputs 0,1 " +
                          "--inputs 0,1 --wav " + Quoted(wav) + " --svg " + Quoted(svg));
    ASSERT_EQ(run.exitCode, 0) << run.ending << "\n" << run.out << run.err;
    const std::string& report = "\n" + run.out;
    EXPECT_NE(run.err.find("streaming: done"), std::string::npos) << "the progress line\n" << run.err;

    double rate = 0;
    ASSERT_EQ(std::sscanf(ReportLine(report, "Stream:").c_str(), "%lf Hz, 256 samples per buffer", &rate), 1) << report;
    EXPECT_NE(ReportLine(report, "Stream:").find("sweep on outputs 0,1, inputs 0,1 recorded"), std::string::npos);
    int switches = 0;
    ASSERT_EQ(std::sscanf(ReportLine(report, "Switches:").c_str(), "%d", &switches), 1) << report;
    const int expected = int((1.5 * rate + 255) / 256);
    EXPECT_EQ(switches, expected);
    double median = 0, p99 = 0, worst = 0, period = 0;
    ASSERT_EQ(std::sscanf(ReportLine(report, "Periods:").c_str(),
                          " median %lf ms, p99 %lf ms, worst %lf ms (expected %lf ms)", &median, &p99, &worst, &period),
              4)
        << report;
    EXPECT_NEAR(period, 256000.0 / rate, 0.01);
    EXPECT_TRUE(median > period / 2 && median < period * 2) << report;
    EXPECT_TRUE(median <= p99 && p99 <= worst) << report;
    EXPECT_EQ(ReportLine(report, "Positions:"), " 0 missed, 0 doubled, 0 irregular switches") << report;
    EXPECT_EQ(ReportLine(report, "Messages:"),
              "  0 reset requests, 0 resync requests, 0 latency changes, 0 buffer size changes, 0 rate changes");
    EXPECT_NE(ReportLine(report, "Latency:").find("reported input "), std::string::npos) << report;
    EXPECT_NE(ReportLine(report, "Loopback:"), "") << report;

    std::vector<std::uint8_t> bytes = ReadFileBytes(wav);
    ASSERT_GE(bytes.size(), 44u) << "no WAV at " << wav;
    EXPECT_EQ(LittleEndian(bytes, 22, 2), 2u) << "channels";
    EXPECT_EQ(LittleEndian(bytes, 24, 4), std::uint32_t(rate));
    EXPECT_EQ(LittleEndian(bytes, 34, 2), 24u);
    EXPECT_EQ(LittleEndian(bytes, 40, 4), std::uint32_t(switches) * 256 * 2 * 3) << "every switch's frames";
    EXPECT_EQ(bytes.size(), 44 + std::size_t(switches) * 256 * 2 * 3);
    std::vector<std::uint8_t> picture = ReadFileBytes(svg);
    std::string plot(picture.begin(), picture.end());
    EXPECT_NE(plot.find("<polyline class=\"periods\""), std::string::npos);
    EXPECT_NE(plot.find("<polyline class=\"sent\""), std::string::npos);
    EXPECT_NE(report.find("WAV:       " + wav), std::string::npos) << report;
    EXPECT_NE(report.find("SVG:       " + svg), std::string::npos) << report;
    DeleteFileA(wav.c_str());
    DeleteFileA(svg.c_str());
}

// With output 0 looped back to input 0 (the simulated device's loopback), the measured
// round trip is at least a buffer and at most a buffer beyond the latencies the driver
// reports (which carry the service's safety margins the simulated device lacks).
TEST(HostTool, MeasuresTheRoundTripOfTheSimulatedLoopback)
{
    const std::string wav = TempPath("loop.wav"), svg = TempPath("loop.svg");
    ToolRun run = RunTool("stream " + DriverName() + " --seconds 2 --buffer 256 --signal noise --quiet --wav " +
                          Quoted(wav) + " --svg " + Quoted(svg));
    DeleteFileA(wav.c_str());
    ASSERT_EQ(run.exitCode, 0) << run.ending << "\n" << run.out << run.err;
    const std::string report = "\n" + run.out;
    std::string loopback = ReportLine(report, "Loopback:");
    long input = 0, output = 0, reported = 0, measured = 0;
    ASSERT_EQ(std::sscanf(ReportLine(report, "Latency:").c_str(), " reported input %ld + output %ld = %ld", &input,
                          &output, &reported),
              3)
        << report;
    ASSERT_EQ(std::sscanf(loopback.c_str(), " measured round trip %ld frames", &measured), 1) << report;
    EXPECT_GE(measured, 256) << report;
    EXPECT_LE(measured, reported + 256) << report;
    std::vector<std::uint8_t> picture = ReadFileBytes(svg);
    DeleteFileA(svg.c_str());
    EXPECT_NE(std::string(picture.begin(), picture.end()).find("<polyline class=\"looped\""), std::string::npos);
}

TEST(HostTool, OpensTheControlPanel)
{
    ToolRun run = RunTool("panel " + DriverName() + " 3");
    EXPECT_EQ(run.exitCode, 0) << run.ending << "\n" << run.err;
    EXPECT_NE(run.out.find("controlPanel: opened"), std::string::npos) << run.out;
}

// Every failure ends with exit code 1 and says why; a wrong command line with 2.
TEST(HostTool, ExitsWithAClearMessageOnEveryFailure)
{
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, ("SOFTWARE\\ASIO\\" + BrokenRegistration.name).c_str(), 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key, "CLSID", 0, REG_SZ, reinterpret_cast<const BYTE*>(BrokenRegistration.classId.c_str()),
                   DWORD(BrokenRegistration.classId.size() + 1));
    RegCloseKey(key);

    const std::string name = DriverName(), broken = Quoted(BrokenRegistration.name);
    const std::string missingFolder = Quoted(TempPath("no-such-folder\\run.wav"));
    struct Case {
        std::string arguments;
        int exitCode;
        std::string message;
    };
    const Case cases[] = {
        {"stream \"No Such Driver\"", 1, "no ASIO driver named \"No Such Driver\" is registered for"},
        {"info \"No Such Driver\"", 1, "no ASIO driver named \"No Such Driver\""},
        {"panel \"No Such Driver\"", 1, "no ASIO driver named \"No Such Driver\""},
        {"stream " + broken, 1, "creating \"Kaskade Broken Test\" failed (0x"},
        {"info " + broken, 1, "creating \"Kaskade Broken Test\" failed (0x"},
        {"panel " + broken, 1, "creating \"Kaskade Broken Test\" failed (0x"},
        {"stream " + name + " --outputs 99 --quiet", 1, "output 99 does not exist"},
        {"stream " + name + " --inputs 0,77 --quiet", 1, "input 77 does not exist"},
        {"stream " + name + " --buffer 3 --quiet", 1, "buffer size 3 is not offered"},
        {"stream " + name + " --rate 12345 --quiet", 1, "cannot run at 12345 Hz"},
        {"stream " + name + " --seconds 0.2 --quiet --wav " + missingFolder, 1, "cannot create"},
        {"stream " + name + " --signal square", 2, "--signal takes tone, sweep or noise"},
        {"stream " + name + " --outputs none --inputs none", 2, "no channel chosen"},
        {"stream " + name + " --seconds", 2, "--seconds needs a value"},
        {"stream", 2, "the driver's name is missing"},
        {"frobnicate", 2, "usage: kaskade-host list"},
    };
    for (const Case& test : cases) {
        ToolRun run = RunTool(test.arguments);
        EXPECT_EQ(run.exitCode, test.exitCode) << test.arguments << ": " << run.ending << "\n" << run.out << run.err;
        EXPECT_NE(run.err.find(test.message), std::string::npos) << test.arguments << "\n" << run.err;
    }
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, ("SOFTWARE\\ASIO\\" + BrokenRegistration.name).c_str());
}

}  // namespace
