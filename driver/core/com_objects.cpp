#include "driver/core/com_objects.h"

#include <cstring>

#include "driver/core/driver_object.h"
#include "driver/core/guid_text.h"
#include "driver/core/module.h"
#include "driver/core/oem_block.h"
#include "driver/core/setup_interface.h"
#include "driver/engine/realtime_scheduling.h"
#include "driver/engine/streaming_thread.h"
#include "driver/ui/tray_icon.h"

// Meaningless until process attach overwrites it.
GUID DriverClassId = {0x1367576A, 0xECE6, 0x4F61, {0x91, 0xB6, 0x83, 0x2B, 0xB9, 0x3C, 0xA5, 0xD8}};

namespace {

const char ClassKeyPrefix[] = "SOFTWARE\\Classes\\CLSID\\";

}  // namespace

char ClassKeyPath[ClassKeyPathSize] = "SOFTWARE\\Classes\\CLSID\\";

struct ClassFactoryTable {
    HRESULT(STDMETHODCALLTYPE* QueryInterface)(void*, REFIID, void**);
    ULONG(STDMETHODCALLTYPE* AddRef)(void*);
    ULONG(STDMETHODCALLTYPE* Release)(void*);
    HRESULT(STDMETHODCALLTYPE* CreateInstance)(void*, IUnknown*, REFIID, void**);
    HRESULT(STDMETHODCALLTYPE* LockServer)(void*, BOOL);
};

namespace {

HRESULT STDMETHODCALLTYPE CreateInstance(void*, IUnknown* outer, REFIID iid, void** object)
{
    // No object of ours can delegate to an outer object, so aggregation is refused.
    if (outer != nullptr) {
        if (object != nullptr) *object = nullptr;
        return CLASS_E_NOAGGREGATION;
    }
    return SharedQueryInterface(nullptr, iid, object);
}

HRESULT STDMETHODCALLTYPE LockServer(void*, BOOL)
{
    return S_OK;
}

const ClassFactoryTable ClassFactoryMethods = {
    SharedQueryInterface, SharedAddRef, SharedRelease, CreateInstance, LockServer,
};

}  // namespace

StaticComObject DriverObject = {&DriverObjectMethods, 0};
StaticComObject ClassFactoryObject = {&ClassFactoryMethods, 0};
StaticComObject SetupObject = {&SetupObjectMethods, 0};

const char* ClassIdText()
{
    return ClassKeyPath + sizeof(ClassKeyPrefix) - 1;
}

void PrepareClassIds()
{
    std::memcpy(ClassKeyPath + sizeof(ClassKeyPrefix) - 1, OemConfig.classId.text, OemClassIdSize);
    ClassKeyPath[sizeof(ClassKeyPath) - 1] = '\0';
    ParseGuid(ClassIdText(), reinterpret_cast<std::uint8_t*>(&DriverClassId));
}

HRESULT STDMETHODCALLTYPE SharedQueryInterface(void*, REFIID iid, void** object)
{
    if (object == nullptr) return E_POINTER;
    // First match wins: IUnknown answers with the class factory.
    const struct {
        const GUID* iid;
        StaticComObject* object;
    } lookup[] = {
        {&IID_IUnknown, &ClassFactoryObject},
        {&DriverClassId, &DriverObject},
        {&IID_IDriverSetup, &SetupObject},
        {&IID_IClassFactory, &ClassFactoryObject},
    };
    for (const auto& row : lookup) {
        if (std::memcmp(&iid, row.iid, sizeof(GUID)) == 0) {
            SharedAddRef(row.object);
            *object = row.object;
            return S_OK;
        }
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

namespace {

// The module starts before the UI thread, whose tray window and control panel use its
// lock, settings and device tree, and ends after it: a UI thread that a control panel
// keeps keeps the module too.
void StartModuleAndUiThread()
{
    if (UiThreadRunning()) return;
    LoadMmcssLibraries();
    StartModule();
    StartUiThread();
}

void StopUiThreadAndModule()
{
    if (!StopUiThread()) return;
    EndModule();
    FreeMmcssLibraries();
}

}  // namespace

// The driver object's first reference starts the module and the UI thread; a reference
// taken while another thread is still starting them waits for that start, so that no
// host call meets a module without its first scan.
ULONG STDMETHODCALLTYPE SharedAddRef(void* self)
{
    auto* object = static_cast<StaticComObject*>(self);
    LONG count = InterlockedIncrement(&object->referenceCount);
    if (object == &DriverObject && (count == 1 || !ModuleStarted())) {
        EnterModuleGate();
        if (DriverObject.referenceCount > 0) StartModuleAndUiThread();
        LeaveModuleGate();
    }
    return count;
}

// The last release ends the session, the UI thread and the module, unless a new first
// reference came meanwhile: the gate lets the later of the two see the other's work whole.
ULONG STDMETHODCALLTYPE SharedRelease(void* self)
{
    auto* object = static_cast<StaticComObject*>(self);
    LONG count = InterlockedDecrement(&object->referenceCount);
    if (count == 0) {
        if (object == &SetupObject) ResetScanCallback();
        if (object == &DriverObject) {
            EnterModuleGate();
            if (DriverObject.referenceCount == 0) {
                DriverObjectLastRelease();
                StopUiThreadAndModule();
            }
            LeaveModuleGate();
        }
    }
    return count;
}

bool ModuleInUse()
{
    return DriverObject.referenceCount != 0 || ClassFactoryObject.referenceCount != 0 ||
           SetupObject.referenceCount != 0 || OpenDialogCount != 0 || DriverThreadsRunning();
}
