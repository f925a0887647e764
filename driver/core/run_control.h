// Running: the streaming thread exists exactly while the driver is running. Both
// routines run under the driver lock.
#pragma once

#include "driver/core/asio_types.h"

// Prepared or running to running, with a fresh thread and the switch count at 0.
// ASE_NotPresent without buffers, ASE_NoMemory when no thread could be created.
ASIOError StartRunning();

// Running to prepared, the thread ended and the switch count at 0; nothing otherwise.
void StopRunning();
