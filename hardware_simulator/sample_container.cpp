#include "hardware_simulator/sample_container.h"

namespace hardware_simulator {

// The most significant byte comes last; bytes below the top four are beyond 32 bits.
INT32 ReadSample(const BYTE* sample, ULONG containerBytes)
{
    if (containerBytes == 1) return INT32(UINT32(sample[0] ^ 0x80) << 24);
    UINT32 value = 0;
    for (ULONG fromTop = 0; fromTop < containerBytes && fromTop < 4; ++fromTop)
        value |= UINT32(sample[containerBytes - 1 - fromTop]) << (24 - 8 * fromTop);
    return INT32(value);
}

void WriteSample(BYTE* sample, ULONG containerBytes, INT32 value)
{
    auto bits = UINT32(value);
    if (containerBytes == 1) {
        sample[0] = BYTE((bits >> 24) ^ 0x80);
        return;
    }
    for (ULONG fromTop = 0; fromTop < containerBytes; ++fromTop)
        sample[containerBytes - 1 - fromTop] = fromTop < 4 ? BYTE(bits >> (24 - 8 * fromTop)) : 0;
}

}  // namespace hardware_simulator
