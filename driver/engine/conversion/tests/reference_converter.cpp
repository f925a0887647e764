#include "driver/engine/conversion/tests/reference_converter.h"

#include "driver/engine/conversion/rate_tables.h"

void ReferenceRenderSample(SampleContainer container, std::int32_t word, std::uint8_t* bytes)
{
    const auto value = static_cast<std::uint32_t>(word);
    switch (container) {
    case SampleContainer::Bits32:
        for (int i = 0; i < 4; ++i) bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
        break;
    case SampleContainer::Bits24: {
        const auto shifted = static_cast<std::uint32_t>(word >> 8);
        for (int i = 0; i < 3; ++i) bytes[i] = static_cast<std::uint8_t>(shifted >> (8 * i));
        break;
    }
    case SampleContainer::Bits16:
        bytes[0] = static_cast<std::uint8_t>(value >> 16);
        bytes[1] = static_cast<std::uint8_t>(value >> 24);
        break;
    }
}

std::int32_t ReferenceCaptureSample(SampleContainer container, const std::uint8_t* bytes)
{
    switch (container) {
    case SampleContainer::Bits32:
        return static_cast<std::int32_t>(bytes[0] | bytes[1] << 8 | bytes[2] << 16 | std::uint32_t{bytes[3]} << 24);
    case SampleContainer::Bits24:
        return static_cast<std::int32_t>(bytes[0] * 0x100u + bytes[1] * 0x10000u + bytes[2] * 0x1000000u);
    case SampleContainer::Bits16:
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::int16_t>(bytes[0] | bytes[1] << 8))
                                         << 16);
    }
    return 0;
}

void ReferenceConverterSample(SampleContainer container, std::int32_t value24, std::uint8_t* bytes)
{
    std::int32_t word = value24;
    if (container == SampleContainer::Bits32) {
        word = value24 * 256;
    } else if (container == SampleContainer::Bits16) {
        word = value24 >= 0 ? value24 / 256 : -((-value24 + 255) / 256);  // floor(v / 2^8)
    }
    for (std::uint32_t i = 0; i < ContainerBytes(container); ++i) {
        bytes[i] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(word) >> (8 * i));
    }
}

std::vector<std::uint8_t> ReferenceRenderDirect(SampleContainer container, std::uint32_t channels,
                                                const std::vector<std::int32_t>& runs, std::uint32_t frames)
{
    const std::uint32_t bytes = ContainerBytes(container);
    std::vector<std::uint8_t> device(std::size_t{frames} * channels * bytes);
    for (std::uint32_t f = 0; f < frames; ++f) {
        for (std::uint32_t ch = 0; ch < channels; ++ch) {
            ReferenceRenderSample(container, runs[ch * frames + f], &device[(f * channels + ch) * bytes]);
        }
    }
    return device;
}

std::vector<std::int32_t> ReferenceCaptureDirect(SampleContainer container, std::uint32_t channels,
                                                 const std::vector<std::uint8_t>& device, std::uint32_t frames)
{
    const std::uint32_t bytes = ContainerBytes(container);
    std::vector<std::int32_t> runs(std::size_t{frames} * channels);
    for (std::uint32_t f = 0; f < frames; ++f) {
        for (std::uint32_t ch = 0; ch < channels; ++ch) {
            runs[ch * frames + f] = ReferenceCaptureSample(container, &device[(f * channels + ch) * bytes]);
        }
    }
    return runs;
}

namespace {

std::int32_t UpperHalf(std::int32_t a, std::int32_t b)
{
    return static_cast<std::int32_t>((static_cast<std::int64_t>(a) * b) >> 32);
}

std::int32_t Saturate24(std::int32_t v)
{
    return v < -8388608 ? -8388608 : v > 8388607 ? 8388607 : v;
}

}  // namespace

ReferenceRateConverter::ReferenceRateConverter(std::uint32_t channels, bool capture)
    : channels_(channels), k_(capture ? 4245 : 0), ring_(std::size_t{channels} * 64)
{
}

std::uint32_t ReferenceRateConverter::Render(const std::int32_t* runs, std::uint32_t hostFrames, std::int32_t* device)
{
    const std::int32_t* table = RatePolyphaseTables().render;
    std::uint32_t written = 0;
    for (std::uint32_t f = 0; f < hostFrames; ++f) {
        const std::uint32_t n = static_cast<std::uint32_t>(table[k_++]);
        for (std::uint32_t t = 0; t < n; ++t, ++k_) {
            for (std::uint32_t ch = 0; ch < channels_; ++ch) {
                Ring(ch, r_ + t) += UpperHalf(runs[ch * hostFrames + f], table[k_]);
            }
        }
        limit_ += 160;
        while (accumulator_ < limit_) {
            for (std::uint32_t ch = 0; ch < channels_; ++ch) {
                device[written++] = Saturate24(Ring(ch, r_));
                Ring(ch, r_) = 0;
            }
            accumulator_ += 147;
            r_ = (r_ + 1) % 64;
        }
        if (accumulator_ == limit_) {
            accumulator_ = limit_ = k_ = 0;
        }
    }
    return written / channels_;
}

std::uint32_t ReferenceRateConverter::Capture(const std::int32_t* device, std::uint32_t hostFrames, std::int32_t* runs)
{
    const std::int32_t* table = RatePolyphaseTables().capture;
    std::uint32_t consumed = 0;
    for (std::uint32_t f = 0; f < hostFrames; ++f) {
        for (std::uint32_t ch = 0; ch < channels_; ++ch) {
            runs[ch * hostFrames + f] = 0;
        }
        limit_ += 160;
        while (accumulator_ < limit_) {
            for (std::uint32_t ch = 0; ch < channels_; ++ch) {
                Ring(ch, r_) = device[consumed++];
            }
            accumulator_ += 147;
            r_ = (r_ + 1) % 64;
        }
        if (accumulator_ == limit_) {
            accumulator_ = limit_ = 0;
        }
        if (k_ >= 5427) {
            k_ = 0;
        }
        const std::uint32_t n = static_cast<std::uint32_t>(table[k_++]);
        std::uint32_t q = (r_ + 64 - n) % 64;
        for (std::uint32_t t = 0; t < n; ++t, ++k_, q = (q + 1) % 64) {
            for (std::uint32_t ch = 0; ch < channels_; ++ch) {
                runs[ch * hostFrames + f] += UpperHalf(Ring(ch, q), table[k_]);
            }
        }
        for (std::uint32_t ch = 0; ch < channels_; ++ch) {
            runs[ch * hostFrames + f] = Saturate24(runs[ch * hostFrames + f]) * 256;
        }
    }
    return consumed / channels_;
}

std::vector<std::uint32_t> ReferenceFrameTable(std::uint32_t hostFramesPerEntry)
{
    std::vector<std::uint32_t> table;
    std::uint64_t device = 0;
    std::uint64_t host = 0;
    for (int i = 0; i < 147; ++i) {
        std::uint32_t count = 0;
        for (std::uint32_t b = 0; b < hostFramesPerEntry; ++b) {
            host += 160;
            do {
                ++count;
                device += 147;
            } while (device < host);
        }
        table.push_back(count);
    }
    return table;
}
