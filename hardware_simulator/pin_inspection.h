// Introspection of an open pin instance for tests: what it was created as, its state,
// what is queued on it and what its looped buffer shares with the client.
#pragma once

#include <windows.h>

#include <cstddef>
#include <optional>
#include <vector>

#include "hardware_simulator/pin_format.h"
#include "kernel_streaming/kernel_streaming.h"

namespace hardware_simulator {

struct PinView {
    ULONG pinId = 0;
    ULONG dataFlow = 0;
    bool looped = false;
    ACCESS_MASK access = 0;  // granted FILE_READ_DATA and FILE_WRITE_DATA, generic rights mapped
    PinFormat format;
    ULONG state = 0;  // KSSTATE
    std::size_t queuedRequests = 0;
    KsAudioPosition position{};  // as KSPROPERTY_AUDIO_POSITION answers
    BYTE* loopedBuffer = nullptr;
    ULONG loopedBufferSize = 0;
    ULONG notificationCount = 0;
    const volatile ULONG* positionRegister = nullptr;
    std::vector<HANDLE> notificationEvents;  // the client's handles, as registered
};

// A copy taken under the simulator's lock; none when `pin` is no open pin handle.
std::optional<PinView> InspectPin(HANDLE pin);

}  // namespace hardware_simulator
