// StreamFlags: a pin's stream mode, combined from the flag words of its device, filter
// and pin (stored with the settings) and from what set-up learns.
#pragma once

#include <windows.h>

constexpr DWORD LargePacketMode = 0x10000;      // two packets of up to 8192 frames
constexpr DWORD Prefer48k = 0x20000;            // run at 48000 Hz under a 44100 Hz host
constexpr DWORD Force16Bit = 0x40000;           // offer only 16-bit containers
constexpr DWORD LoopedMode = 0x80000;           // a looped real-time buffer instead of packets
constexpr DWORD MemoryBarrierNeeded = 0x100000; // the looped buffer is write-combined
constexpr DWORD NotifyAllowed = 0x200000;       // the looped buffer may notify by events
constexpr DWORD OffsetMeasured = 0x1000000;
constexpr DWORD DryQueueTolerated = 0x2000000;

// The device and filter bits that reach a pin's StreamFlags.
constexpr DWORD InheritedStreamFlags = 0x2F0000;

inline bool IsStandardMode(DWORD streamFlags)
{
    return (streamFlags & (LoopedMode | LargePacketMode)) == 0;
}
