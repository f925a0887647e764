#include "driver/engine/engine_state.h"

DWORD RequestedHostRate = 44100;
DWORD ActiveHostRate = 44100;
DWORD RequestedBufferSize = 256;
DWORD ActiveBufferSize = 256;
DWORD ConfigurationMinimumRate = 0;
DWORD ConfigurationMaximumRate = 0xFFFFFFFF;
bool Convert44100To48000;
DWORD PacketsInFlight = 2;
DWORD BlocksPerLargePacket = 32;
DWORD StartDelayMs;
PinModeCounts ActivePinModes;
bool AudioDisabled;
LockedBlock PacketMemory;
LockedBlock HistoryMemory;
