#include "driver/core/run_control.h"

#include "driver/core/driver_object.h"
#include "driver/core/settings.h"
#include "driver/engine/buffer_switch.h"
#include "driver/engine/starvation_watchdog.h"
#include "driver/engine/streaming_thread.h"
#include "driver/ui/tray_icon.h"

ASIOError StartRunning()
{
    if (DriverState < DriverPrepared) return ASE_NotPresent;
    StopRunning();
    // The buffers may have gone while the old thread was waited for.
    if (DriverState < DriverPrepared) return ASE_NotPresent;
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
    // Each wait releases the driver lock, and a start on another thread may have made a
    // new thread meanwhile: the caller goes on only when none streams.
    while (StreamingThreadExists()) StopStreaming();
    if (DriverState != DriverRunning) return;
    DriverState = DriverPrepared;
    TrayNotifyState();
    InterlockedExchange(&SwitchCounter, 0);
    StopWatchdog();
}
