#include "hardware_simulator/overlapped_completion.h"

namespace hardware_simulator {

void CompleteOverlapped(OVERLAPPED* overlapped, ULONG_PTR status, ULONG_PTR bytes)
{
    overlapped->Internal = status;
    overlapped->InternalHigh = bytes;
    auto event = reinterpret_cast<ULONG_PTR>(overlapped->hEvent) & ~ULONG_PTR(1);
    if (event != 0) SetEvent(reinterpret_cast<HANDLE>(event));
}

}  // namespace hardware_simulator
