#include "hardware_simulator/format_rules.h"

#include <algorithm>

namespace hardware_simulator {

namespace {

bool IsExtensible(const PinFormat& format)
{
    return format.wave.formatTag == WaveFormatTagExtensible;
}

// PCM audio in a WAVEFORMATEX of the size its tag needs.
bool IsPcmAudio(const PinFormat& format)
{
    const KsWaveFormatExtensible& wave = format.wave;
    if (format.majorFormat != KSDATAFORMAT_TYPE_AUDIO || format.subFormat != KSDATAFORMAT_SUBTYPE_PCM ||
        format.specifier != KSDATAFORMAT_SPECIFIER_WAVEFORMATEX)
        return false;
    if (format.formatSize == PlainFormatSize) return wave.formatTag == WaveFormatTagPcm;
    return format.formatSize == ExtensibleFormatSize && IsExtensible(format) && wave.extraSize == ExtensibleExtraSize &&
           wave.subFormat == KSDATAFORMAT_SUBTYPE_PCM;
}

// The derived fields agree with the channels, sample size and rate.
bool IsConsistent(const PinFormat& format)
{
    const KsWaveFormatExtensible& wave = format.wave;
    if (wave.channels == 0 || wave.bitsPerSample == 0 || wave.bitsPerSample % 8 != 0) return false;
    if (IsExtensible(format) && (wave.validBitsPerSample == 0 || wave.validBitsPerSample > wave.bitsPerSample))
        return false;
    return wave.blockAlign == wave.channels * wave.bitsPerSample / 8 &&
           wave.avgBytesPerSec == DWORD(wave.blockAlign) * wave.samplesPerSec;
}

bool TakesSampleSize(SampleSizeRule rule, const PinFormat& format)
{
    bool zero = format.sampleSize == 0;
    bool blockAlign = format.sampleSize == format.wave.blockAlign;
    switch (rule) {
    case SampleSizeRule::ZeroOnly: return zero;
    case SampleSizeRule::BlockAlignOnly: return blockAlign;
    default: return zero || blockAlign;
    }
}

bool TakesLayout(const ChannelLayout& layout, ChannelMaskRule rule, const PinFormat& format)
{
    if (layout.channels != format.wave.channels) return false;
    if (!IsExtensible(format)) return true;
    DWORD mask = format.wave.channelMask;
    return mask == layout.mask || (rule == ChannelMaskRule::ZeroOrLayout && mask == 0);
}

bool Takes(const AcceptedFormat& accepted, ChannelMaskRule rule, const PinFormat& format)
{
    const KsWaveFormatExtensible& wave = format.wave;
    bool extensible = IsExtensible(format);
    WORD validBits = extensible ? wave.validBitsPerSample : wave.bitsPerSample;
    if (!(extensible ? accepted.extensible : accepted.plain)) return false;
    if (wave.bitsPerSample != accepted.containerBits || validBits != accepted.validBits) return false;
    if (std::find(accepted.rates.begin(), accepted.rates.end(), wave.samplesPerSec) == accepted.rates.end())
        return false;
    return std::any_of(accepted.layouts.begin(), accepted.layouts.end(),
                       [&](const ChannelLayout& layout) { return TakesLayout(layout, rule, format); });
}

}  // namespace

DWORD CheckFormat(const FormatRules& rules, const PinFormat& format)
{
    if (!IsPcmAudio(format) || !IsConsistent(format) || !TakesSampleSize(rules.sampleSize, format))
        return rules.refusal;
    bool taken = std::any_of(rules.accepted.begin(), rules.accepted.end(),
                             [&](const AcceptedFormat& accepted) { return Takes(accepted, rules.maskRule, format); });
    return taken ? ERROR_SUCCESS : rules.refusal;
}

}  // namespace hardware_simulator
