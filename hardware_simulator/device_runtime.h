// What a device does over time, beside what it is: its clock, its analogue side and
// the faults a test injected, with the glitches it counted. Kept per device instance
// id, so that editing the machine keeps it; installing a machine starts it afresh.
#pragma once

#include <windows.h>

#include <optional>
#include <vector>

#include "hardware_simulator/analogue_side.h"
#include "hardware_simulator/device_faults.h"
#include "hardware_simulator/loopback_timeline.h"
#include "kernel_streaming/kernel_streaming.h"

namespace hardware_simulator {

struct CompletionDelay {
    ULONG delayMs = 0;
    ULONG jitterMs = 0;
};

struct PropertyFailure {
    GUID set;
    ULONG id;
    DWORD error;
    int count;
    std::optional<ULONG> dataFlow;  // only on pins of this data flow
    std::optional<ULONG> setValue;  // only requests that set this value
};

struct CreationFailure {
    ULONG dataFlow;
    DWORD error;
    int count;
};

struct RequestEnding {
    ULONG dataFlow;
    ULONG_PTR status;
    ULONG bytes;
    int count;
    const OVERLAPPED* taken = nullptr;  // the request it ends next, once the device starts on it
};

struct DeviceRuntime {
    double clockMs = 0;  // milliseconds the device's clock has run, deviation included
    double deviationPpm = 0;
    bool clockStalled = false;
    bool renderStalled = false;
    bool captureStalled = false;
    CompletionDelay renderDelay;
    CompletionDelay captureDelay;
    std::vector<PropertyFailure> propertyFailures;
    std::vector<CreationFailure> creationFailures;
    std::vector<RequestEnding> requestEndings;
    GlitchCounters glitches{};

    AnalogueSide analogue;
    std::optional<LoopbackTimeline> timeline;    // while the inputs hear the outputs
    std::vector<std::vector<INT32>> recordings;  // per output channel

    bool Stalled(ULONG dataFlow) const { return dataFlow == KSPIN_DATAFLOW_IN ? renderStalled : captureStalled; }
    const CompletionDelay& Delay(ULONG dataFlow) const
    {
        return dataFlow == KSPIN_DATAFLOW_IN ? renderDelay : captureDelay;
    }
};

}  // namespace hardware_simulator
