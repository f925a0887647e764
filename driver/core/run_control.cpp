#include "driver/core/run_control.h"

#include "driver/core/driver_object.h"
#include "driver/core/settings.h"
#include "driver/engine/starvation_watchdog.h"
#include "driver/engine/streaming_thread.h"
#include "driver/ui/tray_icon.h"

ASIOError StartRunning()
{
    if (DriverState < DriverPrepared) return ASE_NotPresent;
    StopRunning();
    InterlockedExchange(&SwitchCounter, 0);
    if (GlobalSettingsFlags & GlobalFlagStarvationWatchdog) StartWatchdog();
    if (!StartStreaming()) {
        StopWatchdog();
        return ASE_NoMemory;
    }
    DriverState = DriverRunning;
    TrayNotifyState();
    TrayArmTimer();
    return ASE_OK;
}

void StopRunning()
{
    if (DriverState != DriverRunning) return;
    StopStreaming();
    DriverState = DriverPrepared;
    TrayNotifyState();
    InterlockedExchange(&SwitchCounter, 0);
    StopWatchdog();
}
