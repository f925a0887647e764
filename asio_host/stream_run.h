// One run of a driver's streams as a host drives them: buffers for the chosen channels,
// a signal played on every chosen output, every chosen input recorded, and when each
// switch came with the sample position the driver reported in it.
#pragma once

#include <string>
#include <vector>

#include "asio_host/asio_driver.h"
#include "asio_host/switch_statistics.h"
#include "asio_host/test_signal.h"

struct StreamRequest {
    double seconds = 5.0;
    long bufferSize = 0;  // 0: the driver's preferred size
    double rate = 0.0;    // 0: the driver's current rate
    SignalKind signal = SignalKind::Tone;
    std::vector<long> outputs;
    std::vector<long> inputs;
    bool progress = false;  // a progress line on stderr
};

struct StreamResult {
    long bufferSize = 0;
    double rate = 0.0;
    long inputLatency = 0, outputLatency = 0;  // getLatencies after createBuffers
    std::vector<SwitchSample> switches;
    std::vector<float> sent;                   // what every chosen output played
    std::vector<std::vector<float>> recorded;  // each chosen input
    // What the driver told the host during the run.
    int resetRequests = 0, resyncRequests = 0, latencyChanges = 0, bufferSizeChanges = 0, rateChanges = 0;
};

// Streams through an initialised driver; false with `error` set when a call fails or the
// switches stop coming. The driver is stopped and its buffers disposed of either way.
bool RunStream(IAsioDriver* driver, const StreamRequest& request, StreamResult& result, std::string& error);
