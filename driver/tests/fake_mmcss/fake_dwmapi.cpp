// Stands in for DWMAPI beside a test executable and logs every call.
#include <cstdio>

#include "driver/tests/fake_mmcss/call_trace.h"

extern "C" {

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) AppendCallTrace("dwmapi loaded");
    if (reason == DLL_PROCESS_DETACH) AppendCallTrace("dwmapi freed");
    return TRUE;
}

__declspec(dllexport) HRESULT WINAPI DwmEnableMMCSS(BOOL enable)
{
    char entry[32];
    std::snprintf(entry, sizeof(entry), "DwmEnableMMCSS(%d)", enable);
    AppendCallTrace(entry);
    return S_OK;
}

}  // extern "C"
