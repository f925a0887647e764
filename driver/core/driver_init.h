// init: the driver's set-up for a host, from the settings to the numbered channels.
#pragma once

#include <windows.h>

#include "driver/core/asio_types.h"
#include "driver/core/setup_contract.h"

// True for the sysHandle (or owner window) by which a configuration program asks for
// setup mode.
inline bool IsSetupModeHandle(const void* handle)
{
    return DWORD(reinterpret_cast<UINT_PTR>(handle)) == SetupModeHandle;
}

// Never fails: with no device the host gets two "Not Connected" inputs and outputs.
// A repeated init first disposes the buffers and closes every pin.
ASIOBool InitDriver(void* sysHandle);
