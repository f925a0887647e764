// The driver's private setup interface as a configuration program declares it: a C++
// class of virtual methods on top of IUnknown, asked for by its interface id.
#pragma once

#include <unknwn.h>

#include "driver/core/setup_contract.h"

typedef LONG (*DriverScanCallback)(void* context);

class IDriverSetup : public IUnknown {
public:
    virtual LONG GetInterfaceVersion() = 0;
    virtual HRESULT Rescan() = 0;
    virtual DriverScanCallback SetCallback(DriverScanCallback callback, void* context) = 0;
    virtual HRESULT GetDeviceValue(LONG key, LONG device, void* value, ULONG size) = 0;
    virtual HRESULT SetDeviceValue(LONG key, LONG device, void* value, ULONG size) = 0;
    virtual HRESULT GetFilterValue(LONG key, LONG device, LONG filter, void* value, ULONG size) = 0;
    virtual HRESULT SetFilterValue(LONG key, LONG device, LONG filter, void* value, ULONG size) = 0;
    virtual HRESULT GetPinValue(LONG key, LONG device, LONG filter, LONG pin, void* value, ULONG size) = 0;
    virtual HRESULT SetPinValue(LONG key, LONG device, LONG filter, LONG pin, void* value, ULONG size) = 0;
};
