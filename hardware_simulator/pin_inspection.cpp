#include "hardware_simulator/pin_inspection.h"

#include "hardware_simulator/simulator_state.h"

namespace hardware_simulator {

std::optional<PinView> InspectPin(HANDLE pin)
{
    StateLock guard(State().lock);
    const OpenPin* open = State().handles.Find<OpenPin>(reinterpret_cast<ULONG_PTR>(pin));
    if (open == nullptr) return std::nullopt;
    PinView view;
    view.pinId = open->pinId;
    view.dataFlow = open->dataFlow;
    view.looped = open->looped;
    view.access = open->access;
    view.format = open->format;
    view.state = open->state;
    view.queuedRequests = open->queue.Count();
    view.position = open->Position();
    view.loopedBuffer = open->loop.Buffer();
    view.loopedBufferSize = open->loop.Size();
    view.notificationCount = open->loop.NotificationCount();
    view.positionRegister = open->loop.Register();
    view.notificationEvents = open->loop.Events();
    return view;
}

}  // namespace hardware_simulator
