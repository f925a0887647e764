// Measurements of converted test signals by least-squares fits of tones of known
// frequency (with a DC term): their amplitudes and, from what the fit leaves, THD+N.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct ToneFit {
    double amplitude;
    double thdPlusNoiseDb;  // residual power relative to the tone's power
};

// Fits one tone to signal[skip...].
ToneFit FitTone(const std::vector<double>& signal, double frequency, double sampleRate, std::size_t skip);

// Amplitudes of several tones fitted together to signal[skip...].
std::vector<double> FitToneAmplitudes(const std::vector<double>& signal, const std::vector<double>& frequencies,
                                      double sampleRate, std::size_t skip);

// Slab words of a sine: amplitude relative to full scale, low byte cleared when the words
// are to carry 24-bit samples.
std::vector<std::int32_t> ToneWords(double frequency, double sampleRate, double amplitude, std::size_t frames,
                                    bool twentyFourBit);

double DecibelsOf(double ratio);
