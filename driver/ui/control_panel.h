// The control panel: the driver's one settings window, a small modal dialog in which
// the user picks the buffer size of the selected device. One dialog at a time for the
// whole driver; its layout is the OEM block's dialog template.
#pragma once

#include <windows.h>

// Runs the dialog modally on the calling thread and returns when it has closed. The
// owner is a window, null, or SetupModeHandle (no owner window). While a dialog is
// shown, a second call brings it (and the owner) to the front and returns at once.
void OpenControlPanel(HWND owner);

// Checks the size button that matches the selected device; nothing while no dialog
// is shown.
void SyncBufferSizeRadio();

// Loads a colour string of the module, hexadecimal digits read into a COLORREF (so
// six digits give blue, green, red from left to right), into `colour`. A missing
// string leaves it unchanged; a text that starts with no digit gives black.
void ParseColourText(UINT stringId, COLORREF* colour);
