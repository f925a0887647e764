#include "driver/engine/conversion/tests/signal_measurements.h"

#include <cmath>
#include <utility>

namespace {

constexpr double Pi = 3.14159265358979323846;

// Least-squares coefficients of sin and cos of each frequency and a constant; the last
// argument receives the fitted signal.
std::vector<double> FitBasis(const std::vector<double>& signal, const std::vector<double>& frequencies,
                             double sampleRate, std::size_t skip, std::vector<double>& fitted)
{
    const std::size_t n = 2 * frequencies.size() + 1;
    auto basis = [&](std::size_t i, std::vector<double>& values) {
        for (std::size_t t = 0; t < frequencies.size(); ++t) {
            const double w = 2 * Pi * frequencies[t] * static_cast<double>(i) / sampleRate;
            values[2 * t] = std::sin(w);
            values[2 * t + 1] = std::cos(w);
        }
        values[n - 1] = 1.0;
    };
    std::vector<std::vector<double>> m(n, std::vector<double>(n + 1, 0.0));
    std::vector<double> values(n);
    for (std::size_t i = skip; i < signal.size(); ++i) {
        basis(i, values);
        for (std::size_t a = 0; a < n; ++a) {
            m[a][n] += values[a] * signal[i];
            for (std::size_t b = 0; b < n; ++b) m[a][b] += values[a] * values[b];
        }
    }
    for (std::size_t i = 0; i < n; ++i) {  // Gauss-Jordan with partial pivoting
        std::size_t pivot = i;
        for (std::size_t j = i + 1; j < n; ++j) {
            if (std::fabs(m[j][i]) > std::fabs(m[pivot][i])) pivot = j;
        }
        std::swap(m[i], m[pivot]);
        for (std::size_t j = 0; j < n; ++j) {
            if (j == i) continue;
            const double factor = m[j][i] / m[i][i];
            for (std::size_t c = i; c <= n; ++c) m[j][c] -= factor * m[i][c];
        }
    }
    std::vector<double> coefficients(n);
    for (std::size_t a = 0; a < n; ++a) coefficients[a] = m[a][n] / m[a][a];
    fitted.assign(signal.size(), 0.0);
    for (std::size_t i = skip; i < signal.size(); ++i) {
        basis(i, values);
        for (std::size_t a = 0; a < n; ++a) fitted[i] += coefficients[a] * values[a];
    }
    return coefficients;
}

}  // namespace

ToneFit FitTone(const std::vector<double>& signal, double frequency, double sampleRate, std::size_t skip)
{
    std::vector<double> fitted;
    const std::vector<double> c = FitBasis(signal, {frequency}, sampleRate, skip, fitted);
    double residual = 0;
    double tone = 0;
    for (std::size_t i = skip; i < signal.size(); ++i) {
        residual += (signal[i] - fitted[i]) * (signal[i] - fitted[i]);
        tone += (fitted[i] - c[2]) * (fitted[i] - c[2]);
    }
    return {std::hypot(c[0], c[1]), 10 * std::log10(residual / tone)};
}

std::vector<double> FitToneAmplitudes(const std::vector<double>& signal, const std::vector<double>& frequencies,
                                      double sampleRate, std::size_t skip)
{
    std::vector<double> fitted;
    const std::vector<double> c = FitBasis(signal, frequencies, sampleRate, skip, fitted);
    std::vector<double> amplitudes;
    for (std::size_t t = 0; t < frequencies.size(); ++t) amplitudes.push_back(std::hypot(c[2 * t], c[2 * t + 1]));
    return amplitudes;
}

std::vector<std::int32_t> ToneWords(double frequency, double sampleRate, double amplitude, std::size_t frames,
                                    bool twentyFourBit)
{
    std::vector<std::int32_t> words(frames);
    for (std::size_t i = 0; i < frames; ++i) {
        const double value =
            amplitude * 2147483648.0 * std::sin(2 * Pi * frequency * static_cast<double>(i) / sampleRate);
        const auto word = static_cast<std::int32_t>(std::lround(std::fmin(value, 2147483647.0)));
        words[i] = twentyFourBit ? static_cast<std::int32_t>(static_cast<std::uint32_t>(word) & 0xFFFFFF00u) : word;
    }
    return words;
}

double DecibelsOf(double ratio)
{
    return 20 * std::log10(ratio);
}
