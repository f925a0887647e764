#include "driver/engine/conversion/packet_frames.h"

#include <cstddef>

#include "driver/engine/conversion/rate_tables.h"

namespace {

std::uint32_t NextTableEntry(const std::uint32_t* table, std::uint32_t& index)
{
    const std::uint32_t entry = index < PeriodHostFrames ? index : 0;
    index = entry + 1;
    return table[entry];
}

}  // namespace

std::uint32_t PacketFrames(const HostStream& host, ConversionPin& pin)
{
    const bool converting = UsesRateConverter(pin.sampleRate, host.hostRate);
    const FrameTables& tables = RateFrameTables();
    if (!pin.largePacketMode) {
        return converting ? NextTableEntry(tables.blockFrames, pin.rateTableIndex) : host.slab.runLength;
    }
    const std::uint32_t frames = converting ? NextTableEntry(tables.largePacketFrames, pin.rateTableIndex)
                                            : host.slab.runLength * host.blocksPerLargePacket;
    const std::size_t bytes = std::size_t{frames} * pin.blockAlign;
    std::uint8_t* middle = pin.packetData[1];
    if (pin.submittedCount % 2 == 0) {
        pin.packetData[2] = middle - bytes;
    } else {
        pin.packetData[3] = middle + bytes;
    }
    return frames;
}
