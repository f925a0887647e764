#include "driver/engine/conversion/processor_features.h"

bool ProcessorHasAvx2() {
    static const bool hasAvx2 = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    return hasAvx2;
}
