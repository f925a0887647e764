// The sample rates the driver offers a host: whole rates of the usual families, inside
// the range that every active pin accepts.
#pragma once

#include <windows.h>

#include "driver/core/asio_types.h"
#include "driver/core/device_tree.h"

constexpr DWORD LowestOfferedRate = 8000;
constexpr DWORD HighestOfferedRate = 768000;

// The rate rounded to whole hertz. False for what no device runs at: NaN, infinities,
// and anything outside LowestOfferedRate to HighestOfferedRate.
bool RoundSampleRate(ASIOSampleRate rate, DWORD* rounded);

// Below 44100 Hz a multiple of 8000 or 11025, from 44100 Hz on a multiple of 44100 or
// 48000, and inside the rate range.
bool IsOfferedSampleRate(DWORD rate);

// Narrows the rate range to what the pin accepts. Its lowest rate counts as at most
// 44100 Hz: a pin that cannot go that low runs at 48000 Hz and is converted.
void NarrowRateRange(const PinRecord* pin);

// The rate that brings `rate` into the range: the highest when it is above, the lowest
// when it is below; 0 when it is inside.
DWORD RateIntoRange(DWORD rate);
