#include "asio_host/stream_command.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "asio_host/driver_session.h"
#include "asio_host/latency_measure.h"
#include "asio_host/stream_run.h"
#include "asio_host/svg_plot.h"
#include "asio_host/wav_file.h"

const char StreamUsage[] =
    "       kaskade-host stream NAME [--seconds S] [--buffer N] [--rate HZ] [--signal tone|sweep|noise]\n"
    "                   [--outputs LIST|none] [--inputs LIST|none] [--wav FILE] [--svg FILE] [--quiet]\n"
    "           plays the signal on the outputs (default 0), records the inputs (default 0) and\n"
    "           reports the switches and, with output 0 looped back to input 0, the round trip\n";

namespace {

constexpr double MaximumSeconds = 600.0;
constexpr double ExcerptMs = 20.0;

struct StreamOptions {
    std::string name;
    StreamRequest request;
    std::string wavPath = "kaskade-stream.wav";
    std::string svgPath = "kaskade-stream.svg";
};

// "0,1,4" or "none"; false for anything else.
bool ParseChannels(const char* text, std::vector<long>& channels)
{
    channels.clear();
    if (std::strcmp(text, "none") == 0) return true;
    for (const char* p = text;;) {
        char* end;
        long channel = std::strtol(p, &end, 10);
        if (end == p || channel < 0) return false;
        channels.push_back(channel);
        if (*end == '\0') return true;
        if (*end != ',') return false;
        p = end + 1;
    }
}

bool ParseNumber(const char* text, double low, double high, double& value)
{
    char* end;
    value = std::strtod(text, &end);
    return end != text && *end == '\0' && value >= low && value <= high;
}

// Empty when the options are valid, else what is wrong with them.
std::string ParseOptions(int count, char** arguments, StreamOptions& options)
{
    if (count < 1 || arguments[0][0] == '-') return "the driver's name is missing";
    options.name = arguments[0];
    options.request.outputs = {0};
    options.request.inputs = {0};
    options.request.progress = true;
    for (int i = 1; i < count; ++i) {
        const std::string option = arguments[i];
        if (option == "--quiet") {
            options.request.progress = false;
            continue;
        }
        if (i + 1 >= count) return option + " needs a value";
        const char* value = arguments[++i];
        double number;
        if (option == "--seconds") {
            if (!ParseNumber(value, 0.1, MaximumSeconds, number)) return "--seconds takes 0.1 to 600";
            options.request.seconds = number;
        } else if (option == "--buffer") {
            if (!ParseNumber(value, 1, 1 << 20, number)) return "--buffer takes a number of samples";
            options.request.bufferSize = long(number);
        } else if (option == "--rate") {
            if (!ParseNumber(value, 1000, 1000000, number)) return "--rate takes a rate in Hz";
            options.request.rate = number;
        } else if (option == "--signal") {
            auto kind = ParseSignalKind(value);
            if (!kind) return "--signal takes tone, sweep or noise";
            options.request.signal = *kind;
        } else if (option == "--outputs" || option == "--inputs") {
            if (!ParseChannels(value, option == "--outputs" ? options.request.outputs : options.request.inputs))
                return option + " takes channel numbers separated by commas, or none";
        } else if (option == "--wav") {
            options.wavPath = value;
        } else if (option == "--svg") {
            options.svgPath = value;
        } else {
            return "unknown option " + option;
        }
    }
    if (options.request.outputs.empty() && options.request.inputs.empty()) return "no channel chosen";
    return "";
}

std::string ChannelList(const std::vector<long>& channels)
{
    std::string text;
    for (long channel : channels) {
        if (!text.empty()) text += ',';
        text += std::to_string(channel);
    }
    return text.empty() ? "none" : text;
}

double Milliseconds(long frames, double rate)
{
    return 1000.0 * double(frames) / rate;
}

void PrintReport(const StreamOptions& options, const StreamResult& result, const SwitchStatistics& statistics,
                 const LatencyMeasurement* loopback)
{
    const StreamRequest& request = options.request;
    std::printf("Stream:    %.0f Hz, %ld samples per buffer, %s on outputs %s, inputs %s recorded, %.1f s\n",
                result.rate, result.bufferSize, SignalName(request.signal), ChannelList(request.outputs).c_str(),
                ChannelList(request.inputs).c_str(), double(statistics.switches * result.bufferSize) / result.rate);
    std::printf("Switches:  %d\n", statistics.switches);
    std::printf("Periods:   median %.2f ms, p99 %.2f ms, worst %.2f ms (expected %.2f ms)\n", statistics.medianMs,
                statistics.p99Ms, statistics.worstMs, statistics.expectedMs);
    std::printf("Positions: %d missed, %d doubled, %d irregular switches", statistics.missed, statistics.doubled,
                statistics.irregular);
    if (statistics.positionFailures != 0)
        std::printf(", getSamplePosition failed %d times", statistics.positionFailures);
    std::printf(
        "\nMessages:  %d reset requests, %d resync requests, %d latency changes, %d buffer size changes, "
        "%d rate changes\n",
        result.resetRequests, result.resyncRequests, result.latencyChanges, result.bufferSizeChanges,
        result.rateChanges);
    const long reported = result.inputLatency + result.outputLatency;
    std::printf("Latency:   reported input %ld + output %ld = %ld frames (%.2f ms)\n", result.inputLatency,
                result.outputLatency, reported, Milliseconds(reported, result.rate));
    if (loopback == nullptr)
        std::printf("Loopback:  not measured (it needs an output and an input)\n");
    else if (loopback->found)
        std::printf("Loopback:  measured round trip %ld frames (%.2f ms), output %ld to input %ld, correlation %.2f\n",
                    loopback->frames, Milliseconds(loopback->frames, result.rate), request.outputs[0],
                    request.inputs[0], loopback->peak);
    else
        std::printf("Loopback:  no looped-back signal found on input %ld (best correlation %.2f)\n", request.inputs[0],
                    loopback->peak);
}

// The plot's excerpt: from a little before the sent signal's onset.
void AddExcerpt(RunPlot& plot, const StreamResult& result, const LatencyMeasurement* loopback)
{
    std::size_t onset = 0;
    while (onset < result.sent.size() && result.sent[onset] == 0.0f) ++onset;
    const auto length = std::size_t(result.rate * ExcerptMs / 1000);
    const std::size_t start = onset > length / 10 ? onset - length / 10 : 0;
    const std::size_t end = std::min(start + length, result.sent.size());
    plot.sent.assign(result.sent.begin() + long(start), result.sent.begin() + long(end));
    if (loopback == nullptr || !loopback->found) return;
    const std::vector<float>& recorded = result.recorded[0];
    for (std::size_t i = start; i < end; ++i) {
        std::size_t at = i + std::size_t(loopback->frames);
        plot.looped.push_back(at < recorded.size() ? recorded[at] : 0.0f);
    }
    plot.lag = loopback->frames;
}

}  // namespace

int StreamCommand(int count, char** arguments)
{
    StreamOptions options;
    std::string problem = ParseOptions(count, arguments, options);
    if (!problem.empty()) {
        std::fprintf(stderr, "kaskade-host stream: %s\nusage:\n%s", problem.c_str(), StreamUsage);
        return 2;
    }
    std::string error;
    IAsioDriver* driver = OpenDriver(options.name, error);
    if (driver == nullptr) {
        std::fprintf(stderr, "kaskade-host: %s\n", error.c_str());
        return 1;
    }
    char driverName[AsioDriverNameSize] = {};
    driver->getDriverName(driverName);
    std::printf("Driver:    %s (\"%s\", version %ld)\n", options.name.c_str(), driverName, driver->getDriverVersion());
    std::fflush(stdout);
    StreamResult result;
    bool streamed = RunStream(driver, options.request, result, error);
    driver->Release();
    if (!streamed) {
        std::fprintf(stderr, "kaskade-host: %s\n", error.c_str());
        return 1;
    }

    SwitchStatistics statistics = AnalyseSwitches(result.switches, result.bufferSize, result.rate);
    LatencyMeasurement measured;
    const bool loops = !options.request.outputs.empty() && !options.request.inputs.empty();
    if (loops) measured = MeasureRoundTrip(result.sent, result.recorded[0], long(result.rate));
    PrintReport(options, result, statistics, loops ? &measured : nullptr);

    if (!result.recorded.empty()) {
        if (!WriteWavFile(options.wavPath, result.recorded, unsigned(result.rate), error)) {
            std::fprintf(stderr, "kaskade-host: %s\n", error.c_str());
            return 1;
        }
        std::printf("WAV:       %s (inputs %s)\n", options.wavPath.c_str(),
                    ChannelList(options.request.inputs).c_str());
    }
    RunPlot plot;
    plot.title = options.name + ": " + std::to_string(long(result.rate)) + " Hz, " + std::to_string(result.bufferSize) +
                 " samples per buffer";
    for (std::size_t i = 1; i < result.switches.size(); ++i) plot.switchSeconds.push_back(result.switches[i].seconds);
    plot.periodsMs = statistics.periodsMs;
    plot.expectedMs = statistics.expectedMs;
    plot.rate = result.rate;
    AddExcerpt(plot, result, loops ? &measured : nullptr);
    if (!WriteRunPlot(options.svgPath, plot, error)) {
        std::fprintf(stderr, "kaskade-host: %s\n", error.c_str());
        return 1;
    }
    std::printf("SVG:       %s\n", options.svgPath.c_str());
    return 0;
}
