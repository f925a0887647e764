// What the processor offers the conversion kernels, asked once.
#pragma once

// AVX2, with the operating system saving the wide registers.
bool ProcessorHasAvx2();
