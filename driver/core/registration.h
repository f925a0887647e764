// Self-registration as a COM in-process server and as an ASIO driver, in the
// registry view of the calling process.
#pragma once

#include <windows.h>

HRESULT RegisterDriver();
HRESULT UnregisterDriver();
