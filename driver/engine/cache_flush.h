// Cache flushing for memory that the device reads behind the processor's back.
#pragma once

#include <windows.h>

// Reads CPUID leaf 1 once, at the driver's first initialisation.
void ReadProcessorFeatures();
bool ProcessorHasCacheFlush();

// Writes the cache lines of [start, end) back to memory (nothing without CLFLUSH).
void FlushCacheRange(const void* start, const void* end);
