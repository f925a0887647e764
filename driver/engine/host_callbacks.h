// The host's callbacks, given with its buffers, and the one message the driver sends.
#pragma once

#include "driver/core/asio_types.h"

// Copied by createBuffers; the streaming thread calls bufferSwitch only.
extern ASIOCallbacks HostCallbacks;

// Asks the host to reset the driver (kAsioResetRequest), after which it initialises it
// again and picks up a new buffer size. Only a host that gave an asioMessage and holds
// the driver initialised is asked. Call it outside the driver lock: the host may call
// back into the driver from it.
void RequestHostReset();
