// The driver's one door to the hardware: the SetupAPI calls of device discovery and
// the handle operations on kernel-streaming filters and pins. Production DLLs link the
// real system calls (device_access_windows.cpp); simulated builds and tests link the
// hardware simulator, which answers these calls the way kernel drivers do.
//
// Each function behaves as the system function of the same name: same arguments,
// results and last-error codes. Handles and device information sets they return are
// only ever passed back to this layer (and HKEYs to the registry).
#pragma once

#include <windows.h>
#include <setupapi.h>

namespace device_access {

HDEVINFO SetupDiGetClassDevsA(const GUID* category, const char* enumerator, HWND parent, DWORD flags);
BOOL SetupDiEnumDeviceInfo(HDEVINFO devices, DWORD index, SP_DEVINFO_DATA* device);
BOOL SetupDiGetDeviceRegistryPropertyA(HDEVINFO devices, SP_DEVINFO_DATA* device, DWORD property, DWORD* valueType,
                                       BYTE* buffer, DWORD bufferSize, DWORD* requiredSize);
BOOL SetupDiEnumDeviceInterfaces(HDEVINFO devices, SP_DEVINFO_DATA* device, const GUID* category, DWORD index,
                                 SP_DEVICE_INTERFACE_DATA* deviceInterface);
BOOL SetupDiGetDeviceInterfaceDetailA(HDEVINFO devices, SP_DEVICE_INTERFACE_DATA* deviceInterface,
                                      SP_DEVICE_INTERFACE_DETAIL_DATA_A* detail, DWORD detailSize, DWORD* requiredSize,
                                      SP_DEVINFO_DATA* device);
BOOL SetupDiGetDeviceInterfaceAlias(HDEVINFO devices, SP_DEVICE_INTERFACE_DATA* deviceInterface,
                                    const GUID* aliasCategory, SP_DEVICE_INTERFACE_DATA* alias);
HKEY SetupDiOpenDeviceInterfaceRegKey(HDEVINFO devices, SP_DEVICE_INTERFACE_DATA* deviceInterface, DWORD reserved,
                                      REGSAM access);
BOOL SetupDiDestroyDeviceInfoList(HDEVINFO devices);

// Opens a filter by its device path (CreateFileA).
HANDLE CreateFileA(const char* path, DWORD access, DWORD shareMode, SECURITY_ATTRIBUTES* security, DWORD creation,
                   DWORD flags, HANDLE templateFile);
BOOL DeviceIoControl(HANDLE handle, DWORD code, void* input, DWORD inputSize, void* output, DWORD outputSize,
                     DWORD* bytesReturned, OVERLAPPED* overlapped);
// Creates a pin instance on a filter; `connect` is a KSPIN_CONNECT followed by its data
// format. Returns a Win32 error code (ERROR_SUCCESS on success).
DWORD KsCreatePin(HANDLE filter, void* connect, ACCESS_MASK access, HANDLE* pin);
// Closes a filter or pin handle.
BOOL CloseHandle(HANDLE handle);

}  // namespace device_access
