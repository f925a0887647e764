// The control panel on a virtual display, with the driver linked into this executable
// on its product's simulated machine: the dialog is found among this process's
// windows and driven with the messages a user's clicks and keys produce.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <vector>

#include "asio_host/asio_driver.h"
#include "driver/core/com_objects.h"
#include "driver/core/device_tree.h"
#include "driver/core/driver_init.h"
#include "driver/core/driver_object.h"
#include "driver/core/module.h"
#include "driver/core/oem_block.h"
#include "driver/core/settings.h"
#include "driver/engine/engine_state.h"
#include "driver/resources/resource_ids.h"
#include "driver/tests/driver_fixture.h"
#include "driver/tests/panel_windows.h"
#include "driver/ui/control_panel.h"
#include "driver/ui/tray_icon.h"
#include "hardware_simulator/machine.h"

namespace sim = hardware_simulator;

namespace {

std::atomic<int> ResetRequests;

void IgnoreSwitch(long, ASIOBool) {}

long CountResetRequest(long selector, long value, void* message, double* opt)
{
    if (selector == kAsioResetRequest && value == 0 && message == nullptr && opt == nullptr) ++ResetRequests;
    return 1;
}

// The size buttons in size order.
constexpr int SizeIds[] = {IDC_PANEL_SIZE_80,  IDC_PANEL_SIZE_128,  IDC_PANEL_SIZE_192, IDC_PANEL_SIZE_256,
                           IDC_PANEL_SIZE_512, IDC_PANEL_SIZE_1024, IDC_PANEL_SIZE_2048};

void* const SetupMode = reinterpret_cast<void*>(UINT_PTR(SetupModeHandle));

// The stored value of the selected device, as the next init would load it.
DWORD StoredBufferSize()
{
    DWORD value = 0;
    ReadSettingValue(FindSelectedDevice(), nullptr, nullptr, "BufferSize", &value);
    return value;
}

DWORD StoredGlobal(const char* name)
{
    DWORD value = 0xDEADBEEF;
    ReadSettingValue(nullptr, nullptr, nullptr, name, &value);
    return value;
}

// controlPanel on a thread of its own, as a configuration program's thread would run it.
class PanelCall {
public:
    explicit PanelCall(IAsioDriver* driver) : driver_(driver)
    {
        thread_ = CreateThread(nullptr, 0, Run, this, 0, nullptr);
    }
    ~PanelCall()
    {
        WaitForSingleObject(thread_, 20000);
        CloseHandle(thread_);
    }
    bool Returned(DWORD timeoutMs) { return WaitForSingleObject(thread_, timeoutMs) == WAIT_OBJECT_0; }

private:
    static DWORD WINAPI Run(void* self)
    {
        static_cast<PanelCall*>(self)->driver_->controlPanel();
        return 0;
    }
    IAsioDriver* driver_;
    HANDLE thread_;
};

class ControlPanelTest : public InProcessDriver {
protected:
    void SetUp() override
    {
        InProcessDriver::SetUp();
        ASSERT_TRUE(sim::InstallDefaultMachine());
        GlobalSettingsFlags = 0;
        ControlPanelPosition = DefaultControlPanelPosition;
        AudioDisabled = false;
        ResetRequests = 0;
        driver->AddRef();
    }
    void TearDown() override
    {
        for (const char* caption : {PanelCaption, RowPanelCaption})
            while (HWND panel = WaitForPanel(caption, 0)) {
                PostMessageA(panel, WM_CLOSE, 0, 0);
                WaitUntilGone(panel);
            }
        InProcessDriver::TearDown();
    }
    // Buffers with a host's callbacks, so that reset requests reach the test.
    void CreateBuffers()
    {
        ASIOBufferInfo info = {ASIOFalse, 0, {}};
        ASIOCallbacks callbacks = {IgnoreSwitch, nullptr, CountResetRequest, nullptr};
        ASSERT_EQ(driver->createBuffers(&info, 1, 256, &callbacks), ASE_OK);
    }

    IAsioDriver* const driver = reinterpret_cast<IAsioDriver*>(&DriverObject);
};

TEST_F(ControlPanelTest, SetupModeRunsTheDialogOnTheCallersThreadAndStoresTheChosenSize)
{
    ASSERT_EQ(driver->init(SetupMode), ASIOTrue);
    CreateBuffers();
    ASSERT_NE(FindSelectedDevice(), nullptr);
    FindSelectedDevice()->bufferSize = 256;
    AudioDisabled = true;

    PanelCall call(driver);
    HWND panel = WaitForPanel(PanelCaption);
    ASSERT_NE(panel, nullptr);
    EXPECT_FALSE(call.Returned(300)) << "modal: controlPanel waits for the dialog";
    EXPECT_EQ(GetWindow(panel, GW_OWNER), nullptr) << "no owner window in setup mode";
    EXPECT_EQ(IsDlgButtonChecked(panel, IDC_PANEL_SIZE_256), BST_CHECKED) << "256";
    EXPECT_EQ(OpenDialogCount, 1);

    ClickButton(panel, IDC_PANEL_SIZE_256);
    EXPECT_EQ(ResetRequests, 0) << "the stored size: nothing to do";
    ClickButton(panel, IDC_PANEL_SIZE_1024);
    EXPECT_EQ(FindSelectedDevice()->bufferSize, 1024u);
    EXPECT_EQ(StoredBufferSize(), 1024u);
    EXPECT_EQ(ResetRequests, 1);
    ClickButton(panel, IDC_PANEL_SIZE_80);
    EXPECT_EQ(StoredBufferSize(), 80u);
    EXPECT_EQ(ResetRequests, 2);

    ClickButton(panel, IDC_PANEL_RESET);
    EXPECT_EQ(ResetRequests, 3);
    EXPECT_EQ(GetWindowLongA(GetDlgItem(panel, IDC_PANEL_RESET), GWL_STYLE) & 0xF, BS_PUSHBUTTON);

    ClickButton(panel, IDC_PANEL_EXIT);
    ASSERT_TRUE(call.Returned(5000));
    EXPECT_FALSE(IsWindow(panel));
    EXPECT_EQ(ResetRequests, 4) << "closing asks for a reset too";
    EXPECT_EQ(GlobalSettingsFlags & GlobalFlagBalloonsOff, GlobalFlagBalloonsOff);
    EXPECT_EQ(StoredGlobal("Flags") & GlobalFlagBalloonsOff, GlobalFlagBalloonsOff);
    EXPECT_FALSE(AudioDisabled) << "closing the panel turns audio back on";
    EXPECT_EQ(OpenDialogCount, 0);
}

TEST_F(ControlPanelTest, AHostsRequestOpensTheDialogOnTheUiThreadAndReturnsAtOnce)
{
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    CreateBuffers();
    FindSelectedDevice()->bufferSize = 512;

    const DWORD start = GetTickCount();
    EXPECT_EQ(driver->controlPanel(), ASE_OK);
    EXPECT_LT(GetTickCount() - start, 2000u);
    HWND panel = WaitForPanel(PanelCaption);
    ASSERT_NE(panel, nullptr);
    EXPECT_NE(GetWindowThreadProcessId(panel, nullptr), GetCurrentThreadId());
    EXPECT_EQ(GetWindow(panel, GW_OWNER), TrayWindow) << "owned by the hidden tray window";
    EXPECT_EQ(IsDlgButtonChecked(panel, IDC_PANEL_SIZE_512), BST_CHECKED) << "512";
    EXPECT_EQ(OpenDialogCount, 2) << "the host's pin and the open dialog";

    ClickButton(panel, IDC_PANEL_SIZE_128);
    EXPECT_EQ(StoredBufferSize(), 128u);
    EXPECT_EQ(ResetRequests, 1);

    // A second request while it is shown brings it to the front; no second dialog.
    EXPECT_EQ(driver->controlPanel(), ASE_OK);
    Sleep(300);
    EXPECT_EQ(CountPanels(PanelCaption), 1);

    SendMessageA(panel, WM_CLOSE, 0, 0);
    ASSERT_TRUE(WaitUntilGone(panel));
    EXPECT_EQ(ResetRequests, 2);
    for (int wait = 0; wait < 100 && OpenDialogCount != 1; ++wait) Sleep(10);
    EXPECT_EQ(OpenDialogCount, 1) << "a host's request keeps the module";

    driver->Release();
    EXPECT_EQ(DriverState, DriverLoaded) << "the host's session still ends";
    EXPECT_TRUE(ModuleStarted()) << "the module stays for the host's panel";
    EXPECT_TRUE(IsWindow(TrayWindow)) << "and so does the UI thread";
}

TEST_F(ControlPanelTest, EnterAndEscapeLeaveTheDialogOpen)
{
    ASSERT_EQ(driver->init(SetupMode), ASIOTrue);
    PanelCall call(driver);
    HWND panel = WaitForPanel(PanelCaption);
    ASSERT_NE(panel, nullptr);
    HWND focus = GetDlgItem(panel, IDC_PANEL_SIZE_256);
    for (WPARAM key : {VK_RETURN, VK_ESCAPE}) {
        PostMessageA(focus, WM_KEYDOWN, key, 0);
        PostMessageA(focus, WM_KEYUP, key, 0xC0000000);
    }
    Sleep(500);
    EXPECT_TRUE(IsWindow(panel));
    EXPECT_FALSE(call.Returned(0));
    SendMessageA(panel, WM_CLOSE, 0, 0);
    EXPECT_TRUE(call.Returned(5000));
}

TEST_F(ControlPanelTest, TheCheckedSizeIsTheLargestAtOrBelowTheDevicesSize)
{
    ASSERT_EQ(driver->init(SetupMode), ASIOTrue);
    const struct {
        DWORD stored;
        int button;
    } cases[] = {{100, IDC_PANEL_SIZE_80},  {64, IDC_PANEL_SIZE_80},     {191, IDC_PANEL_SIZE_128},
                 {192, IDC_PANEL_SIZE_192}, {2047, IDC_PANEL_SIZE_1024}, {4096, IDC_PANEL_SIZE_2048}};
    for (const auto& entry : cases) {
        FindSelectedDevice()->bufferSize = entry.stored;
        PanelCall call(driver);
        HWND panel = WaitForPanel(PanelCaption);
        ASSERT_NE(panel, nullptr);
        for (int id : SizeIds)
            EXPECT_EQ(IsDlgButtonChecked(panel, id), id == entry.button ? BST_CHECKED : BST_UNCHECKED)
                << entry.stored << " " << id;
        SendMessageA(panel, WM_CLOSE, 0, 0);
        ASSERT_TRUE(call.Returned(5000));
        EXPECT_EQ(FindSelectedDevice()->bufferSize, entry.stored) << "showing stores nothing";
    }
}

TEST_F(ControlPanelTest, TheDialogOpensWhereItWasLeftAndAMoveIsSavedAtClose)
{
    ASSERT_EQ(driver->init(SetupMode), ASIOTrue);
    ControlPanelPosition = (DWORD(40) << 16) | DWORD(WORD(-60));
    {
        PanelCall call(driver);
        HWND panel = WaitForPanel(PanelCaption);
        ASSERT_NE(panel, nullptr);
        RECT frame;
        GetWindowRect(panel, &frame);
        EXPECT_EQ(frame.left, -60) << "left of the screen's edge, as on a monitor left of the primary";
        EXPECT_EQ(frame.top, 40);

        SetWindowPos(panel, nullptr, 100, 120, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        EXPECT_EQ(ControlPanelPosition, (DWORD(120) << 16) | 100u);
        EXPECT_EQ(StoredGlobal("WndPos"), 0xDEADBEEFu) << "not saved while moving";
        SendMessageA(panel, WM_CLOSE, 0, 0);
        ASSERT_TRUE(call.Returned(5000));
    }
    EXPECT_EQ(StoredGlobal("WndPos"), (DWORD(120) << 16) | 100u);

    PanelCall again(driver);
    HWND panel = WaitForPanel(PanelCaption);
    ASSERT_NE(panel, nullptr);
    RECT frame;
    GetWindowRect(panel, &frame);
    EXPECT_EQ(frame.left, 100);
    EXPECT_EQ(frame.top, 120);
    SendMessageA(panel, WM_CLOSE, 0, 0);
}

TEST_F(ControlPanelTest, APositionOnNoMonitorComesBackOntoTheNearestOne)
{
    ASSERT_EQ(driver->init(SetupMode), ASIOTrue);
    ControlPanelPosition = (DWORD(5000) << 16) | 6000u;
    PanelCall call(driver);
    HWND panel = WaitForPanel(PanelCaption);
    ASSERT_NE(panel, nullptr);
    RECT frame;
    GetWindowRect(panel, &frame);
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof(monitor);
    GetMonitorInfoA(MonitorFromWindow(panel, MONITOR_DEFAULTTONEAREST), &monitor);
    EXPECT_EQ(frame.right, monitor.rcWork.right);
    EXPECT_EQ(frame.bottom, monitor.rcWork.bottom);
    SendMessageA(panel, WM_CLOSE, 0, 0);
}

TEST_F(ControlPanelTest, ColourStringsOfTheLayoutsAreReadAsBlueGreenRed)
{
    COLORREF colour = 0x123456;
    ParseColourText(1297, &colour);
    EXPECT_EQ(colour, 0xFFFFFFu);
    ParseColourText(1296, &colour);
    EXPECT_EQ(colour, 0x000000u);
    colour = 0x123456;
    ParseColourText(1396, &colour);
    EXPECT_EQ(colour, 0x123456u) << "a missing string keeps the colour";
}

// Where a control lies, in the dialog's client coordinates.
RECT PlaceOf(HWND panel, HWND control)
{
    RECT place;
    GetWindowRect(control, &place);
    MapWindowPoints(nullptr, panel, reinterpret_cast<POINT*>(&place), 2);
    return place;
}

bool Contains(const RECT& outer, const RECT& inner)
{
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

BOOL CALLBACK CollectControl(HWND control, LPARAM controls)
{
    reinterpret_cast<std::vector<HWND>*>(controls)->push_back(control);
    return TRUE;
}

bool IsSizeButton(int id)
{
    for (int size : SizeIds)
        if (id == size) return true;
    return false;
}

// Every control is inside the dialog and clear of the others; the size buttons sit
// inside their group box, where the layout has one.
void ExpectControlsApartAndInside(HWND panel)
{
    std::vector<HWND> controls;
    EnumChildWindows(panel, CollectControl, reinterpret_cast<LPARAM>(&controls));
    RECT client;
    GetClientRect(panel, &client);
    HWND group = GetDlgItem(panel, IDC_PANEL_SIZE_GROUP);
    for (std::size_t first = 0; first < controls.size(); ++first) {
        const int id = GetDlgCtrlID(controls[first]);
        const RECT place = PlaceOf(panel, controls[first]);
        EXPECT_TRUE(Contains(client, place)) << id << " lies outside the dialog";
        if (group != nullptr && IsSizeButton(id)) {
            EXPECT_TRUE(Contains(PlaceOf(panel, group), place)) << id << " lies outside its group box";
        }
        for (std::size_t second = first + 1; second < controls.size(); ++second) {
            const int otherId = GetDlgCtrlID(controls[second]);
            const bool inGroup = (id == IDC_PANEL_SIZE_GROUP && IsSizeButton(otherId)) ||
                                 (otherId == IDC_PANEL_SIZE_GROUP && IsSizeButton(id));
            if (inGroup) continue;
            RECT overlap;
            const RECT otherPlace = PlaceOf(panel, controls[second]);
            // Controls that meet edge to edge in dialog units may share a pixel's rounding.
            const bool overlaps = IntersectRect(&overlap, &place, &otherPlace) && overlap.right - overlap.left > 1 &&
                                  overlap.bottom - overlap.top > 1;
            EXPECT_FALSE(overlaps) << id << " overlaps " << otherId;
        }
    }
}

// Each layout that the OEM block's template id can choose: its controls are where a
// user can reach them, each size button stores the size it is labelled with, and the
// dialog closes through the caption's close box even without "Exit". A picture of each
// goes under the build tree for a person to look at.
TEST_F(ControlPanelTest, EachLayoutOffersEverySizeUnderItsLabel)
{
    ASSERT_EQ(driver->init(SetupMode), ASIOTrue);
    const struct {
        UINT templateId;
        const char* caption;
        bool picture;
        bool buttons;  // "Reset" and "Exit"
    } layouts[] = {
        {IDD_PANEL_PICTURE, PanelCaption, true, false},
        {IDD_PANEL_ROW, RowPanelCaption, false, false},
        {IDD_PANEL_FULL, PanelCaption, true, true},
    };
    for (const auto& layout : layouts) {
        SCOPED_TRACE(layout.templateId);
        OemConfig.controlPanelDialog.value = layout.templateId;
        FindSelectedDevice()->bufferSize = 256;
        PanelCall call(driver);
        HWND panel = WaitForPanel(layout.caption);
        ASSERT_NE(panel, nullptr);
        EXPECT_EQ(DWORD(GetWindowLongA(panel, GWL_STYLE)) & WS_SYSMENU, DWORD(WS_SYSMENU)) << "a close box";
        EXPECT_EQ(GetDlgItem(panel, IDC_PANEL_PICTURE) != nullptr, layout.picture);
        EXPECT_EQ(GetDlgItem(panel, IDC_PANEL_SIZE_GROUP) != nullptr, layout.picture);
        EXPECT_EQ(GetDlgItem(panel, IDC_PANEL_RESET) != nullptr, layout.buttons);
        EXPECT_EQ(GetDlgItem(panel, IDC_PANEL_EXIT) != nullptr, layout.buttons);
        if (layout.picture) {
            EXPECT_NE(SendDlgItemMessageA(panel, IDC_PANEL_PICTURE, STM_GETIMAGE, IMAGE_BITMAP, 0), 0)
                << "the picture is shown";
        }
        ExpectControlsApartAndInside(panel);
        EXPECT_EQ(IsDlgButtonChecked(panel, IDC_PANEL_SIZE_256), BST_CHECKED);

        Sleep(300);  // painted
        std::string picture = BuildTreeDirectory() + "control-panel-" + std::to_string(layout.templateId) + ".bmp";
        EXPECT_TRUE(WriteWindowPicture(panel, picture)) << picture;

        for (int id : SizeIds) {
            char label[16] = {};
            GetDlgItemTextA(panel, id, label, sizeof(label));
            ClickButton(panel, id);
            EXPECT_EQ(StoredBufferSize(), DWORD(std::atoi(label))) << "the button labelled " << label;
        }
        SendMessageA(panel, WM_CLOSE, 0, 0);
        ASSERT_TRUE(call.Returned(5000));
    }
}

}  // namespace
