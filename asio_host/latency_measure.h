// The round trip of a loopback: where the sent signal's onset shows up in the recording.
#pragma once

#include <cstddef>
#include <vector>

struct LatencyMeasurement {
    bool found = false;
    long frames = 0;    // the recording lags the sent signal by this much
    double peak = 0.0;  // normalised correlation at that lag, 1 for an exact copy
};

// The peak needed to call a lag found: a copy with noise, gain or a little distortion
// stays far above it, silence and unrelated signals below it.
constexpr double LoopbackPeakThreshold = 0.6;

// Correlates a window around the sent signal's onset (its first sample above a tenth
// of its peak) with the recording at every lag from 0 to `maximumLag`, normalised by the
// energy of both windows, and takes the best lag. A sent signal without onset, or a
// recording too short for the window, gives nothing found.
LatencyMeasurement MeasureRoundTrip(const std::vector<float>& sent, const std::vector<float>& recorded,
                                    long maximumLag);
