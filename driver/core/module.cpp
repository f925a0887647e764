#include "driver/core/module.h"

#include "driver/core/com_objects.h"
#include "driver/core/device_discovery.h"
#include "driver/core/diagnostic_log.h"
#include "driver/core/hash_name.h"
#include "driver/core/module_path.h"
#include "driver/core/pin_selection.h"
#include "driver/core/settings.h"
#include "driver/core/setup_interface.h"

HINSTANCE ModuleInstance;
std::uint32_t HostHash;
BOOL Wow64Process;
volatile LONG OpenDialogCount;

namespace {

// Bit 0 claims the start, so that it runs once; bit 1 says it is complete.
volatile LONG ModuleFlags;
constexpr LONG StartClaimed = 1;
constexpr LONG StartComplete = 2;
// The thread running the start: a scan callback on it that asks for the module again
// must not wait for itself.
volatile DWORD StartingThread;

// Both locks are made together by the first caller that needs one; others wait for it.
volatile LONG LocksMade;
constexpr LONG LocksBeingMade = 1;
constexpr LONG LocksReady = 2;
CRITICAL_SECTION DriverLock;
CRITICAL_SECTION ModuleGate;
// Who holds the driver lock and how deeply; written by the holder only.
volatile DWORD LockOwner;
DWORD LockDepth;

void MakeLocks()
{
    if (__atomic_load_n(&LocksMade, __ATOMIC_ACQUIRE) == LocksReady) return;
    LONG none = 0;
    if (__atomic_compare_exchange_n(&LocksMade, &none, LocksBeingMade, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST)) {
        InitializeCriticalSection(&DriverLock);
        InitializeCriticalSection(&ModuleGate);
        __atomic_store_n(&LocksMade, LocksReady, __ATOMIC_RELEASE);
        return;
    }
    // Sleep(1), not Sleep(0): the maker may run at a lower priority than the waiter.
    while (__atomic_load_n(&LocksMade, __ATOMIC_ACQUIRE) != LocksReady) Sleep(1);
}

}  // namespace

void AttachModule(HINSTANCE instance)
{
    ModuleInstance = instance;
    PrepareClassIds();
}

void StartModule()
{
    MakeLocks();
    if (__atomic_fetch_or(&ModuleFlags, StartClaimed, __ATOMIC_SEQ_CST) & StartClaimed) {
        if (StartingThread == GetCurrentThreadId()) return;
        // Until the start completes, or an end clears the claim.
        for (;;) {
            LONG flags = __atomic_load_n(&ModuleFlags, __ATOMIC_ACQUIRE);
            if ((flags & StartComplete) || !(flags & StartClaimed)) return;
            Sleep(1);
        }
    }
    StartingThread = GetCurrentThreadId();

    ModulePath host;
    ReadModulePath(nullptr, &host);
    HostHash = HashName(host.text);

    typedef BOOL(WINAPI * IsWow64ProcessFunction)(HANDLE, PBOOL);
    BOOL wow64 = FALSE;
    auto isWow64 = reinterpret_cast<IsWow64ProcessFunction>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32"), "IsWow64Process")));
    if (isWow64 != nullptr) isWow64(GetCurrentProcess(), &wow64);
    Wow64Process = wow64;

    StartDiagnosticLog();
    RescanDevices();
    StartingThread = 0;
    __atomic_fetch_or(&ModuleFlags, StartComplete, __ATOMIC_SEQ_CST);
}

void EndModule()
{
    StopDiagnosticLog();
    __atomic_store_n(&ModuleFlags, 0, __ATOMIC_SEQ_CST);
}

bool ModuleStarted()
{
    return (__atomic_load_n(&ModuleFlags, __ATOMIC_SEQ_CST) & StartComplete) != 0;
}

void EnterDriverLock()
{
    MakeLocks();
    EnterCriticalSection(&DriverLock);
    LockOwner = GetCurrentThreadId();
    ++LockDepth;
}

void LeaveDriverLock()
{
    if (--LockDepth == 0) LockOwner = 0;
    LeaveCriticalSection(&DriverLock);
}

DWORD SuspendDriverLock()
{
    if (LockOwner != GetCurrentThreadId()) return 0;
    DWORD depth = LockDepth;
    for (DWORD level = 0; level < depth; ++level) LeaveDriverLock();
    return depth;
}

void ResumeDriverLock(DWORD depth)
{
    for (DWORD level = 0; level < depth; ++level) EnterDriverLock();
}

void EnterModuleGate()
{
    MakeLocks();
    EnterCriticalSection(&ModuleGate);
}

void LeaveModuleGate()
{
    LeaveCriticalSection(&ModuleGate);
}

void DeleteModuleLocks()
{
    if (__atomic_exchange_n(&LocksMade, 0, __ATOMIC_SEQ_CST) != LocksReady) return;
    DeleteCriticalSection(&DriverLock);
    DeleteCriticalSection(&ModuleGate);
}

void RescanDevices()
{
    EnterDriverLock();
    do {
        EnumerateDevices();
        LoadGlobalSettings();
        SelectPins();
    } while (RunScanCallback());
    LeaveDriverLock();
}
