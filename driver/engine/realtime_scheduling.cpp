#include "driver/engine/realtime_scheduling.h"

namespace {

typedef HANDLE(WINAPI* AvSetMmThreadCharacteristicsFunction)(const char* taskName, DWORD* taskIndex);
typedef BOOL(WINAPI* AvRevertMmThreadCharacteristicsFunction)(HANDLE task);
typedef BOOL(WINAPI* AvSetMmThreadPriorityFunction)(HANDLE task, int priority);
typedef HRESULT(WINAPI* DwmEnableMmcssFunction)(BOOL enable);

constexpr int AvrtPriorityNormal = 0;

// AvrtModule is non-null only when all three AVRT entry points were found.
HMODULE AvrtModule;
AvSetMmThreadCharacteristicsFunction SetThreadCharacteristicsEntry;
AvRevertMmThreadCharacteristicsFunction RevertThreadCharacteristicsEntry;
AvSetMmThreadPriorityFunction SetThreadPriorityEntry;
HMODULE DwmapiModule;
DwmEnableMmcssFunction EnableDwmMmcssEntry;  // may be missing from a loaded DWMAPI

// One streaming thread runs at a time, so one task handle suffices.
HANDLE ProAudioTask;

template <typename Function>
Function EntryPoint(HMODULE module, const char* name)
{
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

void LoadMmcssLibraries()
{
    if (AvrtModule != nullptr) return;
    HMODULE avrt = LoadLibraryA("AVRT");
    if (avrt == nullptr) return;
    SetThreadCharacteristicsEntry =
        EntryPoint<AvSetMmThreadCharacteristicsFunction>(avrt, "AvSetMmThreadCharacteristicsA");
    RevertThreadCharacteristicsEntry =
        EntryPoint<AvRevertMmThreadCharacteristicsFunction>(avrt, "AvRevertMmThreadCharacteristics");
    SetThreadPriorityEntry = EntryPoint<AvSetMmThreadPriorityFunction>(avrt, "AvSetMmThreadPriority");
    if (SetThreadCharacteristicsEntry == nullptr || RevertThreadCharacteristicsEntry == nullptr ||
        SetThreadPriorityEntry == nullptr) {
        FreeLibrary(avrt);
        return;
    }
    AvrtModule = avrt;

    DwmapiModule = LoadLibraryA("DWMAPI");
    if (DwmapiModule != nullptr)
        EnableDwmMmcssEntry = EntryPoint<DwmEnableMmcssFunction>(DwmapiModule, "DwmEnableMMCSS");
}

void FreeMmcssLibraries()
{
    if (AvrtModule != nullptr) {
        FreeLibrary(AvrtModule);
        AvrtModule = nullptr;
    }
    // The entry point dies with its library: a later EnterProAudio must not call it.
    EnableDwmMmcssEntry = nullptr;
    if (DwmapiModule != nullptr) {
        FreeLibrary(DwmapiModule);
        DwmapiModule = nullptr;
    }
}

void EnterProAudio()
{
    if (EnableDwmMmcssEntry != nullptr) EnableDwmMmcssEntry(FALSE);
    if (AvrtModule != nullptr) {
        DWORD taskIndex = 0;
        HANDLE task = SetThreadCharacteristicsEntry("Pro Audio", &taskIndex);
        if (task != nullptr) {
            ProAudioTask = task;
            SetThreadPriorityEntry(task, AvrtPriorityNormal);
        }
    }
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
}

void LeaveProAudio()
{
    if (AvrtModule == nullptr) return;
    RevertThreadCharacteristicsEntry(ProAudioTask);
    ProAudioTask = nullptr;
}

DWORD WindowsVersion()
{
    DWORD version = GetVersion();
    if ((version & 0xFF) < 6 && AvrtModule != nullptr) version = (version & ~DWORD(0xFF)) | 6;
    return version;
}

bool WindowsAtLeast(DWORD major, DWORD minor)
{
    const DWORD version = WindowsVersion();
    const DWORD running = (version & 0xFF) << 8 | ((version >> 8) & 0xFF);
    return running >= (major << 8 | minor);
}
