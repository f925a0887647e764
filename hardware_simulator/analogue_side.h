// What a device's converters connect to: its inputs hear silence, the device's own
// outputs looped back, or a generated test signal, and its outputs can be recorded.
// Samples are left-justified 32-bit values, whatever container a pin carries them in.
#pragma once

#include <windows.h>

#include <cstddef>
#include <functional>
#include <vector>

namespace hardware_simulator {

enum class InputSource { Silence, Loopback, Generator };

struct AnalogueSide {
    InputSource inputs = InputSource::Silence;
    // Loopback: output channel c is heard on input channel c (channels both sides have;
    // other inputs are silent), output frame n on the inputs at frame n + this. Frames
    // count on one timeline per sample rate, so a capture pin running at another rate
    // than the render pin hears silence.
    ULONG loopbackLatencyFrames = 0;
    // Generator: sample of input channel `channel` at device frame `frame` (at the
    // capture pin's rate), left-justified: the top bits the pin's container carries are used.
    std::function<INT32(ULONG channel, ULONGLONG frame)> generator;
    // Every frame a running render pin plays is recorded, silence when it starves.
    bool recordOutputs = false;
};

// Replaces the analogue side of `device` (an index in the machine); what was recorded
// stays. False when there is no such device.
bool SetAnalogueSide(std::size_t device, AnalogueSide side);
// Output samples of `channel` recorded since recording began or was cleared,
// left-justified 32-bit.
std::vector<INT32> RecordedOutput(std::size_t device, ULONG channel);
void ClearRecordedOutput(std::size_t device);

}  // namespace hardware_simulator
