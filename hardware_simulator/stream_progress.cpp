#include "hardware_simulator/stream_progress.h"

#include "hardware_simulator/simulator_state.h"

namespace hardware_simulator {

bool CompleteStreamRequest(HANDLE pin, ULONG bytes)
{
    StateLock guard(State().lock);
    OpenPin* open = State().handles.Find<OpenPin>(reinterpret_cast<ULONG_PTR>(pin));
    return open != nullptr && open->CompleteOldestRequest(bytes);
}

bool AdvanceLoopedPosition(HANDLE pin, ULONG bytes)
{
    StateLock guard(State().lock);
    OpenPin* open = State().handles.Find<OpenPin>(reinterpret_cast<ULONG_PTR>(pin));
    return open != nullptr && open->AdvanceLoopedPosition(bytes);
}

}  // namespace hardware_simulator
