#include "driver/engine/conversion/rate_tables.h"

#include <cmath>
#include <cstdlib>

#include "driver/engine/conversion/conversion_pin.h"

namespace {

constexpr double Pi = 3.14159265358979323846;
constexpr double UnityScale = 16777216.0;  // 2^24

PolyphaseTables polyphaseTables;
bool polyphaseTablesBuilt;
FrameTables frameTables;

// sin(π d / 160) from the angle folded into [0, π/2].
double FoldedSine(std::int32_t d)
{
    const std::int32_t quadrant = d / 80;
    const std::int32_t rest = d % 80;
    const double angle = (Pi / 160) * (quadrant % 2 == 0 ? rest : 80 - rest);
    const double sine = std::sin(angle);
    return quadrant % 4 >= 2 ? -sine : sine;
}

// Phase p starts at host time o = 160 p; its taps sit at the device times x ≥ o, x + 147,
// ... below o + 5280.
void BuildPolyphaseTable(std::int32_t* table, double scale, std::int32_t centre)
{
    for (std::uint32_t phase = 0; phase < PeriodHostFrames; ++phase) {
        const std::uint32_t entry = PhaseEntry(phase);
        const std::uint32_t taps = PhaseTaps(phase);
        table[entry] = static_cast<std::int32_t>(taps);
        for (std::uint32_t t = 0; t < taps; ++t) {
            const auto x = static_cast<std::int32_t>(PhaseLeadUnits(phase) + t * DeviceSampleUnits);
            table[entry + 1 + t] = FilterCoefficient(x, scale, centre);
        }
    }
}

void PadPhases(const std::int32_t* table, std::int32_t (*padded)[PaddedTapsPerPhase])
{
    for (std::uint32_t phase = 0; phase < PeriodHostFrames; ++phase) {
        const std::int32_t* taps = table + PhaseEntry(phase) + 1;
        for (std::uint32_t t = 0; t < PhaseTaps(phase); ++t) {
            padded[phase][PaddedTapsBefore + t] = taps[t];
        }
    }
}

// Device frames of each of 147 consecutive groups of `hostFramesPerEntry` host frames,
// counted on from a period start.
void BuildFrameTable(std::uint32_t* table, std::uint64_t hostFramesPerEntry)
{
    for (std::uint32_t i = 0; i < PeriodHostFrames; ++i) {
        table[i] = static_cast<std::uint32_t>(DeviceFramesBefore(hostFramesPerEntry * (i + 1)) -
                                              DeviceFramesBefore(hostFramesPerEntry * i));
    }
}

}  // namespace

std::int32_t FilterCoefficient(std::int32_t x, double scale, std::int32_t centre)
{
    const std::int32_t d = std::abs(x - static_cast<std::int32_t>(FilterCentreUnits));
    if (d == 0) {
        return centre;
    }
    const double window = std::cos(Pi * d / FilterSpanUnits);
    const double value = scale * FoldedSine(d) / (Pi * d / HostSampleUnits) * window * window;
    return static_cast<std::int32_t>(std::lround(value));
}

bool BuildRateTables(std::uint32_t hostRate, bool conversionEnabled, std::uint32_t bufferSize)
{
    if (hostRate != ConvertedHostRate || !conversionEnabled || bufferSize == 0) {
        return false;
    }
    if (!polyphaseTablesBuilt) {
        constexpr double captureScale = UnityScale * DeviceSampleUnits / HostSampleUnits;
        BuildPolyphaseTable(polyphaseTables.render, UnityScale, static_cast<std::int32_t>(UnityScale));
        BuildPolyphaseTable(polyphaseTables.capture, captureScale,
                            static_cast<std::int32_t>(std::lround(captureScale)));
        PadPhases(polyphaseTables.render, polyphaseTables.paddedRender);
        PadPhases(polyphaseTables.capture, polyphaseTables.paddedCapture);
        polyphaseTablesBuilt = true;
    }
    BuildFrameTable(frameTables.blockFrames, bufferSize);
    // Large packets hold whole blocks and at most LargePacketFrames device frames.
    frameTables.blocksPerLargePacket = static_cast<std::uint32_t>(LargePacketFrames * DeviceSampleUnits /
                                                                  (std::uint64_t{HostSampleUnits} * bufferSize));
    BuildFrameTable(frameTables.largePacketFrames, std::uint64_t{frameTables.blocksPerLargePacket} * bufferSize);
    return true;
}

const PolyphaseTables& RatePolyphaseTables()
{
    return polyphaseTables;
}

const FrameTables& RateFrameTables()
{
    return frameTables;
}
