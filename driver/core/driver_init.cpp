#include "driver/core/driver_init.h"

#include "driver/core/active_pins.h"
#include "driver/core/crash_recovery.h"
#include "driver/core/diagnostic_log.h"
#include "driver/core/driver_object.h"
#include "driver/core/host_buffers.h"
#include "driver/core/module.h"
#include "driver/core/sample_rates.h"
#include "driver/core/settings.h"
#include "driver/engine/buffer_switch.h"
#include "driver/engine/cache_flush.h"
#include "driver/engine/engine_state.h"
#include "driver/engine/pin_requests.h"
#include "driver/engine/stream_setup.h"
#include "driver/engine/streaming_thread.h"
#include "driver/ui/tray_icon.h"

namespace {

// Claimed by the first init in the process and never cleared: the settings, processor
// features and events of that init serve every later driver object. An init on another
// thread meanwhile waits until they exist.
volatile LONG InitialisedOnce;
constexpr LONG FirstInitClaimed = 1;
constexpr LONG FirstInitDone = 2;

void PrepareFirstInit()
{
    {
        DriverLockGuard lock;
        LoadGlobalSettings();
    }
    // Outside the lock: the warning waits for the user.
    ArmCrashGuard();
    ReadProcessorFeatures();
    CreateStreamingEvents();
}

void EnsureFirstInit()
{
    LONG previous = __atomic_fetch_or(&InitialisedOnce, FirstInitClaimed, __ATOMIC_SEQ_CST);
    if (!(previous & FirstInitClaimed)) {
        PrepareFirstInit();
        __atomic_fetch_or(&InitialisedOnce, FirstInitDone, __ATOMIC_SEQ_CST);
        return;
    }
    while (!(__atomic_load_n(&InitialisedOnce, __ATOMIC_SEQ_CST) & FirstInitDone)) Sleep(1);
}

// A stored rate that no device runs at (0, or what a damaged value holds) would stall
// or race the host's clock: the driver starts from the default rate instead.
void RepairStoredSampleRate()
{
    if (GlobalSampleRate < LowestOfferedRate || GlobalSampleRate > HighestOfferedRate)
        GlobalSampleRate = DefaultSampleRate;
}

// The streams open at a rate that every enabled pin accepts.
void FitStreamRateToEnabledPins()
{
    ConfigurationMinimumRate = 0;
    ConfigurationMaximumRate = 0xFFFFFFFF;
    WalkTree(
        [](DeviceRecord* device, FilterRecord* filter, PinRecord* pin, void*) {
            if (device->flags & filter->flags & pin->flags & RecordEnabled) NarrowRateRange(pin);
        },
        nullptr);
    if (ConfigurationMaximumRate < ConfigurationMinimumRate) return;
    DWORD fitted = RateIntoRange(ActiveHostRate);
    if (fitted != 0) ActiveHostRate = GlobalSampleRate = RequestedHostRate = fitted;
}

}  // namespace

ASIOBool InitDriver(void* sysHandle)
{
    SetupModeSwitch = IsSetupModeHandle(sysHandle);
    TrayAddIcon();
    EnsureFirstInit();

    // One hold of the lock from the previous session's end to the new channels: an init
    // on another thread meanwhile finds the pins closed or open, never half of either.
    {
        DriverLockGuard lock;
        DisposeHostBuffers();
        CloseAllPins();
        ClearChannelMaps();
        __atomic_fetch_and(&InSwitchFlag, ~SwitchInProgress, __ATOMIC_SEQ_CST);
        RepairStoredSampleRate();
        FitStreamRateToEnabledPins();
        SetUpStreams();
        RegisterOpenPins();
        // The host is offered the stored rate, or the nearest end of what the pins accept.
        DWORD fitted = RateIntoRange(GlobalSampleRate);
        if (fitted != 0) GlobalSampleRate = fitted;
        RequestedHostRate = GlobalSampleRate;
        DriverState = DriverInitialised;
        DiagnosticLine("init%s: host rate %lu Hz", SetupModeSwitch ? " in setup mode" : "", GlobalSampleRate);
        TrayNotifyState();
    }
    InterlockedExchange(&SwitchCounter, 0);
    return ASIOTrue;
}
