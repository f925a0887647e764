#include "driver/engine/cache_flush.h"

#include <cpuid.h>

namespace {

unsigned ProcessorEbx;
unsigned ProcessorEdx;

}  // namespace

void ReadProcessorFeatures()
{
    unsigned eax, ecx;
    if (!__get_cpuid(1, &eax, &ProcessorEbx, &ecx, &ProcessorEdx)) ProcessorEbx = ProcessorEdx = 0;
}

bool ProcessorHasCacheFlush()
{
    return (ProcessorEdx >> 19) & 1;
}

void FlushCacheRange(const void* start, const void* end)
{
    if (!ProcessorHasCacheFlush()) return;
    ULONG_PTR line = ((ProcessorEbx >> 8) & 0xFF) * 8;
    if (line == 0) return;
    asm volatile("mfence" ::: "memory");
    ULONG_PTR first = reinterpret_cast<ULONG_PTR>(start) / line * line;
    ULONG_PTR last = (reinterpret_cast<ULONG_PTR>(end) + line - 1) / line * line;
    for (ULONG_PTR address = first; address < last; address += line)
        asm volatile("clflush %0" ::"m"(*reinterpret_cast<const volatile char*>(address)));
}
