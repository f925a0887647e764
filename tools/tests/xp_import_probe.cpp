// A program that Windows XP would refuse to load, for the tests of the import check: it
// imports a function of Vista, one of XP x64 that 32-bit XP lacks and one of a DLL that
// XP does not ship, and its subsystem version is Vista's. It is never run.
#include <windows.h>
#include <dxgi.h>

int main()
{
    ULONGLONG ticks = GetTickCount64();
    DWORD size = 0;
    LSTATUS status = RegGetValueA(HKEY_CURRENT_USER, "Software", "Probe", RRF_RT_ANY, nullptr, nullptr, &size);
    IDXGIFactory* factory = nullptr;
    HRESULT created = CreateDXGIFactory(__uuidof(IDXGIFactory), reinterpret_cast<void**>(&factory));
    return static_cast<int>(ticks + status + created + GetVersion());
}
