#include "driver/engine/packet_frames.h"

#include "driver/engine/conversion/rate_tables.h"
#include "driver/engine/engine_state.h"
#include "driver/engine/stream_flags.h"

// Frames of the next of 147 packets of a converting pin: the rate-table index runs on
// across packets and wraps at the end of the converter's period.
static DWORD NextTableFrames(PinRecord* pin, const std::uint32_t* table)
{
    DWORD index = pin->rateTableIndex < 147 ? pin->rateTableIndex : 0;
    pin->rateTableIndex = index + 1;
    return table[index];
}

DWORD PacketFrames(PinRecord* pin)
{
    const KsWaveFormatExtensible* wave = PinWaveFormat(pin);
    const bool converting = wave->samplesPerSec != ActiveHostRate;
    const FrameTables& tables = RateFrameTables();
    if (!(pin->streamFlags & LargePacketMode))
        return converting ? NextTableFrames(pin, tables.blockFrames) : ActiveBufferSize;

    DWORD frames = converting ? NextTableFrames(pin, tables.largePacketFrames) : ActiveBufferSize * BlocksPerLargePacket;
    // Each pair of packets is one contiguous ring around the middle of the area: the even
    // packet ends at the middle, the odd one starts there.
    DWORD bytes = frames * wave->blockAlign;
    BYTE* middle = pin->packetData[1];
    if (pin->submittedCount % 2 == 0)
        pin->packetData[2] = middle - bytes;
    else
        pin->packetData[3] = middle + bytes;
    return frames;
}
