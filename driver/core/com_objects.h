// The driver's three static COM objects: the driver object (ASIO), the class factory
// and the setup object. Each is an interface table and a reference count; none is ever
// allocated or freed, and no operation looks at its object pointer.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include "driver/core/oem_layout.h"

struct StaticComObject {
    const void* table;
    volatile LONG referenceCount;
};

extern StaticComObject DriverObject;
extern StaticComObject ClassFactoryObject;
extern StaticComObject SetupObject;

extern GUID DriverClassId;  // from the OEM block; also the ASIO interface id
// "SOFTWARE\Classes\CLSID\{...}" with the OEM class id text, ready at process attach.
constexpr std::size_t ClassKeyPathSize = sizeof("SOFTWARE\\Classes\\CLSID\\") - 1 + OemClassIdSize + 1;
extern char ClassKeyPath[ClassKeyPathSize];
// The class id text of the OEM block, braced, as the registry shows it.
const char* ClassIdText();

// Process attach: parses the class id and builds the class key path.
void PrepareClassIds();

// The shared IUnknown methods of all three objects.
HRESULT STDMETHODCALLTYPE SharedQueryInterface(void* self, REFIID iid, void** object);
ULONG STDMETHODCALLTYPE SharedAddRef(void* self);
ULONG STDMETHODCALLTYPE SharedRelease(void* self);

// True while any object is referenced, a control panel keeps the module or a thread
// of the driver still runs its code.
bool ModuleInUse();
