// Packet sizes: every packet holds exactly the device frames its host blocks convert to.
#pragma once

#include <cstdint>

#include "driver/engine/conversion/conversion_pin.h"

// Frames of the pin's next packet, asked before it is submitted. Standard pins: one block,
// or through the rate converter the BlockFrameTable entry at the rate-table index (0 once
// it reaches 147), which then advances. Large-packet pins: blocks per large packet blocks,
// or the LargePacketFrameTable entry by the same rule; then the packet is placed against
// the middle of the area: an even submitted count moves slot 2's start to the middle minus
// the packet, an odd one moves the ring end to the middle plus the packet.
std::uint32_t PacketFrames(const HostStream& host, ConversionPin& pin);
