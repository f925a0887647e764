// A picture of a stream run as an SVG file: the callback periods over the run against
// the period the buffer size promises, and an excerpt of the sent signal with what came
// back on the loopback, shifted by the measured latency.
#pragma once

#include <string>
#include <vector>

struct RunPlot {
    std::string title;
    std::vector<double> switchSeconds;  // when each period ended
    std::vector<double> periodsMs;
    double expectedMs = 0.0;
    // The excerpt: sent samples, and the recording from `lag` frames later (empty when
    // no loopback was found).
    std::vector<float> sent;
    std::vector<float> looped;
    long lag = 0;
    double rate = 0.0;
};

std::string RunPlotSvg(const RunPlot& plot);
// Writes RunPlotSvg to `path`; false with `error` set when that fails.
bool WriteRunPlot(const std::string& path, const RunPlot& plot, std::string& error);
