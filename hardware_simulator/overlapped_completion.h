// Completing overlapped I/O as the I/O manager does: the NTSTATUS goes to Internal, the
// byte count to InternalHigh, and the OVERLAPPED's event is signalled.
#pragma once

#include <windows.h>

namespace hardware_simulator {

constexpr ULONG_PTR StatusSuccess = 0;
constexpr ULONG_PTR StatusPending = 0x103;
constexpr ULONG_PTR StatusBufferOverflow = 0x80000005;      // a warning: ERROR_MORE_DATA
constexpr ULONG_PTR StatusCancelled = 0xC0000120;           // ERROR_OPERATION_ABORTED
constexpr ULONG_PTR StatusDeviceNotConnected = 0xC000009D;  // ERROR_DEVICE_NOT_CONNECTED

// The lowest bit of hEvent only asks not to notify a completion port.
void CompleteOverlapped(OVERLAPPED* overlapped, ULONG_PTR status, ULONG_PTR bytes);

}  // namespace hardware_simulator
