#include "driver/ui/control_panel.h"

#include "driver/core/crash_recovery.h"
#include "driver/core/device_tree.h"
#include "driver/core/driver_init.h"
#include "driver/core/hex_digits.h"
#include "driver/core/module.h"
#include "driver/core/oem_block.h"
#include "driver/core/settings.h"
#include "driver/engine/host_callbacks.h"
#include "driver/resources/resource_ids.h"

namespace {

struct SizeButton {
    int id;
    DWORD size;
};
// In size order; the ids are not.
constexpr SizeButton SizeButtons[] = {
    {IDC_PANEL_SIZE_80, 80},   {IDC_PANEL_SIZE_128, 128},   {IDC_PANEL_SIZE_192, 192},   {IDC_PANEL_SIZE_256, 256},
    {IDC_PANEL_SIZE_512, 512}, {IDC_PANEL_SIZE_1024, 1024}, {IDC_PANEL_SIZE_2048, 2048},
};

constexpr COLORREF Black = 0x000000;
constexpr COLORREF White = 0xFFFFFF;

// 1 while no dialog is being opened or shown: whoever takes it to 0 shows the dialog.
volatile LONG DialogGate = 1;
HWND volatile DialogWindow;
COLORREF TextColour = Black;
COLORREF BackgroundColour = White;
HBRUSH BackgroundBrush;
HBITMAP Picture;  // loaded once, kept for the module's life
bool RadioGuard;  // the dialog itself is checking a button

UINT TemplateId()
{
    return OemConfig.controlPanelDialog.value;
}

UINT PictureId(UINT templateId)
{
    if (templateId == IDD_PANEL_PICTURE) return IDB_PANEL_PICTURE;
    if (templateId == IDD_PANEL_ROW) return IDB_PANEL_ROW;
    return IDB_PANEL_FULL;
}

// The saved position may lie on a monitor that has been unplugged since: then the
// dialog goes to the nearest monitor's work area, so the user can see and move it.
POINT ReachablePosition(POINT position, SIZE size)
{
    RECT placed = {position.x, position.y, position.x + size.cx, position.y + size.cy};
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof(monitor);
    if (!GetMonitorInfoA(MonitorFromRect(&placed, MONITOR_DEFAULTTONEAREST), &monitor)) return position;
    RECT visible;
    if (IntersectRect(&visible, &placed, &monitor.rcWork)) return position;
    const RECT& work = monitor.rcWork;
    if (position.x > work.right - size.cx) position.x = work.right - size.cx;
    if (position.x < work.left) position.x = work.left;
    if (position.y > work.bottom - size.cy) position.y = work.bottom - size.cy;
    if (position.y < work.top) position.y = work.top;
    return position;
}

void MoveToSavedPosition(HWND dialog)
{
    RECT frame;
    GetWindowRect(dialog, &frame);
    const DWORD saved = ControlPanelPosition;
    POINT position = {SHORT(LOWORD(saved)), SHORT(HIWORD(saved))};
    SIZE size = {frame.right - frame.left, frame.bottom - frame.top};
    position = ReachablePosition(position, size);
    MoveWindow(dialog, position.x, position.y, size.cx, size.cy, FALSE);
}

void InitialiseDialog(HWND dialog)
{
    DialogWindow = dialog;
    ParseColourText(TemplateId() + IDS_PANEL_TEXT_COLOUR_OFFSET, &TextColour);
    ParseColourText(TemplateId() + IDS_PANEL_BACKGROUND_COLOUR_OFFSET, &BackgroundColour);
    BackgroundBrush = CreateSolidBrush(BackgroundColour);
    MoveToSavedPosition(dialog);
    if (Picture == nullptr) Picture = LoadBitmapA(ModuleInstance, MAKEINTRESOURCEA(PictureId(TemplateId())));
    SendDlgItemMessageA(dialog, IDC_PANEL_PICTURE, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(Picture));
    SyncBufferSizeRadio();
}

const SizeButton* FindSizeButton(int id)
{
    for (const SizeButton& button : SizeButtons)
        if (button.id == id) return &button;
    return nullptr;
}

void ChooseBufferSize(HWND dialog, const SizeButton& button)
{
    if (IsDlgButtonChecked(dialog, button.id) != BST_CHECKED || RadioGuard) return;
    {
        DriverLockGuard lock;
        DeviceRecord* device = FindSelectedDevice();
        if (device == nullptr || device->bufferSize == button.size) return;
        device->bufferSize = button.size;
        SaveRecordSettings(device);
    }
    // The host may call back into the driver from its reset.
    RequestHostReset();
}

void CloseDialog(HWND dialog)
{
    {
        DriverLockGuard lock;
        GlobalSettingsFlags |= GlobalFlagBalloonsOff;
        SaveGlobalSettings();
    }
    // Closing the panel is how the user turns audio back on after an improper shutdown.
    ClearAudioDisabled();
    DeleteObject(BackgroundBrush);
    BackgroundBrush = nullptr;
    DialogWindow = nullptr;
    EndDialog(dialog, 0);
    RequestHostReset();
}

// Enter and Escape (IDOK, IDCANCEL) fall through to FALSE: only "Exit" and the close
// box end the dialog.
INT_PTR CALLBACK ControlPanelProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG: InitialiseDialog(dialog); return FALSE;
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC: {
        HDC context = reinterpret_cast<HDC>(wParam);
        SetBkColor(context, BackgroundColour);
        SetTextColor(context, TextColour);
        return reinterpret_cast<INT_PTR>(BackgroundBrush);
    }
    case WM_MOVE: {
        RECT frame;
        GetWindowRect(dialog, &frame);
        ControlPanelPosition = (DWORD(frame.top) << 16) | (DWORD(frame.left) & 0xFFFF);
        return TRUE;
    }
    case WM_CLOSE: CloseDialog(dialog); return TRUE;
    case WM_COMMAND: {
        const int id = LOWORD(wParam);
        if (const SizeButton* button = FindSizeButton(id)) {
            ChooseBufferSize(dialog, *button);
            return TRUE;
        }
        if (id == IDC_PANEL_RESET) {
            // Back to a plain button, so that it does not stay the default one.
            SendMessageA(reinterpret_cast<HWND>(lParam), BM_SETSTYLE, BS_PUSHBUTTON, FALSE);
            RequestHostReset();
            return TRUE;
        }
        if (id == IDC_PANEL_EXIT) {
            CloseDialog(dialog);
            return TRUE;
        }
        return FALSE;
    }
    default: return FALSE;
    }
}

}  // namespace

void OpenControlPanel(HWND owner)
{
    const bool setupMode = IsSetupModeHandle(owner);
    if (InterlockedDecrement(&DialogGate) == 0) {
        InterlockedIncrement(&OpenDialogCount);
        // A template id beyond 16 bits cannot name a resource: the low word is taken,
        // so that a mistyped OEM value never passes as a text pointer.
        DialogBoxParamA(ModuleInstance, MAKEINTRESOURCEA(LOWORD(TemplateId())), setupMode ? nullptr : owner,
                        ControlPanelProc, 0);
        InterlockedDecrement(&OpenDialogCount);
    } else if (HWND shown = DialogWindow) {
        if (owner != nullptr && !setupMode) SetForegroundWindow(owner);
        SetForegroundWindow(shown);
    }
    InterlockedIncrement(&DialogGate);
}

void SyncBufferSizeRadio()
{
    HWND dialog = DialogWindow;
    if (dialog == nullptr) return;
    DriverLockGuard lock;
    RadioGuard = true;
    if (DeviceRecord* device = FindSelectedDevice()) {
        int id = SizeButtons[0].id;
        for (const SizeButton& button : SizeButtons)
            if (device->bufferSize >= button.size && button.size > SizeButtons[0].size) id = button.id;
        CheckDlgButton(dialog, id, BST_CHECKED);
    }
    RadioGuard = false;
}

void ParseColourText(UINT stringId, COLORREF* colour)
{
    char text[16];
    if (LoadStringA(ModuleInstance, stringId, text, sizeof(text)) <= 0) return;
    COLORREF value = 0;
    for (int index = 0; index < 8 && text[index] != '\0'; ++index) {
        const int digit = HexDigitValue(text[index]);
        if (digit < 0) break;
        value = value * 16 + COLORREF(digit);
    }
    *colour = value;
}
