// The WinMM mode of the back-end (Windows XP and every system not classed as Vista or 7):
// the QORDA-8's line-in source line (input) and speakers destination line (output) on
// the first mixer whose name contains the device name. No mixer stays open between calls.
#pragma once

#include "volume_panel/backend/direction.h"

#include <juce_core/juce_core.h>

#include <windows.h>

#include <optional>

namespace volume::winmm {

// The lowest-numbered mixer whose product name contains deviceName (case-sensitive, in
// the ANSI code page) and whose line for the direction can be read completely.
std::optional<UINT> findMixer(const juce::String& deviceName, Direction direction);

// Reads the line's level (mixer value / 65535) and mute (true only for the value 1).
// On failure the result is false; level and mute are 0.0 and false unless already read.
bool readMixerLine(UINT mixerIndex, Direction direction, float& level, bool& mute);

// Writes level × 65535, truncated, and the mute; true only if both were written.
bool writeMixerLine(UINT mixerIndex, float level, bool mute, Direction direction);

}  // namespace volume::winmm
