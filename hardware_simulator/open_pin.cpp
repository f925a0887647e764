#include "hardware_simulator/open_pin.h"

namespace hardware_simulator {

void OpenPin::SetState(ULONG newState)
{
    if (newState == KSSTATE_STOP) {
        queue.Stop();
        loop.Rewind();
        inGap = false;
    }
    state = newState;
}

bool OpenPin::CompleteOldestRequest(ULONG bytes)
{
    return state == KSSTATE_RUN && queue.CompleteOldest(bytes);
}

bool OpenPin::AdvanceLoopedPosition(ULONG bytes)
{
    return state == KSSTATE_RUN && looped && loop.Advance(bytes);
}

}  // namespace hardware_simulator
