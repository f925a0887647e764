// Stands in for AVRT beside a test executable and logs every call. Built without
// AvSetMmThreadPriority (FAKE_AVRT_WITHOUT_PRIORITY) it is an incomplete AVRT.
#include <cstdio>

#include "driver/tests/fake_mmcss/call_trace.h"

namespace {

unsigned long HandleNumber(HANDLE handle)
{
    return static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(handle));
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) AppendCallTrace("avrt loaded");
    if (reason == DLL_PROCESS_DETACH) AppendCallTrace("avrt freed");
    return TRUE;
}

__declspec(dllexport) HANDLE WINAPI AvSetMmThreadCharacteristicsA(const char* taskName, DWORD* taskIndex)
{
    bool refuse = GetEnvironmentVariableA(RefuseTaskVariable, nullptr, 0) != 0;
    HANDLE task = refuse ? nullptr : reinterpret_cast<HANDLE>(FakeTaskHandle);
    char entry[128];
    std::snprintf(entry, sizeof(entry), "AvSetMmThreadCharacteristicsA(%s,%lu)=%lX", taskName,
                  static_cast<unsigned long>(*taskIndex), HandleNumber(task));
    AppendCallTrace(entry);
    if (task != nullptr) *taskIndex = 1;
    return task;
}

__declspec(dllexport) BOOL WINAPI AvRevertMmThreadCharacteristics(HANDLE task)
{
    char entry[64];
    std::snprintf(entry, sizeof(entry), "AvRevertMmThreadCharacteristics(%lX)", HandleNumber(task));
    AppendCallTrace(entry);
    return task != nullptr;
}

#if !defined(FAKE_AVRT_WITHOUT_PRIORITY)
__declspec(dllexport) BOOL WINAPI AvSetMmThreadPriority(HANDLE task, int priority)
{
    char entry[64];
    std::snprintf(entry, sizeof(entry), "AvSetMmThreadPriority(%lX,%d)", HandleNumber(task), priority);
    AppendCallTrace(entry);
    return TRUE;
}
#endif

}  // extern "C"
