// The formats a pin's hardware takes at pin creation, as data that a profile or a test
// fills in, and the check a kernel driver makes of a client's data format against them.
#pragma once

#include <windows.h>

#include <vector>

#include "hardware_simulator/pin_format.h"

namespace hardware_simulator {

// A channel count and the speaker positions (dwChannelMask) that go with it.
struct ChannelLayout {
    WORD channels = 2;
    DWORD mask = 0;
};

// How the driver judges the dwChannelMask of an extensible format. Plain PCM carries no
// mask and fits any layout of its channel count.
enum class ChannelMaskRule {
    ZeroOrLayout,  // USB audio class driver: no positions (0) or exactly the layout's
    ExactLayout,   // WaveRT miniports: exactly the layout's positions
};

// Which KSDATAFORMAT.SampleSize values the driver takes.
enum class SampleSizeRule {
    ZeroOrBlockAlign,
    ZeroOnly,
    BlockAlignOnly,
};

// One family of formats: samples of `validBits` in `containerBits`, in any of the
// layouts, at any of the rates.
struct AcceptedFormat {
    bool plain = false;       // as WAVE_FORMAT_PCM (FormatSize 82); needs validBits == containerBits
    bool extensible = true;   // as WAVE_FORMAT_EXTENSIBLE (FormatSize 104) with PCM samples
    WORD containerBits = 16;  // wBitsPerSample
    WORD validBits = 16;      // wValidBitsPerSample
    std::vector<ChannelLayout> layouts;
    std::vector<DWORD> rates;
};

struct FormatRules {
    std::vector<AcceptedFormat> accepted;  // empty: every format is refused
    ChannelMaskRule maskRule = ChannelMaskRule::ZeroOrLayout;
    SampleSizeRule sampleSize = SampleSizeRule::ZeroOrBlockAlign;
    DWORD refusal = ERROR_INVALID_PARAMETER;  // the error of any format not taken
};

// ERROR_SUCCESS when `format` is a well-formed PCM audio format the rules take, else
// their refusal: a malformed format is refused like one the hardware cannot play.
DWORD CheckFormat(const FormatRules& rules, const PinFormat& format);

}  // namespace hardware_simulator
