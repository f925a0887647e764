// The period of the 44.1 kHz <-> 48 kHz rate converter. One time unit is 1/7056000 s: a
// host sample at 44100 Hz lasts 160 units, a device sample at 48000 Hz 147 units, so 147
// host frames and 160 device frames span the same time, one period. The filter phases and
// their tap counts follow from this integer arithmetic alone.
#pragma once

#include <cstdint>

constexpr std::uint32_t ConvertedHostRate = 44100;
constexpr std::uint32_t ConvertedDeviceRate = 48000;

constexpr std::uint32_t HostSampleUnits = 160;
constexpr std::uint32_t DeviceSampleUnits = 147;
constexpr std::uint32_t PeriodHostFrames = 147;  // and 160 device frames

// The filter spans 33 host samples, centred on its middle.
constexpr std::uint32_t FilterSpanUnits = 33 * HostSampleUnits;
constexpr std::uint32_t FilterCentreUnits = FilterSpanUnits / 2;

// Device frames belonging to the first `hostFrames` host frames since a period began:
// ceil(160 × hostFrames / 147). Exact across periods, since a period is 160 device frames.
constexpr std::uint64_t DeviceFramesBefore(std::uint64_t hostFrames)
{
    return (hostFrames * HostSampleUnits + DeviceSampleUnits - 1) / DeviceSampleUnits;
}

// Device frames that follow host frame `position` (0–146) of a period: 1 or 2.
constexpr std::uint32_t DeviceFramesOfHostFrame(std::uint32_t position)
{
    return static_cast<std::uint32_t>(DeviceFramesBefore(position + 1) - DeviceFramesBefore(position));
}

// Units from the start of host frame `phase` to the first device frame at or after it.
constexpr std::uint32_t PhaseLeadUnits(std::uint32_t phase)
{
    return (DeviceSampleUnits - phase * HostSampleUnits % DeviceSampleUnits) % DeviceSampleUnits;
}

// Taps of a phase: device frames from that first one on while they lie within the span.
constexpr std::uint32_t PhaseTaps(std::uint32_t phase)
{
    return (FilterSpanUnits - PhaseLeadUnits(phase) + DeviceSampleUnits - 1) / DeviceSampleUnits;
}

// The period's facts by host frame, looked up in the converters' inner loops.
struct PeriodLayout {
    std::uint16_t entry[PeriodHostFrames + 1];  // polyphase table index of each phase's count
    std::uint8_t taps[PeriodHostFrames];
    std::uint8_t deviceFrames[PeriodHostFrames];  // device frames following each host frame
};

constexpr PeriodLayout MakePeriodLayout()
{
    PeriodLayout layout{};
    std::uint32_t next = 0;
    for (std::uint32_t phase = 0; phase < PeriodHostFrames; ++phase) {
        layout.entry[phase] = static_cast<std::uint16_t>(next);
        layout.taps[phase] = static_cast<std::uint8_t>(PhaseTaps(phase));
        layout.deviceFrames[phase] = static_cast<std::uint8_t>(DeviceFramesOfHostFrame(phase));
        next += 1 + PhaseTaps(phase);
    }
    layout.entry[PeriodHostFrames] = static_cast<std::uint16_t>(next);
    return layout;
}

inline constexpr PeriodLayout Period = MakePeriodLayout();

// Index in the polyphase tables of a phase's tap count, which its taps follow.
constexpr std::uint32_t PhaseEntry(std::uint32_t phase)
{
    return Period.entry[phase];
}

constexpr std::uint32_t PolyphaseTableEntries = 5427;
static_assert(PhaseEntry(PeriodHostFrames) == PolyphaseTableEntries);

// Capture starts its coefficient index at entry 4245, phase 115: with the window of the n
// most recent device frames that phase keeps one fixed delay for every host frame.
constexpr std::uint32_t CaptureFirstPhase = 115;
static_assert(PhaseEntry(CaptureFirstPhase) == 4245);
