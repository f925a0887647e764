#include "driver/ui/tray_icon.h"

#include <shellapi.h>
#include <mmsystem.h>
#include <shlwapi.h>

#include "driver/core/com_objects.h"
#include "driver/core/driver_object.h"
#include "driver/core/module.h"
#include "driver/core/module_path.h"
#include "driver/core/oem_block.h"
#include "driver/core/settings.h"
#include "driver/engine/engine_state.h"
#include "driver/resources/resource_ids.h"
#include "driver/ui/control_panel.h"
#include "driver/ui/tray_text.h"

HWND volatile TrayWindow;

namespace {

constexpr char TrayClassName[] = "KsaTray";
constexpr DWORD UiThreadStackSize = 0x10000;
constexpr UINT RefreshPeriodMs = 200;
constexpr DWORD ResyncShownMs = 1000;
constexpr UINT BalloonTimeoutMs = 4000;
constexpr DWORD NotShown = 0xFFFFFFFF;
constexpr DWORD RetryPostMs = 100;
constexpr std::size_t FirstLineSize = 64;  // the balloon title's size; the tooltip's first line keeps to it

// Pictures by driver state: stopped, ready, running, running after a recent restart.
enum TrayPicture { PictureStopped, PictureReady, PictureRunning, PictureResync, PictureCount };
constexpr WORD IconIds[PictureCount] = {IDI_TRAY_STOPPED, IDI_TRAY_READY, IDI_TRAY_RUNNING, IDI_TRAY_RESYNC};

DWORD volatile UiThreadId;
HANDLE UiThread;
NOTIFYICONDATAA NotifyRecord;
HICON Icons[PictureCount];
DWORD ShellMajorVersion;
bool IconShown;
std::size_t FirstLineLength;
DWORD LastShownSize = NotShown;
DWORD LastShownRate = NotShown;
DWORD volatile ResyncStamp;
UINT_PTR TimerId = 1;

// The icon speaks to a host's user: not for a configuration program (setup mode, or
// while one holds the setup object), only where the vendor enabled it, and not when
// the user hid it.
bool TrayEnabled()
{
    return !SetupModeSwitch && (OemConfig.defaultFlags.value & OemFlagTrayIcon) != 0 &&
           SetupObject.referenceCount == 0 && (GlobalSettingsFlags & GlobalFlagTrayIconHidden) == 0;
}

void QueryShellVersion()
{
    DLLVERSIONINFO version = {};
    version.cbSize = sizeof(version);
    auto getVersion = reinterpret_cast<DLLGETVERSIONPROC>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("shell32.dll"), "DllGetVersion")));
    if (getVersion != nullptr) getVersion(&version);
    ShellMajorVersion = version.dwMajorVersion;
}

// "<driver name> - <Host>", at most 63 characters, as the tooltip's first line and the
// balloon title.
void WriteFirstLine()
{
    ModulePath hostPath;
    ReadModulePath(nullptr, &hostPath);
    char host[ModulePathSize];
    HostDisplayName(hostPath.text, host, sizeof(host));

    TextCursor line = {NotifyRecord.szInfoTitle, FirstLineSize, 0};
    AppendText(&line, OemConfig.driverName.text);
    AppendText(&line, " - ");
    AppendText(&line, host);
    lstrcpynA(NotifyRecord.szTip, NotifyRecord.szInfoTitle, sizeof(NotifyRecord.szTip));
    FirstLineLength = line.length;
}

void LoadText(UINT id, char* text, int size)
{
    if (LoadStringA(ModuleInstance, id, text, size) <= 0) text[0] = '\0';
}

// Tooltip line two and the balloon: "256 Samples @44100 Hz" and "256 Samples   @44100Hz".
void WriteStreamTexts(DWORD size, DWORD rate)
{
    char samples[32];
    char hertz[32];
    LoadText(IDS_TRAY_SAMPLES, samples, sizeof(samples));
    LoadText(IDS_TRAY_HERTZ, hertz, sizeof(hertz));

    TextCursor balloon = {NotifyRecord.szInfo, sizeof(NotifyRecord.szInfo), 0};
    AppendDecimal(&balloon, LONG(size));
    AppendText(&balloon, samples);
    AppendText(&balloon, "   @");
    AppendDecimal(&balloon, LONG(rate));
    AppendText(&balloon, hertz);

    TextCursor tip = {NotifyRecord.szTip, sizeof(NotifyRecord.szTip), FirstLineLength};
    AppendText(&tip, "\r\n");
    AppendDecimal(&tip, LONG(size));
    AppendText(&tip, samples);
    AppendText(&tip, " @");
    AppendDecimal(&tip, LONG(rate));
    AppendText(&tip, " ");
    AppendText(&tip, hertz);
}

TrayPicture PictureForState(LONG state)
{
    if (state == DriverLoaded) return PictureStopped;
    if (state != DriverRunning) return PictureReady;
    return timeGetTime() - ResyncStamp < ResyncShownMs ? PictureResync : PictureRunning;
}

// Modifies the icon only when its picture or its texts changed.
void TrayRefresh()
{
    if (TrayWindow == nullptr) return;
    NotifyRecord.uFlags = 0;
    const LONG state = DriverState;
    HICON icon = Icons[PictureForState(state)];
    if (icon != NotifyRecord.hIcon) {
        NotifyRecord.hIcon = icon;
        NotifyRecord.uFlags |= NIF_ICON;
    }
    if (state == DriverRunning && ShellMajorVersion >= 5) {
        const DWORD size = RequestedBufferSize;
        const DWORD rate = ActiveHostRate;
        const bool changed = size != LastShownSize || rate != LastShownRate;
        LastShownSize = size;
        LastShownRate = rate;
        if (changed) {
            NotifyRecord.uTimeout = BalloonTimeoutMs;
            NotifyRecord.dwInfoFlags = NIIF_INFO | NIIF_NOSOUND;
            NotifyRecord.uFlags |= NIF_TIP;
            // The balloon pops up only until the user has closed the control panel once.
            if (!(GlobalSettingsFlags & GlobalFlagBalloonsOff)) NotifyRecord.uFlags |= NIF_INFO;
            WriteStreamTexts(size, rate);
        }
    }
    if (NotifyRecord.uFlags != 0) Shell_NotifyIconA(NIM_MODIFY, &NotifyRecord);
}

LRESULT CALLBACK TrayWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_DESTROY:
        Shell_NotifyIconA(NIM_DELETE, &NotifyRecord);
        PostQuitMessage(0);
        break;
    case WM_TRAYADD:
        Shell_NotifyIconA(NIM_ADD, &NotifyRecord);
        IconShown = true;
        return 0;
    case WM_TRAYSTATE:
        if (IconShown) TrayRefresh();
        return 0;
    case WM_TRAYICON:
        if (LOWORD(wParam) == TrayIconId && (LOWORD(lParam) == WM_LBUTTONDOWN || LOWORD(lParam) == WM_RBUTTONDOWN))
            OpenControlPanel(window);
        return 0;
    case WM_TIMER:
        // The same rule as for state changes: a hidden or silenced icon is left alone.
        if (IconShown && TrayEnabled()) TrayRefresh();
        TrayArmTimer();
        return 0;
    default: break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

void TrayCreate()
{
    UiThreadId = GetCurrentThreadId();
    QueryShellVersion();
    NotifyRecord.cbSize = ShellMajorVersion >= 5 ? NOTIFYICONDATAA_V2_SIZE : NOTIFYICONDATAA_V1_SIZE;
    NotifyRecord.uID = TrayIconId;
    NotifyRecord.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    NotifyRecord.uCallbackMessage = WM_TRAYICON;
    if (Icons[PictureStopped] == nullptr)
        for (int picture = 0; picture < PictureCount; ++picture)
            Icons[picture] = LoadIconA(ModuleInstance, MAKEINTRESOURCEA(IconIds[picture]));
    NotifyRecord.hIcon = Icons[PictureStopped];

    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = TrayWndProc;
    windowClass.hInstance = ModuleInstance;
    windowClass.lpszClassName = TrayClassName;
    RegisterClassExA(&windowClass);
    // Never shown: it only carries messages and the icon's callbacks.
    HWND window =
        CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, TrayClassName, nullptr, WS_POPUP, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, ModuleInstance, nullptr);
    NotifyRecord.hWnd = window;
    TrayWindow = window;
    WriteFirstLine();
}

struct UiThreadStart {
    HANDLE created;
    HMODULE module;  // the thread's own reference: the code stays while the thread runs
};

DWORD WINAPI UiThreadMain(LPVOID parameter)
{
    const UiThreadStart start = *static_cast<UiThreadStart*>(parameter);
    TrayCreate();
    SetEvent(start.created);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
    TrayDestroy();
    FreeLibraryAndExitThread(start.module, 0);
}

// Sends on the UI thread itself, which would otherwise wait on its own queue; posts
// from any other thread and retries while the queue is full. A window that has gone
// with its thread (at process exit) ends the retries.
void DeliverToTray(UINT message)
{
    for (HWND window = TrayWindow; window != nullptr && IsWindow(window); window = TrayWindow) {
        if (GetCurrentThreadId() == UiThreadId) {
            SendMessageA(window, message, WPARAM(DriverState), 0);
            return;
        }
        if (PostMessageA(window, message, WPARAM(DriverState), 0)) return;
        Sleep(RetryPostMs);
    }
}

}  // namespace

void StartUiThread()
{
    if (UiThreadId != 0) return;
    UiThreadStart start = {CreateEventA(nullptr, FALSE, FALSE, nullptr), nullptr};
    if (start.created == nullptr) return;
    DWORD id = 0;
    HANDLE thread = nullptr;
    if (GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCSTR>(&UiThreadMain),
                           &start.module)) {
        thread = CreateThread(nullptr, UiThreadStackSize, UiThreadMain, &start, 0, &id);
        if (thread == nullptr) FreeLibrary(start.module);
    }
    // Without a thread the driver works on, with neither icon nor forwarded panel.
    if (thread != nullptr) {
        UiThread = thread;
        UiThreadId = id;
        WaitForSingleObject(start.created, INFINITE);
    }
    CloseHandle(start.created);
}

bool UiThreadRunning()
{
    return UiThreadId != 0;
}

bool StopUiThread()
{
    // A release on the UI thread itself (a host's reset handler) cannot wait for it.
    if (UiThreadId == 0 || OpenDialogCount != 0 || GetCurrentThreadId() == UiThreadId) return false;
    if (!PostThreadMessageA(UiThreadId, WM_QUIT, 0, 0)) return false;
    WaitForSingleObject(UiThread, INFINITE);
    CloseHandle(UiThread);
    UiThread = nullptr;
    UiThreadId = 0;
    return true;
}

void TrayNotifyState()
{
    if (TrayEnabled()) DeliverToTray(WM_TRAYSTATE);
}

void TrayAddIcon()
{
    if (TrayEnabled() && DriverState == DriverLoaded) DeliverToTray(WM_TRAYADD);
}

void TrayStampResync()
{
    ResyncStamp = timeGetTime();
}

void TrayArmTimer()
{
    if (HWND window = TrayWindow) TimerId = SetTimer(window, TimerId, RefreshPeriodMs, nullptr);
}

void TrayKillTimer()
{
    if (HWND window = TrayWindow) KillTimer(window, TimerId);
}

void TrayDestroy()
{
    HWND window = TrayWindow;
    if (window == nullptr) return;
    Shell_NotifyIconA(NIM_DELETE, &NotifyRecord);
    TrayWindow = nullptr;
    DestroyWindow(window);
    UnregisterClassA(TrayClassName, ModuleInstance);
    LastShownSize = NotShown;
    LastShownRate = NotShown;
    FirstLineLength = 0;
    ResyncStamp = 0;
    IconShown = false;
}
