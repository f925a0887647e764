// What the host saw of the driver's switches: their periods, and from the sample
// positions the driver reported inside them, the switches it missed or doubled.
#pragma once

#include <cstdint>
#include <vector>

struct SwitchSample {
    double seconds;         // when the switch came, from the run's start
    std::int64_t position;  // getSamplePosition inside it; -1 when that failed
};

struct SwitchStatistics {
    int switches = 0;
    double expectedMs = 0.0;  // buffer size over rate
    double medianMs = 0.0, p99Ms = 0.0, worstMs = 0.0;
    std::vector<double> periodsMs;  // from each switch to the next
    // Between two switches the position should advance by one buffer: no advance is a
    // doubled switch, k buffers are k - 1 missed ones, anything else is irregular.
    int missed = 0, doubled = 0, irregular = 0;
    int positionFailures = 0;  // switches whose getSamplePosition failed
};

SwitchStatistics AnalyseSwitches(const std::vector<SwitchSample>& samples, long bufferSize, double rate);
