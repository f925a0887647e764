// What the driver's setup interface and the configuration programs that use it agree
// on: the interface id, the sysHandle that asks init for setup mode, the result codes
// and the keys of the values. Each side declares the interface's methods on its own, so
// that each checks the binary layout for itself.
#pragma once

#include <windows.h>

// {A26078C5-2840-4726-B427-E60FC8FEE403}, the same in both builds.
constexpr GUID IID_IDriverSetup = {0xA26078C5, 0x2840, 0x4726, {0xB4, 0x27, 0xE6, 0x0F, 0xC8, 0xFE, 0xE4, 0x03}};

constexpr LONG SetupInterfaceVersion = 0x00020001;

// Passed to init instead of a window: the driver then reads and writes only the
// settings shared by every host ("Defaults"). Only the low 32 bits of the handle are
// compared.
constexpr DWORD SetupModeHandle = 0x7E5A90C3;

constexpr HRESULT SETUP_E_BUSY = HRESULT(0xC5EE0001);       // Rescan while the scan callback runs
constexpr HRESULT SETUP_E_ACTIVE = HRESULT(0xC5EE0002);     // Rescan while buffers exist
constexpr HRESULT SETUP_E_NODEVICE = HRESULT(0xC5EE1001);   // no record at the indexes
constexpr HRESULT SETUP_E_PARAMETER = HRESULT(0xC5EE2001);  // size, key or value pointer refused

// Keys of the values. Numbers are exchanged as 4 bytes, texts and the interface detail
// as pointers (4 or 8 bytes). Every level has its flags at the same key.
constexpr LONG SetupFlagsKey = 0;

enum SetupDeviceKey : LONG {
    SetupDeviceFlags = SetupFlagsKey,
    SetupDeviceFriendlyName = 1,  // text
    SetupDeviceManufacturer = 2,  // text
    SetupDeviceServiceName = 3,   // text
    SetupDeviceLocation = 4,      // text
    SetupDeviceHardwareId = 5,    // text
    SetupDeviceEnumerator = 6,
    SetupDeviceKernelBuffers = 7,
    SetupDeviceBufferPosition = 8,
    SetupDeviceLatencyIn = 9,
    SetupDeviceLatencyOut = 10,
    SetupDeviceBufferSize = 11,
    SetupDeviceId = 12,
    SetupDeviceInstance = 13,  // the DevInst of the device's SP_DEVINFO_DATA
    SetupDeviceKeyCount = 14,
};

enum SetupFilterKey : LONG {
    SetupFilterFlags = SetupFlagsKey,
    SetupFilterFriendlyName = 1,     // text
    SetupFilterInterfaceDetail = 2,  // SP_DEVICE_INTERFACE_DETAIL_DATA_A, the path 4 bytes in
    SetupFilterNodeClasses = 3,
    SetupFilterKeyCount = 4,
};

enum SetupPinKey : LONG {
    SetupPinFlags = SetupFlagsKey,
    SetupPinDataFlow = 1,
    SetupPinChannels = 2,
    SetupPinBits = 3,
    SetupPinLowestRate = 4,
    SetupPinHighestRate = 5,
    SetupPinKeyCount = 6,
};
