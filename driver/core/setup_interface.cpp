#include "driver/core/setup_interface.h"

#include "driver/core/com_objects.h"
#include "driver/core/driver_object.h"
#include "driver/core/module.h"

static LONG NoFurtherScan(void*)
{
    return 0;
}

static ScanCallback volatile CurrentScanCallback = NoFurtherScan;
static void* volatile ScanCallbackContext;
static volatile LONG ScanCallbackBusy;

bool RunScanCallback()
{
    InterlockedIncrement(&ScanCallbackBusy);
    LONG again = CurrentScanCallback(ScanCallbackContext);
    InterlockedDecrement(&ScanCallbackBusy);
    return again != 0;
}

static ScanCallback ExchangeScanCallback(ScanCallback callback, void* context)
{
    ScanCallbackContext = context;
    return __atomic_exchange_n(&CurrentScanCallback, callback != nullptr ? callback : NoFurtherScan,
                               __ATOMIC_SEQ_CST);
}

void ResetScanCallback()
{
    ExchangeScanCallback(nullptr, nullptr);
}

static LONG MEMBER_CALL GetInterfaceVersion(void*)
{
    return SetupInterfaceVersion;
}

static HRESULT MEMBER_CALL Rescan(void*)
{
    if (ScanCallbackBusy != 0) return SETUP_E_BUSY;
    if (DriverState > DriverInitialised) return SETUP_E_ACTIVE;
    if (ModuleStarted())
        RescanDevices();
    else
        StartModule();
    return S_OK;
}

static ScanCallback MEMBER_CALL SetCallback(void*, ScanCallback callback, void* context)
{
    return ExchangeScanCallback(callback, context);
}

// Settings of devices, filters and pins arrive with the device tree.
static HRESULT MEMBER_CALL DeviceValue(void*, LONG, LONG, void*, ULONG)
{
    return E_NOTIMPL;
}

static HRESULT MEMBER_CALL FilterValue(void*, LONG, LONG, LONG, void*, ULONG)
{
    return E_NOTIMPL;
}

static HRESULT MEMBER_CALL PinValue(void*, LONG, LONG, LONG, LONG, void*, ULONG)
{
    return E_NOTIMPL;
}

const SetupObjectTable SetupObjectMethods = {
    .QueryInterface = SharedQueryInterface,
    .AddRef = SharedAddRef,
    .Release = SharedRelease,
    .GetInterfaceVersion = GetInterfaceVersion,
    .Rescan = Rescan,
    .SetCallback = SetCallback,
    .GetDeviceValue = DeviceValue,
    .SetDeviceValue = DeviceValue,
    .GetFilterValue = FilterValue,
    .SetFilterValue = FilterValue,
    .GetPinValue = PinValue,
    .SetPinValue = PinValue,
};
