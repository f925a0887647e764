// Faults a test injects into a device (an index in the machine), and the glitches the
// device counted. A device or data flow that does not exist is ignored.
#pragma once

#include <windows.h>

#include <cstddef>

namespace hardware_simulator {

// Surprise removal: the device leaves enumeration, every request pending on its pins
// fails with STATUS_DEVICE_NOT_CONNECTED (ERROR_DEVICE_NOT_CONNECTED, 1167), every later
// request on its filter and pin handles fails with 1167 as well, and opening its filter
// paths fails with ERROR_FILE_NOT_FOUND. Its pin instances are given back. False when
// there is no such device or it is not plugged in.
bool Unplug(std::size_t device);
// Present again: new opens work, handles from before the removal stay dead. False when
// there is no such device or it is plugged in.
bool Replug(std::size_t device);
// The device's clock stops: nothing is consumed, filled or completed, positions freeze.
void SetClockStalled(std::size_t device, bool stalled);
// Only the pins of one data flow stall: KSPIN_DATAFLOW_IN (render) or _OUT (capture).
// Stalled render pins play nothing, not even silence, and count no starvation.
void SetPinsStalled(std::size_t device, ULONG dataFlow, bool stalled);
// The clock runs `ppm` parts per million fast (+) or slow (-); any value above -1000000,
// others are ignored.
void SetClockDeviation(std::size_t device, double ppm);
// The device clock's completions of stream requests on pins of `dataFlow` are
// signalled `delayMs` late, plus a random 0..jitterMs, in the order they completed.
void SetCompletionDelay(std::size_t device, ULONG dataFlow, ULONG delayMs, ULONG jitterMs);
// The next `count` property requests on pin handles of the device with this set and id
// fail with `error`.
void FailPinProperty(std::size_t device, const GUID& set, ULONG id, DWORD error, int count);
// The next `count` changes to `state` of pins of `dataFlow` on the device fail with `error`.
void FailPinStateChange(std::size_t device, ULONG dataFlow, ULONG state, DWORD error, int count);
// The next `count` pin creations of `dataFlow` on the device fail with `error`, as a pin
// does that its device cannot open for the moment.
void FailPinCreation(std::size_t device, ULONG dataFlow, DWORD error, int count);
// The next `count` stream requests the device starts on, on pins of `dataFlow`, end
// early: once `bytes` moved (at most what they hold), with the NTSTATUS `status` in their
// OVERLAPPED and what moved in DataUsed and the byte count. STATUS_CANCELLED with 0 bytes
// gives a request back untouched; an error status is a device failing it.
void EndStreamRequests(std::size_t device, ULONG dataFlow, ULONG_PTR status, ULONG bytes, int count);

// The Windows audio engine takes every free instance of pin `pinId` of the device's
// filter `filter`, as it does for an endpoint that a shared-mode client plays or records
// on (held), or lets them go again: the instance counts show them in use and pin creation
// answers the pin type's noInstanceError. False when there is no such pin.
bool HoldInAudioEngine(std::size_t device, std::size_t filter, ULONG pinId, bool held);

// A render starvation is a running render pin running dry (each gap counts once), a
// capture overrun a running capture pin with no request for frames that arrived.
struct GlitchCounters {
    ULONG renderStarvations;
    ULONG captureOverruns;
    ULONGLONG starvedFrames;  // silent frames played in the gaps
    ULONGLONG overrunFrames;  // frames lost
};
GlitchCounters Glitches(std::size_t device);

}  // namespace hardware_simulator
