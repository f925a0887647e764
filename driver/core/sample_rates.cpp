#include "driver/core/sample_rates.h"

#include "driver/engine/engine_state.h"

namespace {

constexpr DWORD ConvertedRate = 44100;

}  // namespace

bool RoundSampleRate(ASIOSampleRate rate, DWORD* rounded)
{
    // Written so that NaN fails the comparison too.
    if (!(rate >= LowestOfferedRate - 0.5 && rate < HighestOfferedRate + 0.5)) return false;
    *rounded = DWORD(rate + 0.5);
    return true;
}

bool IsOfferedSampleRate(DWORD rate)
{
    bool usual = rate < 44100 ? (rate % 8000 == 0 || rate % 11025 == 0) : (rate % 44100 == 0 || rate % 48000 == 0);
    return usual && rate >= ConfigurationMinimumRate && rate <= ConfigurationMaximumRate;
}

void NarrowRateRange(const PinRecord* pin)
{
    DWORD lowest = pin->lowestRate;
    if (lowest > ConvertedRate) {
        lowest = ConvertedRate;
        Convert44100To48000 = true;
    }
    if (lowest > ConfigurationMinimumRate) ConfigurationMinimumRate = lowest;
    if (pin->highestRate < ConfigurationMaximumRate) ConfigurationMaximumRate = pin->highestRate;
}

DWORD RateIntoRange(DWORD rate)
{
    if (ConfigurationMaximumRate < rate) return ConfigurationMaximumRate;
    if (ConfigurationMinimumRate > rate) return ConfigurationMinimumRate;
    return 0;
}
