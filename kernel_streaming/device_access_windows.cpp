// The device-access layer of the production DLLs: straight calls into the system.
#include "kernel_streaming/device_access.h"

#include <ks.h>

namespace device_access {

HDEVINFO SetupDiGetClassDevsA(const GUID* category, const char* enumerator, HWND parent, DWORD flags)
{
    return ::SetupDiGetClassDevsA(category, enumerator, parent, flags);
}

BOOL SetupDiEnumDeviceInfo(HDEVINFO devices, DWORD index, SP_DEVINFO_DATA* device)
{
    return ::SetupDiEnumDeviceInfo(devices, index, device);
}

BOOL SetupDiGetDeviceRegistryPropertyA(HDEVINFO devices, SP_DEVINFO_DATA* device, DWORD property, DWORD* valueType,
                                       BYTE* buffer, DWORD bufferSize, DWORD* requiredSize)
{
    return ::SetupDiGetDeviceRegistryPropertyA(devices, device, property, valueType, buffer, bufferSize, requiredSize);
}

BOOL SetupDiEnumDeviceInterfaces(HDEVINFO devices, SP_DEVINFO_DATA* device, const GUID* category, DWORD index,
                                 SP_DEVICE_INTERFACE_DATA* deviceInterface)
{
    return ::SetupDiEnumDeviceInterfaces(devices, device, category, index, deviceInterface);
}

BOOL SetupDiGetDeviceInterfaceDetailA(HDEVINFO devices, SP_DEVICE_INTERFACE_DATA* deviceInterface,
                                      SP_DEVICE_INTERFACE_DETAIL_DATA_A* detail, DWORD detailSize, DWORD* requiredSize,
                                      SP_DEVINFO_DATA* device)
{
    return ::SetupDiGetDeviceInterfaceDetailA(devices, deviceInterface, detail, detailSize, requiredSize, device);
}

BOOL SetupDiGetDeviceInterfaceAlias(HDEVINFO devices, SP_DEVICE_INTERFACE_DATA* deviceInterface,
                                    const GUID* aliasCategory, SP_DEVICE_INTERFACE_DATA* alias)
{
    return ::SetupDiGetDeviceInterfaceAlias(devices, deviceInterface, aliasCategory, alias);
}

HKEY SetupDiOpenDeviceInterfaceRegKey(HDEVINFO devices, SP_DEVICE_INTERFACE_DATA* deviceInterface, DWORD reserved,
                                      REGSAM access)
{
    return ::SetupDiOpenDeviceInterfaceRegKey(devices, deviceInterface, reserved, access);
}

BOOL SetupDiDestroyDeviceInfoList(HDEVINFO devices)
{
    return ::SetupDiDestroyDeviceInfoList(devices);
}

HANDLE CreateFileA(const char* path, DWORD access, DWORD shareMode, SECURITY_ATTRIBUTES* security, DWORD creation,
                   DWORD flags, HANDLE templateFile)
{
    return ::CreateFileA(path, access, shareMode, security, creation, flags, templateFile);
}

BOOL DeviceIoControl(HANDLE handle, DWORD code, void* input, DWORD inputSize, void* output, DWORD outputSize,
                     DWORD* bytesReturned, OVERLAPPED* overlapped)
{
    return ::DeviceIoControl(handle, code, input, inputSize, output, outputSize, bytesReturned, overlapped);
}

DWORD KsCreatePin(HANDLE filter, void* connect, ACCESS_MASK access, HANDLE* pin)
{
    return ::KsCreatePin(filter, static_cast<KSPIN_CONNECT*>(connect), access, pin);
}

BOOL CloseHandle(HANDLE handle)
{
    return ::CloseHandle(handle);
}

}  // namespace device_access
