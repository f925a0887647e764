// The DLL entry point and the standard exports of an in-process COM server.
#include <windows.h>

#include "driver/core/com_objects.h"
#include "driver/core/driver_object.h"
#include "driver/core/module.h"
#include "driver/core/registration.h"
#include "driver/engine/realtime_scheduling.h"
#include "driver/engine/streaming_thread.h"
#include "driver/ui/tray_icon.h"

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    if (reason == DLL_PROCESS_ATTACH) AttachModule(instance);
    if (reason == DLL_PROCESS_DETACH) {
        DriverObjectDetach();
        TrayDestroy();
        EndModule();
        FreeMmcssLibraries();
        // Unloaded by FreeLibrary, no thread of the driver runs and no host call is in
        // it. At process exit the other threads were ended wherever they were, perhaps
        // holding a lock: those are left to the process's end.
        if (reserved == nullptr) {
            CloseStreamingEvents();
            DeleteModuleLocks();
        }
    }
    return TRUE;
}

// The class id is not examined: any riid of the lookup table is served.
HRESULT WINAPI DllGetClassObject(REFCLSID, REFIID iid, void** object)
{
    HRESULT result = SharedQueryInterface(nullptr, iid, object);
    return result == E_NOINTERFACE ? CLASS_E_CLASSNOTAVAILABLE : result;
}

HRESULT WINAPI DllCanUnloadNow()
{
    return ModuleInUse() ? S_FALSE : S_OK;
}

HRESULT WINAPI DllRegisterServer()
{
    return RegisterDriver();
}

HRESULT WINAPI DllUnregisterServer()
{
    return UnregisterDriver();
}

}  // extern "C"
