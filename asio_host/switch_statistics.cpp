#include "asio_host/switch_statistics.h"

#include <algorithm>

namespace {

// The value below which `share` of the sorted values lie (nearest rank).
double Percentile(const std::vector<double>& sorted, double share)
{
    std::size_t rank = std::size_t(share * double(sorted.size()) + 0.999999);
    return sorted[std::clamp<std::size_t>(rank, 1, sorted.size()) - 1];
}

}  // namespace

SwitchStatistics AnalyseSwitches(const std::vector<SwitchSample>& samples, long bufferSize, double rate)
{
    SwitchStatistics statistics;
    statistics.switches = int(samples.size());
    statistics.expectedMs = 1000.0 * double(bufferSize) / rate;
    for (const SwitchSample& sample : samples) statistics.positionFailures += sample.position < 0;
    for (std::size_t i = 1; i < samples.size(); ++i) {
        statistics.periodsMs.push_back(1000.0 * (samples[i].seconds - samples[i - 1].seconds));
        if (samples[i].position < 0 || samples[i - 1].position < 0) continue;
        std::int64_t advance = samples[i].position - samples[i - 1].position;
        if (advance == 0)
            ++statistics.doubled;
        else if (advance > 0 && advance % bufferSize == 0)
            statistics.missed += int(advance / bufferSize - 1);
        else
            ++statistics.irregular;
    }
    if (!statistics.periodsMs.empty()) {
        std::vector<double> sorted = statistics.periodsMs;
        std::sort(sorted.begin(), sorted.end());
        statistics.medianMs = Percentile(sorted, 0.5);
        statistics.p99Ms = Percentile(sorted, 0.99);
        statistics.worstMs = sorted.back();
    }
    return statistics;
}
