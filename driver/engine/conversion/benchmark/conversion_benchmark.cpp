// Measures the conversion kernels on this machine: the direct paths beside memcpy of the
// same host samples, the resampled paths beside the plain scalar model, libsamplerate
// (SRC_SINC_FASTEST) and libsoxr (quick and low quality) on the same signal, and each
// converter's quality.
#include <samplerate.h>
#include <soxr.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "driver/engine/conversion/direct_kernels.h"
#include "driver/engine/conversion/processor_features.h"
#include "driver/engine/conversion/rate_tables.h"
#include "driver/engine/conversion/resampler_kernels.h"
#include "driver/engine/conversion/tests/reference_converter.h"
#include "driver/engine/conversion/tests/signal_measurements.h"

namespace {

constexpr std::uint32_t ResampledBlock = 256;
constexpr double HostRate = 44100;
constexpr double DeviceRate = 48000;

// Keeps the compiler from dropping work whose results nothing reads.
void Touch(const void* memory)
{
    asm volatile("" : : "r"(memory) : "memory");
}

// Seconds per call of `work`: the best of three runs of enough calls to last 15 ms.
double SecondsPerCall(const std::function<void()>& work)
{
    using Clock = std::chrono::steady_clock;
    std::size_t calls = 1;
    for (;;) {
        const auto start = Clock::now();
        for (std::size_t i = 0; i < calls; ++i) work();
        if (Clock::now() - start > std::chrono::milliseconds(15)) break;
        calls *= 2;
    }
    double best = 1e9;
    for (int run = 0; run < 3; ++run) {
        const auto start = Clock::now();
        for (std::size_t i = 0; i < calls; ++i) work();
        best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count() / static_cast<double>(calls));
    }
    return best;
}

std::vector<std::int32_t> NoiseWords(std::size_t count)
{
    std::mt19937 random(1);
    std::vector<std::int32_t> words(count);
    for (auto& word : words) word = static_cast<std::int32_t>(random()) / 4;
    return words;
}

const char* ContainerName(SampleContainer container)
{
    return container == SampleContainer::Bits16 ? "16" : container == SampleContainer::Bits24 ? "24" : "32";
}

void BenchmarkDirectPaths()
{
    std::printf(
        "Direct paths (device rate = host rate). memcpy copies the block's host samples\n"
        "(frames x channels x 4 bytes) between cached buffers; 'x memcpy' is the kernel's time\n"
        "over memcpy's; 'portable' is the plain-loop kernel.\n\n");
    std::printf("%-8s %4s %3s %6s %14s %9s %14s %9s\n", "path", "bits", "ch", "block", "M frames/s", "x memcpy",
                "portable M/s", "x memcpy");
    for (bool render : {true, false}) {
        for (SampleContainer container : {SampleContainer::Bits16, SampleContainer::Bits24, SampleContainer::Bits32}) {
            for (std::uint32_t channels : {2u, 8u}) {
                for (std::uint32_t block : {64u, 256u, 2048u}) {
                    const DeviceFormat format{channels, container, channels * ContainerBytes(container)};
                    std::vector<std::int32_t> runs = NoiseWords(std::size_t{channels} * block);
                    std::vector<std::uint8_t> device(std::size_t{block} * format.frameBytes);
                    std::vector<std::int32_t> copy(runs.size());
                    const std::size_t bytes = runs.size() * sizeof(std::int32_t);
                    const double memcpyTime = SecondsPerCall([&] {
                        std::memcpy(copy.data(), runs.data(), bytes);
                        Touch(copy.data());
                    });
                    auto kernelTime = [&](RenderDirectKernel renderKernel, CaptureDirectKernel captureKernel) {
                        return SecondsPerCall([&] {
                            if (render) {
                                renderKernel(format, runs.data(), block, block, device.data());
                            } else {
                                captureKernel(format, device.data(), block, runs.data(), block);
                            }
                            Touch(device.data());
                            Touch(runs.data());
                        });
                    };
                    const double best = kernelTime(ChooseRenderDirect(format), ChooseCaptureDirect(format));
                    const double portable = kernelTime(portable_kernels::RenderDirect, portable_kernels::CaptureDirect);
                    std::printf("%-8s %4s %3u %6u %14.1f %9.2f %14.1f %9.2f\n", render ? "render" : "capture",
                                ContainerName(container), channels, block, block / best / 1e6, best / memcpyTime,
                                block / portable / 1e6, portable / memcpyTime);
                }
            }
        }
    }
    std::printf("\n");
}

// A converter under test, one direction: mono signals for the quality measurements and
// a timed stream of 256-frame host blocks of `channels` interleaved or planar channels.
struct Resampler {
    std::string name;
    // Converts a whole mono signal (full scale 1.0) in blocks, returning the output.
    std::function<std::vector<double>(const std::vector<double>&)> convertMono;
    // Builds a stream of `channels` channels and returns one block's work.
    std::function<std::function<void()>(std::uint32_t channels)> streamBlock;
};

// Device frames of consecutive blocks from a period start, as the packets carry them.
std::uint32_t DeviceFramesOfBlock(std::uint64_t block)
{
    return static_cast<std::uint32_t>(DeviceFramesBefore((block + 1) * ResampledBlock) -
                                      DeviceFramesBefore(block * ResampledBlock));
}

std::vector<double> ToDouble(const std::vector<std::int32_t>& words)
{
    std::vector<double> values(words.size());
    for (std::size_t i = 0; i < words.size(); ++i) values[i] = words[i] / 2147483648.0;
    return values;
}

std::vector<std::int32_t> ToWords(const std::vector<double>& values)
{
    std::vector<std::int32_t> words(values.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
        words[i] =
            static_cast<std::int32_t>(std::lround(std::clamp(values[i] * 2147483648.0, -2147483648.0, 2147483647.0)));
    }
    return words;
}

struct KernelConverter {
    std::vector<std::int32_t> history;
    RateConverterState state{};
    KernelConverter(std::uint32_t channels, ConversionDirection direction)
        : history(std::size_t{channels} * HistorySamplesPerChannel)
    {
        state.history = history.data();
        RestartRateConverter(state, channels, direction);
    }
};

Resampler KernelResampler(const std::string& name, bool render, RenderResampledKernel renderKernel,
                          CaptureResampledKernel captureKernel)
{
    Resampler resampler;
    resampler.name = name;
    resampler.convertMono = [=](const std::vector<double>& input) {
        const DeviceFormat format{1, SampleContainer::Bits32, 4};
        KernelConverter converter(1, render ? ConversionDirection::Render : ConversionDirection::Capture);
        std::vector<std::int32_t> in = ToWords(input);
        std::vector<std::int32_t> out;
        std::size_t used = 0;
        for (std::uint64_t block = 0;; ++block) {
            const std::uint32_t deviceFrames = DeviceFramesOfBlock(block);
            const std::size_t need = render ? ResampledBlock : deviceFrames;
            if (used + need > in.size()) break;
            const std::size_t produced = render ? deviceFrames : ResampledBlock;
            out.resize(out.size() + produced);
            std::int32_t* target = out.data() + out.size() - produced;
            if (render) {
                DeviceRing ring{reinterpret_cast<std::uint8_t*>(target), deviceFrames, 0};
                renderKernel(format, in.data() + used, ResampledBlock, ResampledBlock, converter.state, ring);
            } else {
                DeviceRing ring{reinterpret_cast<std::uint8_t*>(in.data() + used), deviceFrames, 0};
                captureKernel(format, ring, target, ResampledBlock, ResampledBlock, converter.state);
            }
            used += need;
        }
        return ToDouble(out);
    };
    resampler.streamBlock = [=](std::uint32_t channels) -> std::function<void()> {
        const DeviceFormat format{channels, SampleContainer::Bits32, channels * 4};
        auto converter = std::make_shared<KernelConverter>(
            channels, render ? ConversionDirection::Render : ConversionDirection::Capture);
        auto runs = std::make_shared<std::vector<std::int32_t>>(NoiseWords(std::size_t{channels} * ResampledBlock));
        auto device = std::make_shared<std::vector<std::uint8_t>>(std::size_t{ResampledBlock * 2} * format.frameBytes);
        return [=] {
            const std::uint32_t frames = ResampledDeviceFrames(
                converter->state, render ? ConversionDirection::Render : ConversionDirection::Capture, ResampledBlock);
            DeviceRing ring{device->data(), frames, 0};
            if (render) {
                renderKernel(format, runs->data(), ResampledBlock, ResampledBlock, converter->state, ring);
            } else {
                captureKernel(format, ring, runs->data(), ResampledBlock, ResampledBlock, converter->state);
            }
            Touch(device->data());
            Touch(runs->data());
        };
    };
    return resampler;
}

Resampler ModelResampler(bool render)
{
    Resampler resampler;
    resampler.name = "scalar model (-O2)";
    resampler.streamBlock = [=](std::uint32_t channels) -> std::function<void()> {
        auto model = std::make_shared<ReferenceRateConverter>(channels, !render);
        auto runs = std::make_shared<std::vector<std::int32_t>>(NoiseWords(std::size_t{channels} * ResampledBlock));
        auto device =
            std::make_shared<std::vector<std::int32_t>>(NoiseWords(std::size_t{channels} * ResampledBlock * 2));
        return [=] {
            if (render) {
                model->Render(runs->data(), ResampledBlock, device->data());
            } else {
                model->Capture(device->data(), ResampledBlock, runs->data());
            }
            Touch(device->data());
            Touch(runs->data());
        };
    };
    return resampler;
}

// Feeds libsamplerate or libsoxr chunks of input as a driver would feed blocks: 256
// host frames in for render, the block's device frames in for capture.
using ChunkProcessor =
    std::function<std::size_t(const float* in, std::size_t inFrames, float* out, std::size_t outCapacity)>;

std::vector<double> ConvertWithChunks(bool render, const std::vector<double>& input, const ChunkProcessor& process)
{
    std::vector<float> in(input.begin(), input.end());
    std::vector<double> out;
    std::vector<float> chunk(4 * ResampledBlock);
    std::size_t used = 0;
    for (std::uint64_t block = 0;; ++block) {
        const std::size_t need = render ? ResampledBlock : DeviceFramesOfBlock(block);
        if (used + need > in.size()) break;
        const std::size_t produced = process(in.data() + used, need, chunk.data(), chunk.size());
        out.insert(out.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(produced));
        used += need;
    }
    return out;
}

std::function<void()> StreamChunks(bool render, std::uint32_t channels, const ChunkProcessor& process)
{
    auto in = std::make_shared<std::vector<float>>(std::size_t{channels} * ResampledBlock * 2);
    std::mt19937 random(1);
    for (auto& value : *in) value = static_cast<float>(static_cast<std::int32_t>(random()) / 8589934592.0);
    auto out = std::make_shared<std::vector<float>>(std::size_t{channels} * ResampledBlock * 4);
    auto block = std::make_shared<std::uint64_t>(0);
    return [=] {
        const std::size_t need = render ? ResampledBlock : DeviceFramesOfBlock((*block)++);
        process(in->data(), need, out->data(), out->size() / channels);
        Touch(out->data());
    };
}

ChunkProcessor SamplerateChunks(std::shared_ptr<SRC_STATE> state, double ratio, std::uint32_t channels)
{
    (void)channels;
    return [=](const float* in, std::size_t inFrames, float* out, std::size_t outCapacity) {
        SRC_DATA data{};
        data.data_in = in;
        data.input_frames = static_cast<long>(inFrames);
        data.data_out = out;
        data.output_frames = static_cast<long>(outCapacity);
        data.src_ratio = ratio;
        src_process(state.get(), &data);
        return static_cast<std::size_t>(data.output_frames_gen);
    };
}

std::shared_ptr<SRC_STATE> NewSamplerate(std::uint32_t channels)
{
    int error = 0;
    return std::shared_ptr<SRC_STATE>(src_new(SRC_SINC_FASTEST, static_cast<int>(channels), &error), src_delete);
}

Resampler SamplerateResampler(bool render)
{
    const double ratio = render ? DeviceRate / HostRate : HostRate / DeviceRate;
    Resampler resampler;
    resampler.name = "libsamplerate SINC_FASTEST";
    resampler.convertMono = [=](const std::vector<double>& input) {
        return ConvertWithChunks(render, input, SamplerateChunks(NewSamplerate(1), ratio, 1));
    };
    resampler.streamBlock = [=](std::uint32_t channels) {
        return StreamChunks(render, channels, SamplerateChunks(NewSamplerate(channels), ratio, channels));
    };
    return resampler;
}

std::shared_ptr<soxr> NewSoxr(bool render, std::uint32_t channels, unsigned long recipe)
{
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
    const soxr_quality_spec_t quality = soxr_quality_spec(recipe, 0);
    return std::shared_ptr<soxr>(soxr_create(render ? HostRate : DeviceRate, render ? DeviceRate : HostRate, channels,
                                             nullptr, &io, &quality, nullptr),
                                 soxr_delete);
}

ChunkProcessor SoxrChunks(std::shared_ptr<soxr> state)
{
    return [=](const float* in, std::size_t inFrames, float* out, std::size_t outCapacity) {
        std::size_t used = 0;
        std::size_t produced = 0;
        soxr_process(state.get(), in, inFrames, &used, out, outCapacity, &produced);
        return produced;
    };
}

Resampler SoxrResampler(bool render, unsigned long recipe, const char* name)
{
    Resampler resampler;
    resampler.name = name;
    resampler.convertMono = [=](const std::vector<double>& input) {
        return ConvertWithChunks(render, input, SoxrChunks(NewSoxr(render, 1, recipe)));
    };
    resampler.streamBlock = [=](std::uint32_t channels) {
        return StreamChunks(render, channels, SoxrChunks(NewSoxr(render, channels, recipe)));
    };
    return resampler;
}

std::vector<double> Tone(double frequency, double rate, double amplitude, std::size_t frames)
{
    std::vector<double> values(frames);
    for (std::size_t i = 0; i < frames; ++i)
        values[i] = amplitude * std::sin(2 * 3.14159265358979323846 * frequency * static_cast<double>(i) / rate);
    return values;
}

struct Quality {
    double gainAt20k;     // dB against 1 kHz
    double ripple;        // dB, max − min gain from 50 Hz to 20 kHz
    double rejection;     // image (render) or alias (capture), dB
    double thdPlusNoise;  // dB, 1 kHz at −1 dBFS
    double dcGain;        // dB
};

Quality MeasureQuality(const Resampler& resampler, bool render)
{
    constexpr std::size_t frames = 24000;
    constexpr std::size_t skip = 2000;
    const double inRate = render ? HostRate : DeviceRate;
    const double outRate = render ? DeviceRate : HostRate;
    auto gainDb = [&](double frequency) {
        const std::vector<double> out = resampler.convertMono(Tone(frequency, inRate, 0.5, frames));
        return DecibelsOf(FitToneAmplitudes(out, {frequency}, outRate, skip)[0] / 0.5);
    };
    Quality quality{};
    double lowest = 1e9;
    double highest = -1e9;
    for (double frequency : {50.0, 100.0, 500.0, 1000.0, 2000.0, 4000.0, 6000.0, 8000.0, 10000.0, 12000.0, 14000.0,
                             16000.0, 17000.0, 18000.0, 19000.0, 19500.0, 20000.0}) {
        const double gain = gainDb(frequency);
        lowest = std::min(lowest, gain);
        highest = std::max(highest, gain);
    }
    quality.ripple = highest - lowest;
    quality.gainAt20k = gainDb(20000) - gainDb(1000);
    // Render: a 20 kHz tone's image at 24.1 kHz reaches 48 kHz output at 23.9 kHz.
    // Capture: a 23 kHz tone aliases to 21.1 kHz at 44.1 kHz.
    const double probe = render ? 20000 : 23000;
    const double mirror = render ? DeviceRate - (HostRate - probe) : HostRate - probe;
    const std::vector<double> mirrored = resampler.convertMono(Tone(probe, inRate, 0.5, frames));
    const std::vector<double> found = render ? FitToneAmplitudes(mirrored, {probe, mirror}, outRate, skip)
                                             : FitToneAmplitudes(mirrored, {mirror}, outRate, skip);
    quality.rejection = DecibelsOf(found.back() / 0.5);
    quality.thdPlusNoise =
        FitTone(resampler.convertMono(Tone(1000, inRate, std::pow(10.0, -1.0 / 20), frames)), 1000, outRate, skip)
            .thdPlusNoiseDb;
    const std::vector<double> dc = resampler.convertMono(std::vector<double>(frames, 0.5));
    double sum = 0;
    for (std::size_t i = skip; i < dc.size(); ++i) sum += dc[i];
    quality.dcGain = DecibelsOf(sum / static_cast<double>(dc.size() - skip) / 0.5);
    return quality;
}

// Whether the chosen kernels give the model's output on the benchmark's noise.
bool MatchesModel(bool render, std::uint32_t channels)
{
    const DeviceFormat format{channels, SampleContainer::Bits32, channels * 4};
    KernelConverter converter(channels, render ? ConversionDirection::Render : ConversionDirection::Capture);
    ReferenceRateConverter model(channels, !render);
    const std::vector<std::int32_t> noise = NoiseWords(std::size_t{channels} * ResampledBlock * 2);
    std::vector<std::int32_t> kernelOut(noise.size());
    std::vector<std::int32_t> modelOut(noise.size());
    for (std::uint64_t block = 0; block < 300; ++block) {
        const std::uint32_t frames = DeviceFramesOfBlock(block);
        if (render) {
            std::vector<std::int32_t> runs(noise.begin(), noise.begin() + channels * ResampledBlock);
            std::rotate(runs.begin(), runs.begin() + static_cast<std::ptrdiff_t>(block % runs.size()), runs.end());
            DeviceRing ring{reinterpret_cast<std::uint8_t*>(kernelOut.data()), frames, 0};
            ChooseRenderResampled()(format, runs.data(), ResampledBlock, ResampledBlock, converter.state, ring);
            model.Render(runs.data(), ResampledBlock, modelOut.data());
            for (std::size_t i = 0; i < std::size_t{frames} * channels; ++i) {
                if (kernelOut[i] != modelOut[i] * 256) return false;
            }
        } else {
            std::vector<std::int32_t> device(noise.begin(), noise.begin() + channels * frames);
            std::rotate(device.begin(), device.begin() + static_cast<std::ptrdiff_t>(block % device.size()),
                        device.end());
            DeviceRing ring{reinterpret_cast<std::uint8_t*>(device.data()), frames, 0};
            ChooseCaptureResampled()(format, ring, kernelOut.data(), ResampledBlock, ResampledBlock, converter.state);
            model.Capture(device.data(), ResampledBlock, modelOut.data());
            if (!std::equal(modelOut.begin(), modelOut.begin() + channels * ResampledBlock, kernelOut.begin()))
                return false;
        }
    }
    return true;
}

void BenchmarkResampledPaths()
{
    std::printf(
        "Resampled paths, 44.1 kHz host <-> 48 kHz device, blocks of %u host frames.\n"
        "Speed in million host frames per second (2 / 8 channels); the kernels move 32-bit\n"
        "device samples, libsamplerate and libsoxr float samples. Quality on a mono signal:\n"
        "gain at 20 kHz against 1 kHz, ripple from 50 Hz to 20 kHz, image (render: 20 kHz in,\n"
        "23.9 kHz out) or alias (capture: 23 kHz in, 21.1 kHz out) level against the input,\n"
        "THD+N of a 1 kHz tone at -1 dBFS, DC gain.\n\n",
        ResampledBlock);
    for (bool render : {true, false}) {
        std::printf("%s (%s)\n", render ? "render" : "capture", render ? "44.1 -> 48 kHz" : "48 -> 44.1 kHz");
        std::printf("  %-27s %8s %8s %9s %8s %8s %9s %8s %8s\n", "converter", "2 ch M/s", "8 ch M/s", "x model",
                    "20 kHz", "ripple", render ? "image" : "alias", "THD+N", "DC gain");
        std::vector<Resampler> resamplers{
            KernelResampler(ProcessorHasAvx2() ? "kernels (AVX2)" : "kernels (portable)", render,
                            ChooseRenderResampled(), ChooseCaptureResampled()),
            KernelResampler("kernels (portable)", render, portable_kernels::RenderResampled,
                            portable_kernels::CaptureResampled),
            ModelResampler(render),
            SamplerateResampler(render),
            SoxrResampler(render, SOXR_QQ, "libsoxr quick"),
            SoxrResampler(render, SOXR_LQ, "libsoxr low quality")};
        double modelSpeed[2] = {};
        std::vector<std::pair<double, double>> speeds;
        for (const Resampler& resampler : resamplers) {
            speeds.emplace_back(ResampledBlock / SecondsPerCall(resampler.streamBlock(2)) / 1e6,
                                ResampledBlock / SecondsPerCall(resampler.streamBlock(8)) / 1e6);
            if (!resampler.convertMono) {
                modelSpeed[0] = speeds.back().first;
                modelSpeed[1] = speeds.back().second;
            }
        }
        for (std::size_t i = 0; i < resamplers.size(); ++i) {
            std::printf("  %-27s %8.1f %8.1f %4.1f/%-4.1f", resamplers[i].name.c_str(), speeds[i].first,
                        speeds[i].second, speeds[i].first / modelSpeed[0], speeds[i].second / modelSpeed[1]);
            if (resamplers[i].convertMono && (i == 0 || i > 2)) {
                const Quality q = MeasureQuality(resamplers[i], render);
                std::printf(" %8.2f %8.2f %9.1f %8.1f %8.3f\n", q.gainAt20k, q.ripple, q.rejection, q.thdPlusNoise,
                            q.dcGain);
            } else {
                std::printf("   (same output as the first row)\n");
            }
        }
        std::printf("  kernels bit-identical to the model: %s (2 ch), %s (8 ch)\n\n",
                    MatchesModel(render, 2) ? "yes" : "NO", MatchesModel(render, 8) ? "yes" : "NO");
    }
}

}  // namespace

int main()
{
    BuildRateTables(44100, true, ResampledBlock);
    std::printf("Sample conversion benchmark (%s kernels chosen on this processor)\n\n",
                ProcessorHasAvx2() ? "AVX2" : "portable");
    BenchmarkDirectPaths();
    BenchmarkResampledPaths();
    return 0;
}
