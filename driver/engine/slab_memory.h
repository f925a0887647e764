// The memory of the ChannelSlab: one block of 32-bit samples shared with the host, laid
// out for the active pins' host channels as ChannelSlabLayout describes. The host's
// buffer addresses, the slab's size and the converters' runs all come from HostSlabLayout.
#pragma once

#include <windows.h>

#include "driver/engine/conversion/channel_slab.h"

struct ChannelSlabBlock {
    INT32* samples;  // null while the host has no buffers
    SIZE_T words;    // committed: the layout's words rounded up to whole pages
};
extern ChannelSlabBlock ChannelSlab;

// The slab with runs of `bufferSize` samples for the active pins' output and input
// channels, over the slab's present memory.
ChannelSlabLayout HostSlabLayout(DWORD bufferSize);

// Committed memory for HostSlabLayout(bufferSize). False when the system has no memory
// for it.
bool AllocateChannelSlab(DWORD bufferSize);
void FreeChannelSlab();
