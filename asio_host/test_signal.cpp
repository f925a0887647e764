#include "asio_host/test_signal.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>

std::optional<SignalKind> ParseSignalKind(const std::string& text)
{
    if (text == "tone") return SignalKind::Tone;
    if (text == "sweep") return SignalKind::Sweep;
    if (text == "noise") return SignalKind::Noise;
    return std::nullopt;
}

const char* SignalName(SignalKind kind)
{
    return kind == SignalKind::Tone ? "tone" : kind == SignalKind::Sweep ? "sweep" : "noise";
}

std::vector<float> MakeTestSignal(SignalKind kind, double rate, std::size_t frames, std::size_t leadIn)
{
    std::vector<float> signal(frames, 0.0f);
    if (leadIn >= frames) return signal;
    const std::size_t length = frames - leadIn;
    const double top = std::min(20000.0, 0.45 * rate), bottom = 20.0;
    const double span = std::log(top / bottom);
    const double seconds = double(length) / rate;
    std::uint32_t noise = 0x12345678u;
    for (std::size_t i = 0; i < length; ++i) {
        const double t = double(i) / rate;
        double value;
        if (kind == SignalKind::Tone) {
            value = std::sin(2 * std::numbers::pi * ToneFrequency * t);
        } else if (kind == SignalKind::Sweep) {
            // The phase of a sweep whose frequency grows exponentially from bottom to top.
            value = std::sin(2 * std::numbers::pi * bottom * seconds / span * (std::exp(span * t / seconds) - 1));
        } else {
            noise ^= noise << 13;
            noise ^= noise >> 17;
            noise ^= noise << 5;
            value = double(noise) / 2147483648.0 - 1.0;
        }
        signal[leadIn + i] = float(SignalLevel * value);
    }
    return signal;
}
