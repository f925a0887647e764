// The driver's UI thread and its hidden tray window. The thread lives from the first
// reference to the driver object to its last release; through the window it shows a
// notification-area icon for the driver state, the host, the block size and the rate,
// and it runs the control panel that a click on the icon or the host asks for. Other
// threads never touch the window: they post to it.
#pragma once

#include <windows.h>

// Messages of the tray window.
constexpr UINT WM_TRAYICON = 1325;   // the icon's callback; wParam the icon id, lParam the mouse message
constexpr UINT WM_TRAYSTATE = 1326;  // the driver state changed
constexpr UINT WM_TRAYADD = 1327;    // add the icon
constexpr UINT TrayIconId = 1325;

// The hidden window of class "KsaTray"; null while none exists.
extern HWND volatile TrayWindow;

// At the driver object's first reference, after the module's start: starts the UI
// thread and returns when the tray window exists. Does nothing while the thread runs.
void StartUiThread();
bool UiThreadRunning();
// At the driver object's last release: ends the thread and returns true, unless a
// control panel dialog is counted, the caller is the UI thread itself, or no thread
// runs.
bool StopUiThread();

// After every change of the driver state, from any thread: refreshes the icon, when
// the icon is enabled for this host.
void TrayNotifyState();
// From init while the driver is still loaded: shows the icon, when it is enabled.
void TrayAddIcon();

// From the streaming thread at each restart of the streams: the icon shows the restart
// for a second.
void TrayStampResync();
// While streaming, the icon and its texts are refreshed every 200 ms.
void TrayArmTimer();
void TrayKillTimer();

// Removes icon, window and window class; at the end of the UI thread and at detach.
void TrayDestroy();
