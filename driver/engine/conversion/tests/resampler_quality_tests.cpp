// The converter's quality as numbers: a 1 kHz tone at −1 dBFS through each direction.
#include <gtest/gtest.h>

#include <cmath>

#include "driver/engine/conversion/rate_tables.h"
#include "driver/engine/conversion/resampler_kernels.h"
#include "driver/engine/conversion/tests/signal_measurements.h"

namespace {

const double Amplitude = std::pow(10.0, -1.0 / 20);
constexpr std::uint32_t HostFrames = 22050;
constexpr std::size_t Settling = 200;

struct Converted {
    std::vector<double> samples;
    ToneFit fit;
};

Converted RenderTone()
{
    std::vector<std::int32_t> history(HistorySamplesPerChannel);
    RateConverterState state{};
    state.history = history.data();
    RestartRateConverter(state, 1, ConversionDirection::Render);
    std::vector<std::int32_t> host = ToneWords(1000, 44100, Amplitude, HostFrames, false);
    const std::uint32_t frames = ResampledDeviceFrames(state, ConversionDirection::Render, HostFrames);
    std::vector<std::int32_t> device(frames);
    DeviceRing ring{reinterpret_cast<std::uint8_t*>(device.data()), frames, 0};
    ChooseRenderResampled()({1, SampleContainer::Bits32, 4}, host.data(), HostFrames, HostFrames, state, ring);
    Converted result{std::vector<double>(device.begin(), device.end()), {}};
    result.fit = FitTone(result.samples, 1000, 48000, Settling);
    return result;
}

Converted CaptureTone()
{
    std::vector<std::int32_t> history(HistorySamplesPerChannel);
    RateConverterState state{};
    state.history = history.data();
    RestartRateConverter(state, 1, ConversionDirection::Capture);
    const std::uint32_t frames = ResampledDeviceFrames(state, ConversionDirection::Capture, HostFrames);
    std::vector<std::int32_t> device = ToneWords(1000, 48000, Amplitude, frames, true);
    std::vector<std::int32_t> host(HostFrames);
    DeviceRing ring{reinterpret_cast<std::uint8_t*>(device.data()), frames, 0};
    ChooseCaptureResampled()({1, SampleContainer::Bits32, 4}, ring, host.data(), HostFrames, HostFrames, state);
    Converted result{std::vector<double>(host.begin(), host.end()), {}};
    result.fit = FitTone(result.samples, 1000, 44100, Settling);
    return result;
}

}  // namespace

TEST(ResamplerQuality, RenderOfA1kHzToneIsCleanAtUnityGain)
{
    ASSERT_TRUE(BuildRateTables(44100, true, 256));
    const Converted render = RenderTone();
    EXPECT_LT(render.fit.thdPlusNoiseDb, -95.0);
    EXPECT_NEAR(DecibelsOf(render.fit.amplitude / (Amplitude * 2147483648.0)), 0.0, 0.01);
}

TEST(ResamplerQuality, CaptureOfA1kHzToneIsCleanAtUnityGain)
{
    ASSERT_TRUE(BuildRateTables(44100, true, 256));
    const Converted capture = CaptureTone();
    EXPECT_LT(capture.fit.thdPlusNoiseDb, -95.0);
    EXPECT_NEAR(DecibelsOf(capture.fit.amplitude / (Amplitude * 2147483648.0)), 0.0, 0.01);
}

TEST(ResamplerQuality, CaptureKeepsHeadroomForFullScale)
{
    // A full-scale tone would clip at every peak with the gain of 160/147 of the
    // unscaled taps; at unity gain at most the filter's ripple reaches the rails.
    ASSERT_TRUE(BuildRateTables(44100, true, 256));
    std::vector<std::int32_t> history(HistorySamplesPerChannel);
    RateConverterState state{};
    state.history = history.data();
    RestartRateConverter(state, 1, ConversionDirection::Capture);
    const std::uint32_t frames = ResampledDeviceFrames(state, ConversionDirection::Capture, HostFrames);
    std::vector<std::int32_t> device = ToneWords(1000, 48000, 0.99, frames, true);
    std::vector<std::int32_t> host(HostFrames);
    DeviceRing ring{reinterpret_cast<std::uint8_t*>(device.data()), frames, 0};
    ChooseCaptureResampled()({1, SampleContainer::Bits32, 4}, ring, host.data(), HostFrames, HostFrames, state);
    EXPECT_EQ(std::count(host.begin(), host.end(), 0x7FFFFF00), 0);
    EXPECT_LT(FitTone(std::vector<double>(host.begin(), host.end()), 1000, 44100, Settling).thdPlusNoiseDb, -95.0);
}
