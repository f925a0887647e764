#include "driver/core/setup_interface.h"

#include "driver/core/active_pins.h"
#include "driver/core/com_objects.h"
#include "driver/core/driver_object.h"
#include "driver/core/module.h"
#include "driver/core/setup_values.h"
#include "driver/engine/pin_requests.h"

namespace {

LONG NoFurtherScan(void*)
{
    return 0;
}

ScanCallback volatile CurrentScanCallback = NoFurtherScan;
void* volatile ScanCallbackContext;
volatile LONG ScanCallbackBusy;

}  // namespace

bool RunScanCallback()
{
    InterlockedIncrement(&ScanCallbackBusy);
    LONG again = CurrentScanCallback(ScanCallbackContext);
    InterlockedDecrement(&ScanCallbackBusy);
    return again != 0;
}

namespace {

ScanCallback ExchangeScanCallback(ScanCallback callback, void* context)
{
    ScanCallbackContext = context;
    return __atomic_exchange_n(&CurrentScanCallback, callback != nullptr ? callback : NoFurtherScan, __ATOMIC_SEQ_CST);
}

}  // namespace

void ResetScanCallback()
{
    ExchangeScanCallback(nullptr, nullptr);
}

namespace {

LONG MEMBER_CALL GetInterfaceVersion(void*)
{
    return SetupInterfaceVersion;
}

HRESULT MEMBER_CALL Rescan(void*)
{
    if (ScanCallbackBusy != 0) return SETUP_E_BUSY;
    if (DriverState > DriverInitialised) return SETUP_E_ACTIVE;
    if (!ModuleStarted()) {
        StartModule();
        return S_OK;
    }
    // Checked again under the lock: a host's createBuffers or start that came in since
    // must find its pins and buffers as it left them. A new tree replaces the
    // records that open pins and the active pin list point to: those let go first, and
    // the host sees no channel until it initialises again.
    DriverLockGuard lock;
    if (DriverState > DriverInitialised) return SETUP_E_ACTIVE;
    if (DriverState == DriverInitialised) {
        CloseAllPins();
        ClearActivePins();
    }
    RescanDevices();
    return S_OK;
}

ScanCallback MEMBER_CALL SetCallback(void*, ScanCallback callback, void* context)
{
    return ExchangeScanCallback(callback, context);
}

HRESULT MEMBER_CALL GetDeviceValue(void*, LONG key, LONG device, void* value, ULONG size)
{
    return AccessDeviceValue(false, key, device, value, size);
}

HRESULT MEMBER_CALL SetDeviceValue(void*, LONG key, LONG device, void* value, ULONG size)
{
    return AccessDeviceValue(true, key, device, value, size);
}

HRESULT MEMBER_CALL GetFilterValue(void*, LONG key, LONG device, LONG filter, void* value, ULONG size)
{
    return AccessFilterValue(false, key, device, filter, value, size);
}

HRESULT MEMBER_CALL SetFilterValue(void*, LONG key, LONG device, LONG filter, void* value, ULONG size)
{
    return AccessFilterValue(true, key, device, filter, value, size);
}

HRESULT MEMBER_CALL GetPinValue(void*, LONG key, LONG device, LONG filter, LONG pin, void* value, ULONG size)
{
    return AccessPinValue(false, key, device, filter, pin, value, size);
}

HRESULT MEMBER_CALL SetPinValue(void*, LONG key, LONG device, LONG filter, LONG pin, void* value, ULONG size)
{
    return AccessPinValue(true, key, device, filter, pin, value, size);
}

}  // namespace

const SetupObjectTable SetupObjectMethods = {
    .QueryInterface = SharedQueryInterface,
    .AddRef = SharedAddRef,
    .Release = SharedRelease,
    .GetInterfaceVersion = GetInterfaceVersion,
    .Rescan = Rescan,
    .SetCallback = SetCallback,
    .GetDeviceValue = GetDeviceValue,
    .SetDeviceValue = SetDeviceValue,
    .GetFilterValue = GetFilterValue,
    .SetFilterValue = SetFilterValue,
    .GetPinValue = GetPinValue,
    .SetPinValue = SetPinValue,
};
