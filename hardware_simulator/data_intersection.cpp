#include "hardware_simulator/data_intersection.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <optional>
#include <vector>

#include "hardware_simulator/property_answer.h"

namespace hardware_simulator {

namespace {

struct ChosenFormat {
    GUID subFormat;
    ULONG channels;
    ULONG bits;
    ULONG rate;
};

// A client's KSDATARANGE_AUDIO up to its last field; the tail padding need not be there.
constexpr std::size_t AudioRangeBytes = offsetof(KsDataRangeAudio, maximumSampleFrequency) + sizeof(ULONG);

constexpr ULONG StandardRates[] = {384000, 192000, 176400, 96000, 88200, 48000,
                                   44100,  32000,  22050,  16000, 11025, 8000};

bool IsWildcard(const GUID& guid)
{
    return guid == KSDATAFORMAT_SUBTYPE_WILDCARD;
}

bool Matches(const GUID& a, const GUID& b)
{
    return a == b || IsWildcard(a) || IsWildcard(b);
}

// The client's ranges, checked to lie within the list. ERROR_INVALID_PARAMETER when
// the list or a range claims more bytes than it has.
DWORD ReadClientRanges(const BYTE* list, DWORD listSize, std::vector<DataRange>* ranges)
{
    if (listSize < sizeof(KsMultipleItem)) return ERROR_INVALID_USER_BUFFER;
    KsMultipleItem header;
    std::memcpy(&header, list, sizeof(header));
    if (header.size < sizeof(KsMultipleItem) || header.size > listSize) return ERROR_INVALID_PARAMETER;
    std::size_t offset = sizeof(KsMultipleItem);
    for (ULONG index = 0; index < header.count; ++index) {
        std::size_t left = offset < header.size ? header.size - offset : 0;
        if (left < sizeof(KsDataFormat)) return ERROR_INVALID_PARAMETER;
        KsDataRangeAudio record{};
        std::memcpy(&record.dataRange, list + offset, sizeof(KsDataFormat));
        ULONG size = record.dataRange.formatSize;
        if (size < sizeof(KsDataFormat) || size > left) return ERROR_INVALID_PARAMETER;
        DataRange range;
        range.majorFormat = record.dataRange.majorFormat;
        range.subFormat = record.dataRange.subFormat;
        range.specifier = record.dataRange.specifier;
        range.audioLimits = size >= AudioRangeBytes;
        if (range.audioLimits) {
            std::memcpy(&record, list + offset, AudioRangeBytes);
            range.maximumChannels = record.maximumChannels;
            range.minimumBitsPerSample = record.minimumBitsPerSample;
            range.maximumBitsPerSample = record.maximumBitsPerSample;
            range.minimumSampleFrequency = record.minimumSampleFrequency;
            range.maximumSampleFrequency = record.maximumSampleFrequency;
        }
        ranges->push_back(range);
        offset += (std::size_t(size) + 7) & ~std::size_t(7);
    }
    return ERROR_SUCCESS;
}

// The highest rate both ranges allow and the handler does not refuse.
std::optional<ULONG> ChooseRate(ULONG lowest, ULONG highest, const std::vector<ULONG>& refused)
{
    if (lowest > highest) return std::nullopt;
    auto allowed = [&](ULONG rate) { return std::find(refused.begin(), refused.end(), rate) == refused.end(); };
    if (allowed(highest)) return highest;
    for (ULONG rate : StandardRates)
        if (rate >= lowest && rate < highest && allowed(rate)) return rate;
    if (allowed(lowest)) return lowest;
    return std::nullopt;
}

std::optional<ChosenFormat> Intersect(const DataRange& own, const DataRange& client, const IntersectionAnswer& rules)
{
    if (!own.audioLimits || own.specifier != KSDATAFORMAT_SPECIFIER_WAVEFORMATEX) return std::nullopt;
    if (!Matches(own.majorFormat, client.majorFormat) || !Matches(own.subFormat, client.subFormat) ||
        !Matches(own.specifier, client.specifier))
        return std::nullopt;
    // A client range without audio limits takes whatever the pin offers.
    const DataRange& limits = client.audioLimits ? client : own;
    ULONG channels = std::min(own.maximumChannels, limits.maximumChannels);
    ULONG lowestBits = std::max(own.minimumBitsPerSample, limits.minimumBitsPerSample);
    ULONG highestBits = std::min(own.maximumBitsPerSample, limits.maximumBitsPerSample);
    if (channels == 0 || highestBits == 0 || lowestBits > highestBits) return std::nullopt;
    std::optional<ULONG> rate =
        ChooseRate(std::max(own.minimumSampleFrequency, limits.minimumSampleFrequency),
                   std::min(own.maximumSampleFrequency, limits.maximumSampleFrequency), rules.refusedRates);
    if (!rate) return std::nullopt;
    GUID subFormat = !IsWildcard(own.subFormat)      ? own.subFormat
                     : !IsWildcard(client.subFormat) ? client.subFormat
                                                     : KSDATAFORMAT_SUBTYPE_PCM;
    return ChosenFormat{subFormat, channels, highestBits, *rate};
}

// The lowest `channels` speaker positions of the pin's mask.
DWORD MaskOfFirstChannels(DWORD mask, ULONG channels)
{
    DWORD kept = 0;
    for (DWORD bit = 1; bit != 0 && channels > 0; bit <<= 1) {
        if (mask & bit) {
            kept |= bit;
            --channels;
        }
    }
    return kept;
}

std::vector<BYTE> FormatBytes(const ChosenFormat& chosen, const PinType& pin)
{
    const IntersectionAnswer& rules = pin.intersection;
    ULONG container = (chosen.bits + 7) / 8 * 8;
    if (rules.extensible && rules.widerSamplesIn32Bits && chosen.bits > 16) container = 32;
    ULONG rate = rules.zeroSampleRate ? 0 : chosen.rate;

    KsWaveFormatExtensible wave{};
    wave.formatTag = rules.extensible ? WaveFormatTagExtensible : WORD(chosen.subFormat.Data1);
    wave.channels = WORD(chosen.channels);
    wave.samplesPerSec = rate;
    wave.blockAlign = WORD(chosen.channels * container / 8);
    wave.avgBytesPerSec = rate * wave.blockAlign;
    wave.bitsPerSample = WORD(container);
    if (rules.extensible) {
        wave.extraSize = ExtensibleExtraSize;
        wave.validBitsPerSample = WORD(chosen.bits);
        wave.channelMask = MaskOfFirstChannels(pin.channelMask, chosen.channels);
        wave.subFormat = chosen.subFormat;
    }
    DWORD waveSize = rules.extensible ? sizeof(KsWaveFormatExtensible) : PlainWaveFormatSize;

    KsDataFormat header{};
    header.formatSize = sizeof(KsDataFormat) + waveSize;
    header.sampleSize = wave.blockAlign;
    header.majorFormat = KSDATAFORMAT_TYPE_AUDIO;
    header.subFormat = chosen.subFormat;
    header.specifier = KSDATAFORMAT_SPECIFIER_WAVEFORMATEX;
    std::vector<BYTE> bytes = BytesOf(header);
    AppendBytes(bytes, wave, waveSize);
    return bytes;
}

}  // namespace

PropertyAnswer AnswerDataIntersection(const PinType& pin, const BYTE* list, DWORD listSize, DWORD outputSize)
{
    std::vector<DataRange> clientRanges;
    if (DWORD error = ReadClientRanges(list, listSize, &clientRanges); error != ERROR_SUCCESS) return Failure(error);
    for (const DataRange& client : clientRanges)
        for (const DataRange& own : pin.dataRanges)
            if (std::optional<ChosenFormat> chosen = Intersect(own, client, pin.intersection))
                return SizedAnswer(FormatBytes(*chosen, pin), outputSize);
    return Failure(ERROR_NO_MATCH);
}

}  // namespace hardware_simulator
