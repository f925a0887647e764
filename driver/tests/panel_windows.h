// The driver's windows as a test sees them on the virtual display: control panel
// dialogs of this process, found by caption, and pictures of them for a person to
// look at.
#pragma once

#include <windows.h>

#include <string>

constexpr char PanelCaption[] = "ASIO Settings";
constexpr char RowPanelCaption[] = "Buffer Size";

// Control panel dialogs of this process with this caption.
int CountPanels(const char* caption);
// The first one; waits up to `timeoutMs` for it to appear. Null when none did.
HWND WaitForPanel(const char* caption, DWORD timeoutMs = 10000);
// Waits up to `timeoutMs` for the window to go; true when it went.
bool WaitUntilGone(HWND window, DWORD timeoutMs = 10000);

// A click on a button of the dialog, as the user's mouse would deliver it.
void ClickButton(HWND dialog, int id);

// Writes what the screen shows of `window` as a 24-bit BMP file; false on failure.
bool WriteWindowPicture(HWND window, const std::string& path);
// The build tree of this executable (its bin folder's parent), with a trailing backslash.
std::string BuildTreeDirectory();
