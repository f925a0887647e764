// The tray icon with the driver linked into this executable, on its product's
// simulated machine and a virtual display. The executable's import of
// Shell_NotifyIconA is pointed at a recorder, so the tests see every request the
// driver makes of the shell, in order.
#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "asio_host/asio_driver.h"
#include "driver/core/com_objects.h"
#include "driver/core/driver_init.h"
#include "driver/core/driver_object.h"
#include "driver/core/module.h"
#include "driver/core/oem_block.h"
#include "driver/core/settings.h"
#include "driver/engine/engine_state.h"
#include "driver/resources/resource_ids.h"
#include "driver/tests/driver_fixture.h"
#include "driver/tests/panel_windows.h"
#include "driver/ui/tray_icon.h"
#include "driver/ui/tray_text.h"
#include "hardware_simulator/hardware_simulator.h"

namespace sim = hardware_simulator;

namespace {

struct ShellRequest {
    DWORD message;
    DWORD size;
    HWND window;
    UINT id;
    UINT flags;
    HICON icon;
    std::string tip;
    std::string info;
    std::string title;
    UINT timeout;
    DWORD infoFlags;
};

std::mutex RequestsLock;
std::vector<ShellRequest> Requests;

BOOL WINAPI RecordShellRequest(DWORD message, PNOTIFYICONDATAA data)
{
    std::lock_guard<std::mutex> guard(RequestsLock);
    Requests.push_back({message, data->cbSize, data->hWnd, data->uID, data->uFlags, data->hIcon, data->szTip,
                        data->szInfo, data->szInfoTitle, data->uTimeout, data->dwInfoFlags});
    return TRUE;
}

std::vector<ShellRequest> RecordedRequests()
{
    std::lock_guard<std::mutex> guard(RequestsLock);
    return Requests;
}

void ForgetRequests()
{
    std::lock_guard<std::mutex> guard(RequestsLock);
    Requests.clear();
}

// Points the module's import of `function` from `library` at `replacement`.
bool RedirectImport(HMODULE module, const char* library, const char* function, const void* replacement)
{
    auto* base = reinterpret_cast<BYTE*>(module);
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto* entry = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress); entry->Name != 0;
         ++entry) {
        if (lstrcmpiA(reinterpret_cast<char*>(base + entry->Name), library) != 0) continue;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<char*>(byName->Name), function) != 0) continue;
            DWORD protection;
            VirtualProtect(&slots->u1.Function, sizeof(slots->u1.Function), PAGE_READWRITE, &protection);
            slots->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
            VirtualProtect(&slots->u1.Function, sizeof(slots->u1.Function), protection, &protection);
            return true;
        }
    }
    return false;
}

HICON TrayIcon(WORD id)
{
    return LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id));
}

// "<driver name> - <this executable's name>".
std::string FirstLine()
{
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, sizeof(path));
    char host[MAX_PATH];
    HostDisplayName(path, host, sizeof(host));
    return std::string(OemConfig.driverName.text) + " - " + host;
}

void IgnoreSwitch(long, ASIOBool) {}

long AnswerMessage(long, long, void*, double*)
{
    return 0;
}

constexpr UINT Texts = NIF_TIP | NIF_INFO;

class TrayIconTest : public InProcessDriver {
protected:
    static void SetUpTestSuite()
    {
        ASSERT_TRUE(RedirectImport(GetModuleHandleA(nullptr), "shell32.dll", "Shell_NotifyIconA",
                                   reinterpret_cast<const void*>(RecordShellRequest)));
    }
    void SetUp() override
    {
        InProcessDriver::SetUp();
        ASSERT_TRUE(sim::InstallDefaultMachine());
        // The devices play, so a running stream is steady and restarts only when a test
        // asks for one.
        sim::StartDeviceClock();
        OemConfig.defaultFlags.value |= OemFlagTrayIcon;
        GlobalSettingsFlags = 0;
        // As in a fresh process: the rates of an earlier test's stream are gone.
        GlobalSampleRate = RequestedHostRate = ActiveHostRate = DefaultSampleRate;
        ForgetRequests();
    }
    void TearDown() override
    {
        for (const char* caption : {PanelCaption, RowPanelCaption})
            while (HWND panel = WaitForPanel(caption, 0)) {
                PostMessageA(panel, WM_CLOSE, 0, 0);
                WaitUntilGone(panel);
            }
        while (SetupObject.referenceCount > 0) SharedRelease(&SetupObject);
        InProcessDriver::TearDown();
    }
    void Prepare(void* sysHandle = nullptr)
    {
        driver->AddRef();
        ASSERT_EQ(driver->init(sysHandle), ASIOTrue);
        ASIOBufferInfo info = {ASIOFalse, 0, {}};
        ASIOCallbacks callbacks = {IgnoreSwitch, nullptr, AnswerMessage, nullptr};
        ASSERT_EQ(driver->createBuffers(&info, 1, 256, &callbacks), ASE_OK);
    }
    // No device: the stream runs from the timer alone and never restarts by itself (as a
    // loaded machine's devices may), so the icon shows only what the test does.
    static void WithoutDevice()
    {
        sim::Clear();
        ASSERT_TRUE(sim::Install(sim::Machine{}));
    }
    // Waits up to `timeoutMs` for `count` requests in all; returns what was recorded.
    static std::vector<ShellRequest> WaitForRequests(size_t count, DWORD timeoutMs = 5000)
    {
        const DWORD start = GetTickCount();
        while (RecordedRequests().size() < count && GetTickCount() - start < timeoutMs) Sleep(10);
        return RecordedRequests();
    }
    // The requests that arrive during the next `milliseconds`.
    static std::vector<ShellRequest> RequestsDuring(DWORD milliseconds)
    {
        ForgetRequests();
        Sleep(milliseconds);
        return RecordedRequests();
    }

    IAsioDriver* const driver = reinterpret_cast<IAsioDriver*>(&DriverObject);
};

TEST_F(TrayIconTest, TheIconFollowsTheDriverStateAndTellsSizeAndRateOncePerChange)
{
    WithoutDevice();
    Prepare();
    auto requests = WaitForRequests(2);
    ASSERT_GE(requests.size(), 2u);
    EXPECT_EQ(requests[0].message, DWORD(NIM_ADD));
    EXPECT_EQ(requests[0].window, TrayWindow);
    EXPECT_EQ(requests[0].id, 1325u);
    EXPECT_EQ(requests[0].flags, UINT(NIF_MESSAGE | NIF_ICON | NIF_TIP));
    EXPECT_EQ(requests[0].icon, TrayIcon(IDI_TRAY_STOPPED)) << "added while the driver is loaded";
    EXPECT_EQ(requests[0].tip, FirstLine());
    EXPECT_EQ(requests[0].size, DWORD(NOTIFYICONDATAA_V2_SIZE));
    EXPECT_EQ(requests[1].message, DWORD(NIM_MODIFY));
    EXPECT_EQ(requests[1].flags, UINT(NIF_ICON));
    EXPECT_EQ(requests[1].icon, TrayIcon(IDI_TRAY_READY)) << "initialised";
    Sleep(300);
    EXPECT_EQ(RecordedRequests().size(), 2u) << "buffers created: the same picture, nothing sent";

    ForgetRequests();
    ASSERT_EQ(driver->start(), ASE_OK);
    requests = WaitForRequests(1);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].message, DWORD(NIM_MODIFY));
    EXPECT_EQ(requests[0].flags, UINT(NIF_ICON | NIF_TIP | NIF_INFO));
    EXPECT_EQ(requests[0].icon, TrayIcon(IDI_TRAY_RUNNING));
    EXPECT_EQ(requests[0].tip, FirstLine() + "\r\n256 Samples @44100 Hz");
    EXPECT_EQ(requests[0].info, "256 Samples   @44100Hz");
    EXPECT_EQ(requests[0].title, FirstLine());
    EXPECT_EQ(requests[0].timeout, 4000u);
    EXPECT_EQ(requests[0].infoFlags, DWORD(NIIF_INFO | NIIF_NOSOUND));
    EXPECT_TRUE(RequestsDuring(700).empty()) << "a steady stream costs no shell traffic";

    // A rate change restarts the running stream: one new text and balloon.
    double newRate = 0;
    for (double rate : {48000.0, 88200.0, 96000.0, 32000.0})
        if (driver->canSampleRate(rate) == ASE_OK) {
            newRate = rate;
            break;
        }
    ASSERT_NE(newRate, 0.0);
    ForgetRequests();
    ASSERT_EQ(driver->setSampleRate(newRate), ASE_OK);
    Sleep(1000);
    requests = RecordedRequests();
    int texts = 0;
    for (const ShellRequest& request : requests) {
        if ((request.flags & Texts) == 0) continue;
        ++texts;
        EXPECT_EQ(request.flags & Texts, Texts);
        EXPECT_EQ(request.info, "256 Samples   @" + std::to_string(long(newRate)) + "Hz");
        EXPECT_EQ(request.tip, FirstLine() + "\r\n256 Samples @" + std::to_string(long(newRate)) + " Hz");
    }
    EXPECT_EQ(texts, 1);

    ForgetRequests();
    ASSERT_EQ(driver->stop(), ASE_OK);
    requests = WaitForRequests(1);
    ASSERT_GE(requests.size(), 1u);
    EXPECT_EQ(requests[0].flags, UINT(NIF_ICON));
    EXPECT_EQ(requests[0].icon, TrayIcon(IDI_TRAY_READY));

    // The same size and rate again: the picture changes, the texts do not.
    ForgetRequests();
    ASSERT_EQ(driver->start(), ASE_OK);
    requests = WaitForRequests(1);
    Sleep(500);
    requests = RecordedRequests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].flags, UINT(NIF_ICON));
    EXPECT_EQ(requests[0].icon, TrayIcon(IDI_TRAY_RUNNING));

    ForgetRequests();
    driver->Release();
    requests = RecordedRequests();
    ASSERT_GE(requests.size(), 2u);
    // Released: streaming stops first, then the driver is loaded again. The window shows
    // the state it finds when it gets to a change, so a loaded machine may see the
    // intermediate picture skipped, never the order turned.
    EXPECT_EQ(requests.back().message, DWORD(NIM_DELETE)) << "the thread's end removes the icon";
    std::vector<HICON> pictures;
    for (const ShellRequest& request : requests)
        if (request.message == DWORD(NIM_MODIFY)) pictures.push_back(request.icon);
    ASSERT_FALSE(pictures.empty());
    EXPECT_EQ(pictures.back(), TrayIcon(IDI_TRAY_STOPPED)) << "loaded again";
    if (pictures.size() > 1) {
        EXPECT_EQ(pictures.size(), 2u);
        EXPECT_EQ(pictures[0], TrayIcon(IDI_TRAY_READY)) << "streaming stops first";
    }
    EXPECT_EQ(TrayWindow, nullptr);
}

TEST_F(TrayIconTest, AStreamRestartShowsTheExclamationMarkForASecond)
{
    WithoutDevice();
    Prepare();
    ASSERT_EQ(driver->start(), ASE_OK);
    WaitForRequests(3);
    Sleep(500);
    ForgetRequests();
    // What the streaming thread does at each restart of the kernel streams.
    TrayStampResync();
    const DWORD stamped = GetTickCount();
    auto requests = WaitForRequests(2, 4000);
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].icon, TrayIcon(IDI_TRAY_RESYNC));
    EXPECT_EQ(requests[1].icon, TrayIcon(IDI_TRAY_RUNNING));
    EXPECT_GE(GetTickCount() - stamped, 950u) << "back to play only after a second";
    EXPECT_EQ(requests[0].flags & Texts, 0u);
}

TEST_F(TrayIconTest, AfterThePanelWasClosedOnceTheTooltipChangesWithoutABalloon)
{
    StoreDefaultsValue("Flags", GlobalFlagBalloonsOff);
    Prepare();
    WaitForRequests(2);
    ForgetRequests();
    ASSERT_EQ(driver->start(), ASE_OK);
    auto requests = WaitForRequests(1);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].flags, UINT(NIF_ICON | NIF_TIP));
}

TEST_F(TrayIconTest, ConfigurationProgramsAndHiddenIconsGetNoTraffic)
{
    const struct {
        const char* what;
        bool setupMode;
        bool holdSetupObject;
        DWORD flags;
    } cases[] = {
        {"setup mode", true, false, 0},
        {"setup object held", false, true, 0},
        {"icon hidden by Flags", false, false, GlobalFlagTrayIconHidden},
    };
    for (const auto& entry : cases) {
        ForgetRequests();
        StoreDefaultsValue("Flags", entry.flags);
        driver->AddRef();
        void* setup = nullptr;
        if (entry.holdSetupObject) {
            ASSERT_EQ(SharedQueryInterface(nullptr, IID_IDriverSetup, &setup), S_OK);
        }
        ASSERT_EQ(driver->init(entry.setupMode ? reinterpret_cast<void*>(UINT_PTR(SetupModeHandle)) : nullptr),
                  ASIOTrue);
        ASIOBufferInfo info = {ASIOFalse, 0, {}};
        ASIOCallbacks callbacks = {IgnoreSwitch, nullptr, AnswerMessage, nullptr};
        ASSERT_EQ(driver->createBuffers(&info, 1, 256, &callbacks), ASE_OK);
        ASSERT_EQ(driver->start(), ASE_OK);
        TrayStampResync();
        Sleep(600);
        ASSERT_EQ(driver->stop(), ASE_OK);
        if (setup != nullptr) SharedRelease(setup);
        driver->Release();
        for (const ShellRequest& request : RecordedRequests()) {
            EXPECT_EQ(request.message, DWORD(NIM_DELETE)) << entry.what << ": only the removal at the end";
        }
    }
}

TEST_F(TrayIconTest, WithTheShippedFlagsNoIconButTheHiddenWindowStillOpensThePanel)
{
    OemConfig.defaultFlags.value = savedOemConfig.defaultFlags.value & ~OemFlagTrayIcon;
    Prepare();
    ASSERT_EQ(driver->start(), ASE_OK);
    Sleep(500);
    EXPECT_EQ(driver->controlPanel(), ASE_OK);
    HWND panel = WaitForPanel(PanelCaption);
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(GetWindow(panel, GW_OWNER), TrayWindow);
    ASSERT_EQ(driver->stop(), ASE_OK);
    for (const ShellRequest& request : RecordedRequests()) {
        EXPECT_NE(request.message, DWORD(NIM_ADD)) << "never added";
    }

    // A press on the icon while the panel is open brings it forward, no second one.
    PostMessageA(TrayWindow, WM_TRAYICON, TrayIconId, WM_RBUTTONDOWN);
    Sleep(300);
    EXPECT_EQ(CountPanels(PanelCaption), 1);

    // The host lets go while the panel is open: the UI thread and its window stay.
    HWND tray = TrayWindow;
    driver->Release();
    EXPECT_TRUE(IsWindow(panel));
    EXPECT_TRUE(IsWindow(tray));
    EXPECT_EQ(TrayWindow, tray);
    EXPECT_TRUE(ModuleStarted());
    SendMessageA(panel, WM_CLOSE, 0, 0);
    EXPECT_TRUE(WaitUntilGone(panel));
}

TEST_F(TrayIconTest, ALongDriverNameIsCutAndTheSecondLineFollowsTheCut)
{
    lstrcpynA(OemConfig.driverName.text, "A Driver Name Long Enough To Fill The Tooltip's First Line On Its Own",
              OemTextSize);
    Prepare();
    // The icon is added and shows the driver initialised before the stream starts.
    WaitForRequests(2);
    ASSERT_EQ(driver->start(), ASE_OK);
    auto requests = WaitForRequests(3);
    ASSERT_EQ(requests.size(), 3u);
    const std::string cut = std::string(OemConfig.driverName.text).substr(0, 63);
    EXPECT_EQ(requests[0].tip, cut);
    EXPECT_EQ(requests[2].tip, cut + "\r\n256 Samples @44100 Hz");
    EXPECT_EQ(requests[2].title, cut);
}

TEST(TrayText, HostNamesLoseFolderAndLastExtensionAndStartUpperCase)
{
    char name[64];
    HostDisplayName("C:\\Program Files\\DJ\\my.audio.host.exe", name, sizeof(name));
    EXPECT_STREQ(name, "My.audio.host");
    HostDisplayName("host", name, sizeof(name));
    EXPECT_STREQ(name, "Host");
    HostDisplayName("C:\\tools.d\\9lives", name, sizeof(name));
    EXPECT_STREQ(name, "9lives") << "a dot in a folder is not the extension";
    HostDisplayName("C:\\x\\averylongname.exe", name, 5);
    EXPECT_STREQ(name, "Aver");
}

TEST(TrayText, FieldsAreNeverOverrun)
{
    char field[8];
    std::memset(field, 'x', sizeof(field));
    TextCursor cursor = {field, 6, 0};
    AppendText(&cursor, "abc");
    AppendDecimal(&cursor, -2147483647L - 1);
    EXPECT_STREQ(field, "abc-2");
    EXPECT_EQ(field[6], 'x');
    TextCursor numbers = {field, sizeof(field), 0};
    AppendDecimal(&numbers, 0);
    AppendDecimal(&numbers, -45);
    EXPECT_STREQ(field, "0-45");
}

}  // namespace
