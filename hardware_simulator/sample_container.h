// Samples in a pin's container (8-bit unsigned, 16, 24 or 32-bit signed, little-endian)
// as left-justified 32-bit values: a narrower container keeps the top bits.
#pragma once

#include <windows.h>

namespace hardware_simulator {

INT32 ReadSample(const BYTE* sample, ULONG containerBytes);
void WriteSample(BYTE* sample, ULONG containerBytes, INT32 value);

}  // namespace hardware_simulator
