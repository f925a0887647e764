#include "driver/engine/host_callbacks.h"

#include "driver/core/driver_object.h"

ASIOCallbacks HostCallbacks;

void RequestHostReset()
{
    auto asioMessage = HostCallbacks.asioMessage;
    if (DriverState >= DriverInitialised && asioMessage != nullptr) asioMessage(kAsioResetRequest, 0, nullptr, nullptr);
}
