// The driver's private setup interface as a configuration program declares it: a C++
// class of virtual methods on top of IUnknown, asked for by its interface id.
#pragma once

#include <unknwn.h>

// {A26078C5-2840-4726-B427-E60FC8FEE403}
constexpr GUID IID_IDriverSetup = {0xA26078C5, 0x2840, 0x4726, {0xB4, 0x27, 0xE6, 0x0F, 0xC8, 0xFE, 0xE4, 0x03}};

// Passed to the driver's init instead of a window: the driver then reads and writes the
// settings shared by every host ("Defaults") only.
constexpr ULONG_PTR SetupModeHandle = 0x7E5A90C3;

constexpr HRESULT SETUP_E_BUSY = HRESULT(0xC5EE0001);
constexpr HRESULT SETUP_E_ACTIVE = HRESULT(0xC5EE0002);
constexpr HRESULT SETUP_E_NODEVICE = HRESULT(0xC5EE1001);
constexpr HRESULT SETUP_E_PARAMETER = HRESULT(0xC5EE2001);

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
