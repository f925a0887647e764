// StreamFlags: a pin's stream mode, combined from the flag words of its device, filter
// and pin (stored with the settings) and from what set-up learns. The bits are in
// flag_words.h with every other flag word's.
#pragma once

#include <windows.h>

#include "driver/core/flag_words.h"

inline bool IsStandardMode(DWORD streamFlags)
{
    return (streamFlags & (LoopedMode | LargePacketMode)) == 0;
}
