// The soak: the simulated QORDA-8 in loopback streams through the driver in this process
// while a schedule drawn from a seed injects every fault the simulator has, and the
// host changes rate and buffer size, finishes its outputs from another thread, and
// opens and closes sessions. After every fault the audio must come back, and no frame
// may ever be one the host did not send.
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "driver/engine/restart_causes.h"

// What happens to the stream between two stretches of plain streaming: a device fault
// or a change the host makes.
enum class SoakEvent {
    Unplug,
    ClockStall,
    RenderStall,
    CaptureStall,
    ClockDeviation,
    CompletionDelay,
    PropertyFailure,
    StateFailure,
    RequestFailure,
    CreationFailure,
    RateChange,
    BufferSizeChange,
    SessionReopen,
    Count,
};
const char* SoakEventName(SoakEvent event);

struct SoakOptions {
    double minutes = 10;
    unsigned long long seed = 0;
    // A line per event as it happens, to `progress` when not null.
    std::FILE* progress = nullptr;
};

struct EventRecord {
    unsigned count = 0;
    std::vector<double> recoveryMs;  // from the end of each event to the audio back
    unsigned notRecovered = 0;
    LONG restarts[int(RestartCause::Count)] = {};
};

struct SoakResult {
    unsigned long long seed = 0;
    double minutes = 0;
    std::string device;  // which QORDA-8 streamed
    EventRecord events[int(SoakEvent::Count)];
    unsigned sessions = 0;
    unsigned hangs = 0;           // host calls that took longer than 5 s
    unsigned notRecovered = 0;    // events after which the audio did not come back within 10 s
    ULONGLONG corruptFrames = 0;  // frames the host never sent
    ULONGLONG framesChecked = 0;
    unsigned discontinuities = 0;
    bool watchFellBehind = false;
    LONG restarts[int(RestartCause::Count)] = {};
    LONG reopens = 0;
    LONG trimmedBlocks = 0;
    ULONG starvations = 0;
    ULONG overruns = 0;
    long handleGrowth = 0;
    long long memoryGrowthKiB = 0;
    std::string longestCall;
    DWORD longestCallMs = 0;
    std::vector<std::string> problems;  // what went wrong, in order

    double WorstRecoveryMs() const;
    bool Passed() const { return problems.empty(); }
};

// Runs the soak for the options' minutes; the driver module is attached for it and
// ended afterwards.
SoakResult RunSoak(const SoakOptions& options);
void PrintSoakSummary(const SoakResult& result, std::FILE* out);
