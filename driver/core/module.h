// Module-wide state of the driver DLL: its instance, the one driver lock, the host
// program's hash, and the one-time start that the first driver reference triggers.
#pragma once

#include <windows.h>

#include <cstdint>

extern HINSTANCE ModuleInstance;
extern std::uint32_t HostHash;       // HashName of the host program's path
extern BOOL Wow64Process;            // a 32-bit process on 64-bit Windows
extern volatile LONG OpenDialogCount;  // while nonzero the module stays loaded

// Process attach: remember the instance and parse the class ids of the OEM block.
void AttachModule(HINSTANCE instance);

// Runs once per module-started period: driver lock, host hash, WOW64 flag, first scan.
void StartModule();
// Ends a module-started period: the lock is deleted and a later StartModule runs again.
void EndModule();
bool ModuleStarted();

// The driver-wide lock. Both do nothing before StartModule, so early calls run unlocked.
void EnterDriverLock();
void LeaveDriverLock();

// Rebuilds the device tree; repeats while the setup callback asks for another pass.
void RescanDevices();
