#include "driver/engine/slab_memory.h"

#include "driver/core/active_pins.h"
#include "driver/engine/engine_state.h"

ChannelSlabBlock ChannelSlab;

ChannelSlabLayout HostSlabLayout(DWORD bufferSize)
{
    return MakeChannelSlabLayout(ChannelSlab.samples, bufferSize, OutputChannelCount, InputChannelCount);
}

bool AllocateChannelSlab(DWORD bufferSize)
{
    const SIZE_T words = SIZE_T(SlabWords(HostSlabLayout(bufferSize)));
    SIZE_T bytes = (words * sizeof(INT32) + PageSize - 1) / PageSize * PageSize;
    void* block = VirtualAlloc(nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (block == nullptr) return false;
    ChannelSlab = {static_cast<INT32*>(block), bytes / sizeof(INT32)};
    return true;
}

void FreeChannelSlab()
{
    if (ChannelSlab.samples != nullptr) VirtualFree(ChannelSlab.samples, 0, MEM_RELEASE);
    ChannelSlab = {};
}
