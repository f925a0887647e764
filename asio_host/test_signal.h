// The test signals the stream command plays: a tone, a logarithmic sweep or white
// noise, at half of full scale, after a lead-in of silence that makes the signal's
// onset findable in a looped-back recording.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

enum class SignalKind { Tone, Sweep, Noise };

// "tone", "sweep" or "noise".
std::optional<SignalKind> ParseSignalKind(const std::string& text);
const char* SignalName(SignalKind kind);

constexpr float SignalLevel = 0.5f;
constexpr double ToneFrequency = 1000.0;

// `frames` samples: `leadIn` of silence, then the signal. The sweep runs from 20 Hz to
// 20 kHz (or 0.45 of the rate, when lower) over the rest; the noise is the same at every run.
std::vector<float> MakeTestSignal(SignalKind kind, double rate, std::size_t frames, std::size_t leadIn);
