// One switch of the host's double buffer: capture converted into the host's inputs, the
// host's bufferSwitch, and the host's outputs converted and sent to the device, by the
// streaming thread or by the host's outputReady, which meets the switch at InSwitchFlag.
#pragma once

#include <windows.h>

#include "driver/core/asio_types.h"

// Switches shown to the host since start; its low bit is the buffer index passed with
// bufferSwitch. Changed atomically, read without a lock by getSamplePosition.
extern volatile LONG SwitchCounter;
// Bit 0 is set just before bufferSwitch; whoever clears it first sends that switch's
// outputs, the host's outputReady or the thread after bufferSwitch returns. Bit 1 is set
// while a host thread's outputReady sends them: the thread does not leave the switch
// before it is clear.
extern volatile LONG InSwitchFlag;
constexpr LONG SwitchInProgress = 1;
constexpr LONG HostSendsOutputs = 2;

// Converts capture, calls the host's bufferSwitch (once priming is over) and sends the
// outputs unless the host already did. Streaming thread only. `notifiedBlocksLost`: a
// late wake-up found the device writing again where the notifying capture pins' blocks
// lay, and the host hears silence there.
void DoSwitch(bool notifiedBlocksLost = false);
// The switch the host hears of first: those before it prime the device.
DWORD FirstHostSwitch();
// Returns once no host thread's outputReady is sending outputs.
void AwaitHostOutputs();

// The host's outputReady: during a bufferSwitch, sends that switch's outputs unless they
// were sent, and counts the switch; at any other time does nothing. Always answers
// ASE_NotPresent.
ASIOError FinishOutputs();
