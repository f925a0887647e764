// The memory of the ChannelSlab: one block of 32-bit samples shared with the host, a
// run of one buffer per channel, every output channel first and every input channel
// after them.
#pragma once

#include <windows.h>

struct ChannelSlabBlock {
    INT32* samples;  // null while the host has no buffers
    SIZE_T words;
};
extern ChannelSlabBlock ChannelSlab;

// Runs of `bufferSize` samples for `channels` channels, in page-rounded committed
// memory. False when the system has no memory for it.
bool AllocateChannelSlab(DWORD channels, DWORD bufferSize);
void FreeChannelSlab();
