// IDriverSetup: the private interface through which configuration programs browse
// and change the device tree's settings and are called back after each scan.
#pragma once

#include <windows.h>

#include "driver/core/com_abi.h"
#include "driver/core/setup_contract.h"

// Called at the end of each scan pass; nonzero asks for another pass.
typedef LONG (*ScanCallback)(void* context);

struct SetupObjectTable {
    HRESULT(STDMETHODCALLTYPE* QueryInterface)(void*, REFIID, void**);
    ULONG(STDMETHODCALLTYPE* AddRef)(void*);
    ULONG(STDMETHODCALLTYPE* Release)(void*);
    LONG(MEMBER_CALL* GetInterfaceVersion)(void*);
    HRESULT(MEMBER_CALL* Rescan)(void*);
    ScanCallback(MEMBER_CALL* SetCallback)(void*, ScanCallback callback, void* context);
    HRESULT(MEMBER_CALL* GetDeviceValue)(void*, LONG key, LONG device, void* value, ULONG size);
    HRESULT(MEMBER_CALL* SetDeviceValue)(void*, LONG key, LONG device, void* value, ULONG size);
    HRESULT(MEMBER_CALL* GetFilterValue)(void*, LONG key, LONG device, LONG filter, void* value, ULONG size);
    HRESULT(MEMBER_CALL* SetFilterValue)(void*, LONG key, LONG device, LONG filter, void* value, ULONG size);
    HRESULT(MEMBER_CALL* GetPinValue)(void*, LONG key, LONG device, LONG filter, LONG pin, void* value, ULONG size);
    HRESULT(MEMBER_CALL* SetPinValue)(void*, LONG key, LONG device, LONG filter, LONG pin, void* value, ULONG size);
};

extern const SetupObjectTable SetupObjectMethods;

// Calls the scan callback once, counted as busy; true when it asks for another pass.
bool RunScanCallback();
// Back to the built-in callback that asks for nothing.
void ResetScanCallback();
