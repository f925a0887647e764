#include "driver/engine/conversion/processor_features.h"

// The runtime reads the processor's features once, before any code of ours runs, and a
// repeated init only returns; so every call asks afresh, and no function-local static
// needs a thread-safe guard (whose runtime would pull the thread library into the DLL).
bool ProcessorHasAvx2()
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
}
