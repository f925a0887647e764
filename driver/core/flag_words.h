// Every bit of the driver's flag words. A record's flag word (device, filter and pin,
// stored as its "Flags" setting): bit 31 is the user's selection, bits 28 to 30 and bit
// 19 describe the running system, and the stream mode bits below 28 combine into each
// open pin's StreamFlags, which also carries the marks stream set-up and the streaming
// thread add. The global flag word is the global "Flags" setting. The values are stored
// in the registry: they never change.
#pragma once

#include <windows.h>

// Record flags.
constexpr DWORD RecordEnabled = 0x80000000;     // bit 31: selected by the user (persistent)
constexpr DWORD PinInstanceFree = 0x40000000;   // bit 30: the pin has an instance to spare
constexpr DWORD RecordOpenFailed = 0x20000000;  // bit 29: the last open of this record failed
constexpr DWORD RecordOpen = 0x10000000;        // bit 28: in use by the streams
constexpr DWORD RecordRealTime = 0x00080000;    // bit 19: a WaveRT filter, or a device with one
constexpr DWORD RecordRunTimeMarks = RecordOpenFailed | RecordOpen;
// Record bits that describe the running system, never the user's choice: they are not
// saved, and loading keeps the record's own.
constexpr DWORD RecordRunTimeFlags = PinInstanceFree | RecordRunTimeMarks | RecordRealTime;

// Stream mode bits (StreamFlags).
constexpr DWORD LargePacketMode = 0x00010000;      // two packets of up to 8192 frames
constexpr DWORD Prefer48k = 0x00020000;            // run at 48000 Hz under a 44100 Hz host
constexpr DWORD Force16Bit = 0x00040000;           // offer only 16-bit containers
constexpr DWORD LoopedMode = 0x00080000;           // a looped real-time buffer instead of packets
constexpr DWORD MemoryBarrierNeeded = 0x00100000;  // the looped buffer is write-combined
constexpr DWORD NotifyAllowed = 0x00200000;        // the looped buffer may notify by events
constexpr DWORD OffsetMeasured = 0x01000000;       // a large-packet pin's offset to the master is known
constexpr DWORD DryQueueTolerated = 0x02000000;    // an empty render queue is no underrun

// The device and filter bits that reach a pin's StreamFlags.
constexpr DWORD InheritedStreamFlags = LargePacketMode | Prefer48k | Force16Bit | LoopedMode | NotifyAllowed;

// A real-time filter's record bit is the looped mode of its pins' streams: stream set-up
// passes a filter's RecordRealTime on as LoopedMode.
static_assert(RecordRealTime == LoopedMode, "a real-time filter streams looped");

// Device bits that the OEM default flags ($DFL) may let survive the reset of a device
// record to its defaults.
constexpr DWORD OemKeptDeviceFlags = Prefer48k | Force16Bit;

// Global flags.
constexpr DWORD GlobalFlagStarvationWatchdog = 0x0001;
constexpr DWORD GlobalFlagCrashGuard = 0x0002;
constexpr DWORD GlobalFlagTrayIconHidden = 0x0004;
constexpr DWORD GlobalFlagInputsOff = 0x2000;    // no capture pin is offered to the host
constexpr DWORD GlobalFlagCrashMarker = 0x4000;  // set while a host holds the driver initialised
constexpr DWORD GlobalFlagBalloonsOff = 0x8000;
