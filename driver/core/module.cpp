#include "driver/core/module.h"

#include "driver/core/com_objects.h"
#include "driver/core/device_discovery.h"
#include "driver/core/diagnostic_log.h"
#include "driver/core/hash_name.h"
#include "driver/core/settings.h"
#include "driver/core/setup_interface.h"

HINSTANCE ModuleInstance;
std::uint32_t HostHash;
BOOL Wow64Process;
volatile LONG OpenDialogCount;

// Bit 0 claims the start, so that it runs once; bit 1 says the lock exists. The lock
// bit is set only after the lock is initialised, so no caller can enter a lock that
// is still being made.
static volatile LONG ModuleFlags;
constexpr LONG StartClaimed = 1;
constexpr LONG LockReady = 2;
static CRITICAL_SECTION DriverLock;

void AttachModule(HINSTANCE instance)
{
    ModuleInstance = instance;
    PrepareClassIds();
}

void StartModule()
{
    if (__atomic_fetch_or(&ModuleFlags, StartClaimed, __ATOMIC_SEQ_CST) & StartClaimed) return;

    char hostPath[264];
    DWORD length = GetModuleFileNameA(GetModuleHandleA(nullptr), hostPath, sizeof(hostPath));
    hostPath[length < sizeof(hostPath) ? length : sizeof(hostPath) - 1] = '\0';
    HostHash = HashName(hostPath);

    InitializeCriticalSection(&DriverLock);
    __atomic_fetch_or(&ModuleFlags, LockReady, __ATOMIC_SEQ_CST);

    typedef BOOL(WINAPI * IsWow64ProcessFunction)(HANDLE, PBOOL);
    BOOL wow64 = FALSE;
    auto isWow64 = reinterpret_cast<IsWow64ProcessFunction>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32"), "IsWow64Process")));
    if (isWow64 != nullptr) isWow64(GetCurrentProcess(), &wow64);
    Wow64Process = wow64;

    StartDiagnosticLog();
    RescanDevices();
}

void EndModule()
{
    StopDiagnosticLog();
    LONG previous = __atomic_fetch_and(&ModuleFlags, 0, __ATOMIC_SEQ_CST);
    if (previous & LockReady) DeleteCriticalSection(&DriverLock);
}

bool ModuleStarted()
{
    return (__atomic_load_n(&ModuleFlags, __ATOMIC_SEQ_CST) & LockReady) != 0;
}

void EnterDriverLock()
{
    if (ModuleStarted()) EnterCriticalSection(&DriverLock);
}

void LeaveDriverLock()
{
    if (ModuleStarted()) LeaveCriticalSection(&DriverLock);
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
