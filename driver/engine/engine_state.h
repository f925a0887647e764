// The streaming engine's driver-wide rates, sizes, configuration and memory.
#pragma once

#include <windows.h>

extern DWORD RequestedHostRate;    // what the host asked for (settings, setSampleRate)
extern DWORD ActiveHostRate;       // what the stream runs at; changed by the rate fallback
extern DWORD RequestedBufferSize;  // frames per host block, from createBuffers
extern DWORD ActiveBufferSize;     // frames per host block while streaming

// Rate range of the selected pins, computed when the configuration is built.
extern DWORD ConfigurationMinimumRate;
extern DWORD ConfigurationMaximumRate;
// Some selected pin prefers or needs 48000 Hz: a 44100 Hz host is converted.
extern bool Convert44100To48000;
// Largest kernel-buffer count of the standard render pins, at least 2.
extern DWORD PacketsInFlight;
extern DWORD BlocksPerLargePacket;
// Milliseconds from the stream's start to its first complete set of capture packets,
// when below 200; the loop converters shift their position by it.
extern DWORD StartDelayMs;

// Active pins of the configuration by mode and direction.
struct PinModeCounts {
    DWORD standardRender;
    DWORD standardCapture;
    DWORD largePacketRender;
    DWORD largePacketCapture;
    DWORD loopedRender;
    DWORD loopedCapture;
};
extern PinModeCounts ActivePinModes;

// Set by the improper-shutdown guard: no pin is opened.
extern bool AudioDisabled;

// The system's memory page: the engine commits, locks and sizes its memory in pages.
constexpr DWORD PageSize = 4096;

// The engine's two locked memory blocks.
struct LockedBlock {
    BYTE* base;
    SIZE_T size;
};
extern LockedBlock PacketMemory;
extern LockedBlock HistoryMemory;
