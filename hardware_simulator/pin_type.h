// A pin type of a filter as its kernel driver describes it through KSPROPSETID_Pin, and
// how the driver treats the instances a client creates of it.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "hardware_simulator/data_range.h"
#include "hardware_simulator/format_rules.h"
#include "kernel_streaming/kernel_streaming.h"

namespace hardware_simulator {

// KSPIN_CINSTANCES: how many instances may exist and how many do.
struct InstanceCount {
    ULONG possible = 0;
    ULONG current = 0;
};

// How the pin's data intersection handler turns a matching range into a format.
// It picks the highest rate, the highest bit depth and the most channels both sides allow.
struct IntersectionAnswer {
    bool extensible = false;            // WAVEFORMATEXTENSIBLE (104 bytes), else plain WAVEFORMATEX (82)
    bool widerSamplesIn32Bits = false;  // extensible samples above 16 bits travel in 32-bit containers
    std::vector<ULONG> refusedRates;    // rates the handler will not answer although a range covers them
    bool zeroSampleRate = false;        // nSamplesPerSec (and nAvgBytesPerSec) 0, as some drivers answer
};

// How ActualBufferSize grows from the RequestedBufferSize of a looped buffer: never
// below the request, always whole frames.
enum class BufferRounding {
    To128Bytes,  // HD Audio DMA: whole frames that are also a multiple of 128 bytes
    ToWholeFrames,
    ToServiceIntervals,  // USB: whole service intervals (packets) at the pin's rate
};

// How the driver of a looped (WaveRT) pin answers KSPROPSETID_RtAudio.
struct LoopedBufferTraits {
    BufferRounding rounding = BufferRounding::To128Bytes;
    bool callMemoryBarrier = false;  // the buffer is write-combined memory
    bool notifications = true;       // false: notification buffers and events answer ERROR_NOT_SUPPORTED
    bool positionRegister = true;    // false: POSITIONREGISTER answers ERROR_NOT_SUPPORTED
    // A faulty driver: the buffer is half the request, rounded down to whole units of
    // the rounding and at least one unit.
    bool shortBuffer = false;
    // The HWLATENCY answer. Its FIFO lies between the buffer and the position: render
    // reads the buffer that far ahead of the position, capture writes it that far behind.
    KsRtAudioHardwareLatency latency{};
    // 0: the position moves with every millisecond of the device clock, as a DMA engine
    // moves it. Otherwise the USB service interval in milliseconds: the position moves only
    // when a whole interval's packet is done, by that packet's frames, and the
    // notifications come with it.
    ULONG serviceIntervalMs = 0;
};

struct PinType {
    ULONG communication = KSPIN_COMMUNICATION_SINK;
    ULONG dataFlow = KSPIN_DATAFLOW_IN;
    std::wstring name;  // empty: the pin has no name
    InstanceCount instances;
    std::optional<InstanceCount> globalInstances;  // absent: the driver lacks GLOBALCINSTANCES
    std::vector<KsIdentifier> interfaces;
    std::vector<KsIdentifier> mediums;
    std::vector<DataRange> dataRanges;
    DWORD channelMask = 0;  // speaker positions of its channels; 0 when they have none
    IntersectionAnswer intersection;
    FormatRules formats;  // what pin creation takes
    // Held by another client: pin creation answers this error (ERROR_NO_SYSTEM_RESOURCES
    // or ERROR_BAD_COMMAND, as drivers differ); ERROR_SUCCESS when free.
    DWORD busyError = ERROR_SUCCESS;
    // The error pin creation answers when every instance is in use, by this process or
    // another client such as the Windows audio engine: ERROR_NO_SYSTEM_RESOURCES, or
    // ERROR_BAD_COMMAND on drivers that answer so.
    DWORD noInstanceError = ERROR_NO_SYSTEM_RESOURCES;
    // Instances held by clients outside this process (the Windows audio engine); they
    // count in the current instances.
    ULONG heldElsewhere = 0;
    bool acceptsPinHint = false;  // instances take the pin hint property, as USB audio pins do
    LoopedBufferTraits looped;    // for instances created with looped streaming
};

}  // namespace hardware_simulator
