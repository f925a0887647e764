// Running: the streaming thread exists exactly while the driver is running. Both
// routines run under the driver lock; while they wait for a thread to end they release
// it, so that the host's bufferSwitch may call into the driver meanwhile.
#pragma once

#include "driver/core/asio_types.h"

// Prepared or running to running, with a fresh thread and the switch count at 0.
// ASE_NotPresent without buffers, ASE_NoMemory when no thread could be created.
ASIOError StartRunning();

// Running to prepared, no thread streaming and the switch count at 0; nothing otherwise.
// From inside the host's bufferSwitch the stream ends there and its thread leaves when
// the callback returns.
void StopRunning();
