#include "hardware_simulator/open_pin.h"

namespace hardware_simulator {

std::vector<Completion> OpenPin::SetState(ULONG newState)
{
    std::vector<Completion> cancelled;
    if (newState == KSSTATE_STOP) {
        cancelled = queue.Stop();
        loop.Rewind();
        inGap = false;
    }
    state = newState;
    return cancelled;
}

bool OpenPin::CompleteOldestRequest(ULONG bytes)
{
    return state == KSSTATE_RUN && queue.CompleteOldest(bytes);
}

bool OpenPin::AdvanceLoopedPosition(ULONG bytes)
{
    return state == KSSTATE_RUN && looped && loop.Advance(bytes, dataFlow == KSPIN_DATAFLOW_IN);
}

}  // namespace hardware_simulator
