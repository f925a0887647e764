// The output frames a device played, kept by device frame long enough for its inputs
// to hear them a loopback latency later. Frames are numbered per sample rate, so a
// frame played at one rate is silence to an input running at another.
#pragma once

#include <windows.h>

#include <vector>

namespace hardware_simulator {

class LoopbackTimeline {
public:
    static constexpr ULONG Channels = 32;  // output channels kept; higher ones are not looped back

    // Room for frames `latencyFrames` old while a step's frames are written.
    explicit LoopbackTimeline(ULONG latencyFrames = 0);
    // `channels` samples of output frame `frame` at `rate`.
    void Write(ULONGLONG frame, ULONG rate, const INT32* samples, ULONG channels);
    // Output channel `channel` of frame `frame` at `rate`; 0 when nothing was played then.
    INT32 Read(ULONGLONG frame, ULONG rate, ULONG channel) const;

private:
    struct Slot {
        ULONGLONG frame = ~0ULL;
        ULONG rate = 0;
    };
    std::vector<Slot> slots_;
    std::vector<INT32> samples_;  // Channels per slot
};

}  // namespace hardware_simulator
