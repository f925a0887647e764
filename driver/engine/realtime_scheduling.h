// Real-time scheduling of the streaming thread: the MMCSS "Pro Audio" task where the
// system offers it, time-critical priority always. AVRT and DWMAPI are loaded by name
// at run time, so the driver runs unchanged where they do not exist.
#pragma once

#include <windows.h>

// Loads AVRT, and DWMAPI only with a complete AVRT. Does nothing while AVRT is loaded.
void LoadMmcssLibraries();
// Frees both libraries and forgets their entry points.
void FreeMmcssLibraries();

// First and last calls of the streaming thread, on that thread. Entering switches off
// the window manager's MMCSS use, joins the "Pro Audio" task and raises the thread to
// time-critical priority whatever else failed; leaving ends the task.
void EnterProAudio();
void LeaveProAudio();

// GetVersion, except that a major version below 6 reads 6 while AVRT is loaded.
DWORD WindowsVersion();
// Whether WindowsVersion() is major.minor or later.
bool WindowsAtLeast(DWORD major, DWORD minor);
