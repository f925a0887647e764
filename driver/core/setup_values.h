// The values that IDriverSetup reads and writes: fields of the device tree's records,
// addressed by key, exchanged in the key's width.
#pragma once

#include <windows.h>

HRESULT AccessDeviceValue(bool set, LONG key, LONG device, void* value, ULONG size);
HRESULT AccessFilterValue(bool set, LONG key, LONG device, LONG filter, void* value, ULONG size);
HRESULT AccessPinValue(bool set, LONG key, LONG device, LONG filter, LONG pin, void* value, ULONG size);
