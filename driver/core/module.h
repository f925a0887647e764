// Module-wide state of the driver DLL: its instance, the one driver lock, the host
// program's hash, and the one-time start that the first driver reference triggers.
#pragma once

#include <windows.h>

#include <cstdint>

extern HINSTANCE ModuleInstance;
extern std::uint32_t HostHash;         // HashName of the host program's path
extern BOOL Wow64Process;              // a 32-bit process on 64-bit Windows
extern volatile LONG OpenDialogCount;  // while nonzero the module stays loaded

// Process attach: remember the instance and parse the class ids of the OEM block.
void AttachModule(HINSTANCE instance);

// Runs once per module-started period: host hash, WOW64 flag, first scan. A caller that
// meets a start in progress on another thread returns when that start is complete.
void StartModule();
// Ends a module-started period: a later StartModule runs again.
void EndModule();
// True once a start has completed, until EndModule.
bool ModuleStarted();

// The driver-wide lock. It is made on first use and lives until the DLL unloads, so a
// call that entered it always leaves it, whether or not it raced the module's start or
// end. It may be entered again by the thread that holds it.
void EnterDriverLock();
void LeaveDriverLock();
// For a wait that must not hold the lock (for a thread that may call back into the
// driver): releases it however deeply the caller holds it, and returns that depth for
// ResumeDriverLock. A caller that does not hold it gets 0.
DWORD SuspendDriverLock();
void ResumeDriverLock(DWORD depth);

// Holds the driver lock to the end of its scope, so that no early return keeps it. A
// SuspendDriverLock within the scope is undone by its ResumeDriverLock before the end.
class DriverLockGuard {
public:
    DriverLockGuard() { EnterDriverLock(); }
    ~DriverLockGuard() { LeaveDriverLock(); }
    DriverLockGuard(const DriverLockGuard&) = delete;
    DriverLockGuard& operator=(const DriverLockGuard&) = delete;
};

// Serialises the driver object's first reference with its last release, so that a host
// that creates the driver on one thread while another releases it never meets a module
// half started or half ended. Never entered while the driver lock is held.
void EnterModuleGate();
void LeaveModuleGate();

// DLL unload: the locks go with the module.
void DeleteModuleLocks();

// Rebuilds the device tree; repeats while the setup callback asks for another pass.
void RescanDevices();
