#include "hardware_simulator/analogue_side.h"

#include "hardware_simulator/simulator_state.h"

namespace hardware_simulator {

bool SetAnalogueSide(std::size_t device, AnalogueSide side)
{
    StateLock guard(State().lock);
    DeviceRuntime* runtime = RuntimeOf(device);
    if (runtime == nullptr) return false;
    // A new latency starts the loopback afresh: what was played before is not heard.
    if (side.inputs == InputSource::Loopback)
        runtime->timeline.emplace(side.loopbackLatencyFrames);
    else
        runtime->timeline.reset();
    runtime->analogue = std::move(side);
    return true;
}

std::vector<INT32> RecordedOutput(std::size_t device, ULONG channel)
{
    StateLock guard(State().lock);
    DeviceRuntime* runtime = RuntimeOf(device);
    if (runtime == nullptr || channel >= runtime->recordings.size()) return {};
    return runtime->recordings[channel];
}

void ClearRecordedOutput(std::size_t device)
{
    StateLock guard(State().lock);
    if (DeviceRuntime* runtime = RuntimeOf(device)) runtime->recordings.clear();
}

}  // namespace hardware_simulator
