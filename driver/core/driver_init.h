// init: the driver's set-up for a host, from the settings to the numbered channels.
#pragma once

#include <windows.h>

#include "driver/core/asio_types.h"

// The sysHandle by which a configuration program asks for setup mode; only its low 32
// bits are compared.
constexpr DWORD SetupModeHandle = 0x7E5A90C3;

// Never fails: with no device the host gets two "Not Connected" inputs and outputs.
// A repeated init first disposes the buffers and closes every pin.
ASIOBool InitDriver(void* sysHandle);
