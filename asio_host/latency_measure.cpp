#include "asio_host/latency_measure.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr std::size_t Window = 2048;

}  // namespace

LatencyMeasurement MeasureRoundTrip(const std::vector<float>& sent, const std::vector<float>& recorded, long maximumLag)
{
    LatencyMeasurement result;
    float peak = 0.0f;
    for (float sample : sent) peak = std::max(peak, std::fabs(sample));
    if (peak == 0.0f) return result;
    std::size_t onset = 0;
    while (std::fabs(sent[onset]) < 0.1f * peak) ++onset;
    // Half the window before the onset: its silence tells a periodic signal's true lag
    // from the lags a whole period away.
    const std::size_t start = onset > Window / 2 ? onset - Window / 2 : 0;
    const std::size_t length = std::min(Window, sent.size() - start);

    double sentEnergy = 0.0;
    for (std::size_t i = 0; i < length; ++i) sentEnergy += double(sent[start + i]) * sent[start + i];
    for (long lag = 0; lag <= maximumLag; ++lag) {
        if (start + lag + length > recorded.size()) break;
        const float* look = recorded.data() + start + lag;
        double product = 0.0, recordedEnergy = 0.0;
        for (std::size_t i = 0; i < length; ++i) {
            product += double(sent[start + i]) * look[i];
            recordedEnergy += double(look[i]) * look[i];
        }
        if (recordedEnergy == 0.0) continue;
        double correlation = product / std::sqrt(sentEnergy * recordedEnergy);
        if (correlation > result.peak) {
            result.peak = correlation;
            result.frames = lag;
        }
    }
    result.found = result.peak >= LoopbackPeakThreshold;
    return result;
}
