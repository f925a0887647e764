// The stream command's analysis and files on synthetic data: the loopback latency
// measurement, the switch accounting, sample types, the test signals, WAV and SVG.
#include <gtest/gtest.h>

#include <windows.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "asio_host/latency_measure.h"
#include "asio_host/sample_types.h"
#include "asio_host/svg_plot.h"
#include "asio_host/switch_statistics.h"
#include "asio_host/test_signal.h"
#include "asio_host/wav_file.h"
#include "test_support/windows_test_support.h"

namespace {

constexpr double Rate = 48000.0;

// What a loopback gives back: the sent signal `delay` frames later, scaled, with noise.
std::vector<float> Looped(const std::vector<float>& sent, long delay, float gain, float noise)
{
    std::vector<float> recorded(sent.size(), 0.0f);
    std::mt19937 random(7);
    std::uniform_real_distribution<float> hiss(-noise, noise);
    for (std::size_t i = 0; i < recorded.size(); ++i) {
        float value = i >= std::size_t(delay) ? gain * sent[i - delay] : 0.0f;
        recorded[i] = value + hiss(random);
    }
    return recorded;
}

TEST(RoundTrip, FindsTheDelayOfEverySignalThroughANoisyLoop)
{
    for (SignalKind kind : {SignalKind::Tone, SignalKind::Sweep, SignalKind::Noise}) {
        std::vector<float> sent = MakeTestSignal(kind, Rate, 24000, 12000);
        for (long delay : {0L, 1L, 47L, 1234L, 9000L}) {
            LatencyMeasurement measured = MeasureRoundTrip(sent, Looped(sent, delay, 0.7f, 0.02f), 10000);
            EXPECT_TRUE(measured.found) << SignalName(kind) << " delayed " << delay;
            EXPECT_EQ(measured.frames, delay) << SignalName(kind);
            EXPECT_GT(measured.peak, 0.9) << SignalName(kind);
        }
    }
}

TEST(RoundTrip, FindsNothingInSilenceUnrelatedNoiseOrBeyondTheSearch)
{
    std::vector<float> sent = MakeTestSignal(SignalKind::Tone, Rate, 24000, 12000);
    EXPECT_FALSE(MeasureRoundTrip(sent, std::vector<float>(sent.size(), 0.0f), 10000).found);
    std::vector<float> other(sent.size());
    std::mt19937 random(3);
    std::uniform_real_distribution<float> hiss(-0.5f, 0.5f);
    for (float& sample : other) sample = hiss(random);
    EXPECT_FALSE(MeasureRoundTrip(sent, other, 10000).found);
    EXPECT_FALSE(MeasureRoundTrip(sent, Looped(sent, 5000, 1.0f, 0.0f), 1000).found);
    // Nothing sent, or a recording shorter than the window.
    EXPECT_FALSE(MeasureRoundTrip(std::vector<float>(100, 0.0f), std::vector<float>(100, 0.0f), 10).found);
    EXPECT_FALSE(MeasureRoundTrip(sent, std::vector<float>(100, 0.5f), 10).found);
}

std::vector<SwitchSample> Regular(int count, long bufferSize)
{
    std::vector<SwitchSample> samples;
    for (int i = 0; i < count; ++i) samples.push_back({i * bufferSize / Rate, std::int64_t(i) * bufferSize});
    return samples;
}

TEST(Switches, RegularSwitchesHaveTheExpectedPeriodAndNoFault)
{
    SwitchStatistics statistics = AnalyseSwitches(Regular(100, 480), 480, Rate);
    EXPECT_EQ(statistics.switches, 100);
    EXPECT_EQ(statistics.periodsMs.size(), 99u);
    EXPECT_NEAR(statistics.expectedMs, 10.0, 1e-9);
    EXPECT_NEAR(statistics.medianMs, 10.0, 1e-6);
    EXPECT_NEAR(statistics.worstMs, 10.0, 1e-6);
    EXPECT_EQ(statistics.missed + statistics.doubled + statistics.irregular + statistics.positionFailures, 0);
}

TEST(Switches, CountsMissedDoubledAndIrregularPositionsAndTheSlowTail)
{
    std::vector<SwitchSample> samples = Regular(200, 480);
    for (int i = 100; i < 200; ++i) samples[i].position += 2 * 480;  // two switches missed
    samples[150].position = samples[149].position;                   // a switch without advance
    for (int i = 151; i < 200; ++i) samples[i].position -= 480;
    samples[170].position += 7;                                   // a stray position
    samples[180].position = -1;                                   // getSamplePosition failed
    for (int i = 190; i < 200; ++i) samples[i].seconds += 0.015;  // one period of 25 ms
    SwitchStatistics statistics = AnalyseSwitches(samples, 480, Rate);
    EXPECT_EQ(statistics.doubled, 1);
    // 170's stray position makes two irregular steps; 180's failure hides two steps.
    EXPECT_EQ(statistics.missed, 2);
    EXPECT_EQ(statistics.irregular, 2);
    EXPECT_EQ(statistics.positionFailures, 1);
    EXPECT_NEAR(statistics.medianMs, 10.0, 1e-6);
    EXPECT_NEAR(statistics.p99Ms, 10.0, 1e-6);
    EXPECT_NEAR(statistics.worstMs, 25.0, 1e-6);
    EXPECT_EQ(AnalyseSwitches({}, 480, Rate).switches, 0);
}

TEST(SampleTypes, EveryTypeCarriesASignalThereAndBackAndPadsWithSilence)
{
    const float samples[4] = {0.5f, -0.25f, 1.5f, -1.0f};  // 1.5 clips to full scale
    for (ASIOSampleType type : {ASIOSTInt16LSB, ASIOSTInt24LSB, ASIOSTInt32LSB, ASIOSTFloat32LSB, ASIOSTFloat64LSB,
                                ASIOSTInt32LSB16, ASIOSTInt32LSB16 + 1, ASIOSTInt32LSB16 + 2, ASIOSTInt32LSB24}) {
        ASSERT_NE(SampleTypeName(type), nullptr) << type;
        std::uint8_t buffer[8 * 8];
        std::memset(buffer, 0xAB, sizeof(buffer));
        WriteSamples(type, buffer, samples, 4, 8);
        float back[8];
        ReadSamples(type, buffer, back, 8);
        const float expected[8] = {0.5f, -0.25f, 1.0f, -1.0f, 0, 0, 0, 0};
        for (int i = 0; i < 8; ++i) EXPECT_NEAR(back[i], expected[i], 1e-4) << SampleTypeName(type) << " " << i;
    }
    std::uint8_t packed[3];
    const float half = 0.5f;
    WriteSamples(ASIOSTInt24LSB, packed, &half, 1, 1);
    EXPECT_EQ(packed[0] | packed[1] << 8 | packed[2] << 16, 0x400000);
    EXPECT_EQ(SampleTypeName(2), nullptr) << "big-endian Int32";
}

TEST(TestSignal, LeadsInWithSilenceThenPlaysAtHalfScale)
{
    for (SignalKind kind : {SignalKind::Tone, SignalKind::Sweep, SignalKind::Noise}) {
        std::vector<float> signal = MakeTestSignal(kind, Rate, 9600, 4800);
        ASSERT_EQ(signal.size(), 9600u);
        float before = 0.0f, after = 0.0f;
        for (std::size_t i = 0; i < signal.size(); ++i)
            (i < 4800 ? before : after) = std::max(i < 4800 ? before : after, std::fabs(signal[i]));
        EXPECT_EQ(before, 0.0f) << SignalName(kind);
        EXPECT_LE(after, SignalLevel + 1e-6f) << SignalName(kind);
        EXPECT_GT(after, 0.9f * SignalLevel) << SignalName(kind);
        EXPECT_EQ(ParseSignalKind(SignalName(kind)), kind);
    }
    EXPECT_FALSE(ParseSignalKind("square"));
    // The tone's period: 48 samples at 1 kHz.
    std::vector<float> tone = MakeTestSignal(SignalKind::Tone, Rate, 480, 0);
    EXPECT_NEAR(tone[12], SignalLevel, 1e-5);
    EXPECT_NEAR(tone[60], SignalLevel, 1e-5);
}

std::string TempPath(const char* name)
{
    char folder[MAX_PATH];
    GetTempPathA(sizeof(folder), folder);
    return std::string(folder) + std::to_string(GetCurrentProcessId()) + "-" + name;
}

std::uint32_t LittleEndian(const std::vector<std::uint8_t>& bytes, std::size_t at, int size)
{
    std::uint32_t value = 0;
    for (int i = 0; i < size; ++i) value |= std::uint32_t(bytes[at + i]) << (8 * i);
    return value;
}

TEST(WavFile, WritesInterleaved24BitPcmWithAConsistentHeader)
{
    const std::string path = TempPath("recording.wav");
    std::string error;
    ASSERT_TRUE(WriteWavFile(path, {{0.5f, -1.0f, 0.0f}, {2.0f, 0.25f, -0.5f}}, 44100, error)) << error;
    std::vector<std::uint8_t> bytes = ReadFileBytes(path);
    DeleteFileA(path.c_str());
    ASSERT_EQ(bytes.size(), 44u + 3 * 2 * 3);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "RIFF");
    EXPECT_EQ(LittleEndian(bytes, 4, 4), bytes.size() - 8);
    EXPECT_EQ(std::string(bytes.begin() + 8, bytes.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(LittleEndian(bytes, 20, 2), 1u);
    EXPECT_EQ(LittleEndian(bytes, 22, 2), 2u);
    EXPECT_EQ(LittleEndian(bytes, 24, 4), 44100u);
    EXPECT_EQ(LittleEndian(bytes, 28, 4), 44100u * 6);
    EXPECT_EQ(LittleEndian(bytes, 32, 2), 6u);
    EXPECT_EQ(LittleEndian(bytes, 34, 2), 24u);
    EXPECT_EQ(std::string(bytes.begin() + 36, bytes.begin() + 40), "data");
    EXPECT_EQ(LittleEndian(bytes, 40, 4), 18u);
    // Frame 0: 0.5 and 2.0 (clipped); frame 1: -1.0 and 0.25.
    EXPECT_EQ(LittleEndian(bytes, 44, 3), 0x400000u);
    EXPECT_EQ(LittleEndian(bytes, 47, 3), 0x7FFFFFu);
    EXPECT_EQ(LittleEndian(bytes, 50, 3), 0x800001u);
    EXPECT_EQ(LittleEndian(bytes, 53, 3), 0x200000u);

    EXPECT_FALSE(WriteWavFile(TempPath("none.wav"), {}, 44100, error));
    EXPECT_FALSE(WriteWavFile(TempPath("no-such-folder\\x.wav"), {{0.0f}}, 44100, error));
    EXPECT_NE(error.find("cannot create"), std::string::npos) << error;
}

int Count(const std::string& text, const std::string& part)
{
    int count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

TEST(SvgPlot, DrawsThePeriodsAndBothSignalsAndEscapesTheTitle)
{
    RunPlot plot;
    plot.title = "A&B <driver>";
    plot.switchSeconds = {0.01, 0.02, 0.03};
    plot.periodsMs = {10.0, 10.2, 55.0};
    plot.expectedMs = 10.0;
    plot.rate = Rate;
    plot.sent = {0.0f, 0.5f, -0.5f};
    plot.looped = {0.0f, 0.4f, -0.4f};
    plot.lag = 123;
    std::string svg = RunPlotSvg(plot);
    EXPECT_EQ(svg.rfind("<svg ", 0), 0u);
    EXPECT_NE(svg.find("</svg>"), std::string::npos);
    EXPECT_NE(svg.find("A&amp;B &lt;driver&gt;"), std::string::npos);
    EXPECT_EQ(Count(svg, "<polyline "), 3);
    EXPECT_NE(svg.find("shifted back by 123 frames"), std::string::npos);
    // Three points in each line.
    std::size_t periods = svg.find("class=\"periods\"");
    ASSERT_NE(periods, std::string::npos);
    std::string points = svg.substr(periods, svg.find("/>", periods) - periods);
    EXPECT_EQ(Count(points, ","), 3) << points;

    plot.looped.clear();
    svg = RunPlotSvg(plot);
    EXPECT_EQ(Count(svg, "<polyline "), 2);
    EXPECT_NE(svg.find("no looped-back signal found"), std::string::npos);

    const std::string path = TempPath("plot.svg");
    std::string error;
    ASSERT_TRUE(WriteRunPlot(path, plot, error)) << error;
    std::vector<std::uint8_t> bytes = ReadFileBytes(path);
    DeleteFileA(path.c_str());
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), svg);
}

}  // namespace
