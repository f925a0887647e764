// Streams through the simulated QORDA-8 with its outputs looped back, at 48 kHz, for
// each block size from 64 to 2048 frames, and prints per block size: restarts (and their
// causes), device glitches, render blocks trimmed, the spread of the bufferSwitch
// period, the driver's CPU time per switch and the measured round trip against the
// block time.
//   streaming_benchmark [seconds per block size, default 30]
// KASKADE_SIM_QORDA8=uac2 streams through the QORDA-8 on the USB Audio 2.0 class driver
// (looped pins) instead of the USB Audio 1.0 one (packet pins).
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "driver/core/com_objects.h"
#include "driver/core/module.h"
#include "driver/core/oem_block.h"
#include "driver/engine/pin_events.h"
#include "driver/engine/restart_causes.h"
#include "driver/loopback_host/loopback_host.h"
#include "hardware_simulator/hardware_simulator.h"

namespace sim = hardware_simulator;

namespace {

constexpr double Rate = 48000;
constexpr ULONG DeviceLoopFrames = 32;
// Wine's server writes the registry to disk 30 s after it was first changed, and every
// thread of the process waits while it does (15 to 20 ms here): enough for a glitch
// at small blocks. The machine's keys and the driver's settings are written before the
// measurements, and the save is let pass.
constexpr DWORD WineRegistrySaveMs = 31000;

struct Result {
    long bufferSize;
    LONG restarts[int(RestartCause::Count)];
    ULONG starvations;
    ULONG overruns;
    LONG trims;
    long switches;
    double medianErrorUs;
    double p99ErrorUs;
    double worstErrorUs;
    double cpuUsPerSwitch;
    long roundTripFrames;

    LONG Restarts() const
    {
        LONG total = 0;
        for (LONG count : restarts) total += count;
        return total;
    }
};

bool UnderWine()
{
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

ULONGLONG ThreadCpu100ns(HANDLE thread)
{
    FILETIME created, exited, kernel, user;
    if (!GetThreadTimes(thread, &created, &exited, &kernel, &user)) return 0;
    auto value = [](FILETIME time) { return (ULONGLONG(time.dwHighDateTime) << 32) | time.dwLowDateTime; };
    return value(kernel) + value(user);
}

bool InstallLoopedDevice(const sim::Device& qorda8)
{
    if (!sim::Install(sim::Machine{{qorda8}})) return false;
    sim::AnalogueSide side;
    side.inputs = sim::InputSource::Loopback;
    side.loopbackLatencyFrames = DeviceLoopFrames;
    sim::SetAnalogueSide(0, side);
    sim::StartDeviceClock();
    return true;
}

// One short session writes what every session writes to the registry.
void WriteSettingsOnce()
{
    LoopbackHost host;
    if (host.Open(256, Rate) && host.Driver()->start() == ASE_OK) host.WaitForSwitches(10, 2000);
    host.Close();
}

Result Measure(long bufferSize, double seconds)
{
    Result result = {};
    result.bufferSize = bufferSize;
    LoopbackHost host;
    if (!host.Open(bufferSize, Rate)) {
        std::fprintf(stderr, "block size %ld: %s\n", bufferSize, host.Failure());
        host.Close();
        return result;
    }
    LONG restartsBefore[int(RestartCause::Count)];
    for (int cause = 0; cause < int(RestartCause::Count); ++cause) restartsBefore[cause] = StreamRestarts[cause];
    LONG trimsBefore = TrimmedRenderBlocks;
    sim::GlitchCounters glitchesBefore = sim::Glitches(0);
    host.Driver()->start();
    host.WaitForSwitches(1, 5000);
    HANDLE thread = OpenThread(THREAD_QUERY_INFORMATION, FALSE, host.StreamingThreadId());
    ULONGLONG cpuBefore = thread ? ThreadCpu100ns(thread) : 0;
    long switchesBefore = host.Switches();
    long target = switchesBefore + long(seconds * Rate / bufferSize);
    while (host.Switches() < target) {
        Sleep(1000);
        std::fprintf(stderr, "\r  %ld frames: %ld of %ld switches", bufferSize, host.Switches() - switchesBefore,
                     target - switchesBefore);
    }
    std::fprintf(stderr, "\r%60s\r", "");
    ULONGLONG cpuAfter = thread ? ThreadCpu100ns(thread) : 0;
    long switches = host.Switches() - switchesBefore;
    host.Driver()->stop();
    if (thread) CloseHandle(thread);

    for (int cause = 0; cause < int(RestartCause::Count); ++cause)
        result.restarts[cause] = StreamRestarts[cause] - restartsBefore[cause];
    result.trims = TrimmedRenderBlocks - trimsBefore;
    sim::GlitchCounters glitches = sim::Glitches(0);
    result.starvations = glitches.renderStarvations - glitchesBefore.renderStarvations;
    result.overruns = glitches.captureOverruns - glitchesBefore.captureOverruns;
    result.switches = switches;
    result.cpuUsPerSwitch = switches ? double(cpuAfter - cpuBefore) / 10.0 / switches : 0;

    std::vector<SwitchTiming> timings = host.Timings();
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    double ideal = bufferSize / Rate * 1e6;
    std::vector<double> errors;
    for (std::size_t number = 2; number < timings.size(); ++number) {
        double period = double(timings[number].time - timings[number - 1].time) * 1e6 / double(frequency.QuadPart);
        errors.push_back(std::fabs(period - ideal));
    }
    std::sort(errors.begin(), errors.end());
    if (!errors.empty()) {
        result.medianErrorUs = errors[errors.size() / 2];
        result.p99ErrorUs = errors[errors.size() * 99 / 100];
        result.worstErrorUs = errors.back();
    }
    result.roundTripFrames = FindRoundTrip(host.RecordedInput(0), 0, 0, 8 * bufferSize + 4096);
    host.Close();
    return result;
}

std::string CausesOf(const Result& result)
{
    std::string causes;
    for (int cause = 1; cause < int(RestartCause::Count); ++cause) {
        if (result.restarts[cause] == 0) continue;
        causes += (causes.empty() ? "" : ", ") + std::string(RestartCauseName(RestartCause(cause))) + " " +
                  std::to_string(result.restarts[cause]);
    }
    return causes;
}

}  // namespace

int main(int argc, char** argv)
{
    double seconds = argc > 1 ? std::atof(argv[1]) : 30;
    if (seconds <= 0) {
        std::fprintf(stderr, "usage: streaming_benchmark [seconds per block size]\n");
        return 2;
    }
    sim::Device qorda8;
    if (!sim::ChosenQorda8(&qorda8)) {
        std::fprintf(stderr, "streaming_benchmark: KASKADE_SIM_QORDA8 is uac1 or uac2\n");
        return 2;
    }
    const char* variant = qorda8.service == "usbaudio2" ? "USB Audio 2.0, looped pins" : "USB Audio 1.0, packet pins";
    AttachModule(GetModuleHandleA(nullptr));
    OemConfig.hardwareId.text[0] = '\0';
    if (!InstallLoopedDevice(qorda8)) {
        std::fprintf(stderr, "the simulated QORDA-8 could not be installed\n");
        return 1;
    }
    WriteSettingsOnce();
    if (UnderWine()) {
        std::fprintf(stderr, "waiting %lu s for Wine's server to save the registry outside the measurements\n",
                     WineRegistrySaveMs / 1000);
        Sleep(WineRegistrySaveMs);
    }

    std::printf("Streaming through the simulated QORDA-8 (%s) at 48000 Hz, loopback, %.0f s per block size\n", variant,
                seconds);
    std::printf("%6s %8s %8s %8s %8s %6s %10s %10s %10s %10s %12s %10s\n", "block", "switches", "restarts", "starved",
                "overrun", "trims", "median us", "p99 us", "worst us", "cpu us/sw", "round trip", "block ms");
    std::vector<Result> results;
    long smallestClean = 0;
    for (long bufferSize = 64; bufferSize <= 2048; bufferSize *= 2) {
        Result r = Measure(bufferSize, seconds);
        results.push_back(r);
        bool clean = r.switches > 0 && r.Restarts() == 0 && r.starvations + r.overruns == 0 && r.trims == 0 &&
                     r.roundTripFrames >= 0;
        if (clean && smallestClean == 0) smallestClean = bufferSize;
        std::printf("%6ld %8ld %8ld %8lu %8lu %6ld %10.0f %10.0f %10.0f %10.1f %9.2f ms %10.2f\n", r.bufferSize,
                    r.switches, r.Restarts(), r.starvations, r.overruns, r.trims, r.medianErrorUs, r.p99ErrorUs,
                    r.worstErrorUs, r.cpuUsPerSwitch, r.roundTripFrames * 1000.0 / Rate, bufferSize * 1000.0 / Rate);
        std::fflush(stdout);
    }
    std::printf(
        "starved and overrun: render starvations and capture overruns the device counted; trims: render\n"
        "blocks left out to bring a queue that grew back to its depth; period errors are deviations from\n"
        "the ideal block period; round trip includes the simulated device's %lu-frame analogue loop\n",
        DeviceLoopFrames);
    for (const Result& r : results)
        if (r.Restarts() != 0) std::printf("restarts at %ld frames: %s\n", r.bufferSize, CausesOf(r).c_str());
    if (smallestClean)
        std::printf("smallest block streaming %.0f s with no restart, glitch or trim: %ld frames\n", seconds,
                    smallestClean);
    else
        std::printf("no block size streamed %.0f s without a restart, a glitch or a trim\n", seconds);
    sim::StopDeviceClock();
    sim::Clear();
    EndModule();
    return 0;
}
