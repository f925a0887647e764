// kaskade-host: a command-line ASIO host for support and vendors. It lists the drivers
// registered in this process's registry view, creates one to show what it reports,
// streams through one, and opens one's control panel.
#include <objbase.h>
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "asio_host/driver_session.h"
#include "asio_host/installed_drivers.h"
#include "asio_host/stream_command.h"

static int Usage()
{
    std::fprintf(stderr,
                 "usage: kaskade-host list\n"
                 "       kaskade-host info [NAME]   (every registered driver without NAME)\n"
                 "%s"
                 "       kaskade-host panel NAME    opens the driver's control panel\n"
                 "A 32-bit host sees the drivers registered for 32-bit hosts, a 64-bit host the others.\n",
                 StreamUsage);
    return 2;
}

static int ListDrivers()
{
    auto drivers = ListInstalledDrivers();
    std::printf("%u ASIO driver(s) registered for %d-bit hosts\n", unsigned(drivers.size()),
                int(sizeof(void*) * 8));
    for (const auto& driver : drivers)
        std::printf("  %-32s %s\n", driver.name.c_str(), driver.classId.c_str());
    return 0;
}

static void ShowChannels(IAsioDriver* asio, const char* heading, ASIOBool input, long count, long latency)
{
    std::printf("%-9s %ld, latency %ld samples\n", heading, count, latency);
    for (long channel = 0; channel < count; ++channel) {
        ASIOChannelInfo info = {};
        info.channel = channel;
        info.isInput = input;
        if (asio->getChannelInfo(&info) == ASE_OK) std::printf("  %3ld  %s\n", channel, info.name);
    }
}

// What a host learns after init: channels and their names, latencies, buffer sizes,
// the sample rate and the clock sources.
static void ShowConfiguration(IAsioDriver* asio)
{
    long inputs = 0, outputs = 0, inputLatency = 0, outputLatency = 0;
    asio->getChannels(&inputs, &outputs);
    asio->getLatencies(&inputLatency, &outputLatency);
    ShowChannels(asio, "Inputs:", ASIOTrue, inputs, inputLatency);
    ShowChannels(asio, "Outputs:", ASIOFalse, outputs, outputLatency);

    long minimum = 0, maximum = 0, preferred = 0, granularity = 0;
    asio->getBufferSize(&minimum, &maximum, &preferred, &granularity);
    std::printf("Buffer:   %ld to %ld samples in steps of %ld, preferred %ld\n", minimum, maximum, granularity,
                preferred);
    ASIOSampleRate rate = 0;
    asio->getSampleRate(&rate);
    std::printf("Rate:     %.0f Hz\n", rate);

    ASIOClockSource clocks[8] = {};
    long clockCount = 8;
    if (asio->getClockSources(clocks, &clockCount) != ASE_OK) clockCount = 0;
    for (long clock = 0; clock < clockCount && clock < 8; ++clock)
        std::printf("Clock:    %s%s\n", clocks[clock].name, clocks[clock].isCurrentSource ? " (current)" : "");
}

static int ShowDriver(const InstalledDriver& driver)
{
    long error = 0;
    IAsioDriver* asio = CreateDriver(driver, error);
    if (asio == nullptr) {
        std::fprintf(stderr, "kaskade-host: creating \"%s\" failed (0x%08lX)\n", driver.name.c_str(),
                     static_cast<unsigned long>(error));
        return 1;
    }
    char driverName[AsioDriverNameSize] = {};
    asio->getDriverName(driverName);
    std::printf("Driver:   %s\nClass id: %s\nName:     %s\nVersion:  %ld\n", driver.name.c_str(),
                driver.classId.c_str(), driverName, asio->getDriverVersion());
    bool initialised = asio->init(nullptr) == ASIOTrue;
    if (initialised) {
        ShowConfiguration(asio);
    } else {
        char message[AsioErrorMessageSize] = {};
        asio->getErrorMessage(message);
        std::printf("init failed: %s\n", message);
    }
    asio->Release();
    return initialised ? 0 : 1;
}

// Shows the driver called `name`, or every registered driver when `name` is null.
static int ShowDrivers(const char* name)
{
    int shown = 0, failed = 0;
    for (const auto& driver : ListInstalledDrivers()) {
        if (name != nullptr && _stricmp(driver.name.c_str(), name) != 0) continue;
        failed += ShowDriver(driver);
        ++shown;
    }
    if (shown == 0) {
        std::fprintf(stderr, "kaskade-host: no ASIO driver%s%s%s is registered for %d-bit hosts\n",
                     name ? " named \"" : "", name ? name : "", name ? "\"" : "", int(sizeof(void*) * 8));
        return 1;
    }
    return failed == 0 ? 0 : 1;
}

static BOOL CALLBACK FindShownWindow(HWND window, LPARAM found)
{
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != GetCurrentProcessId() || !IsWindowVisible(window)) return TRUE;
    *reinterpret_cast<bool*>(found) = true;
    return FALSE;
}

static bool PanelShown()
{
    bool found = false;
    EnumWindows(FindShownWindow, reinterpret_cast<LPARAM>(&found));
    return found;
}

// Calls controlPanel, then serves the panel's windows until the user closes them. A
// panel that shows no window within a second (or one run by another process) ends the
// wait at once.
static int OpenPanel(const char* name)
{
    std::string error;
    IAsioDriver* asio = OpenDriver(name, error);
    if (asio == nullptr) {
        std::fprintf(stderr, "kaskade-host: %s\n", error.c_str());
        return 1;
    }
    ASIOError result = asio->controlPanel();
    if (result != ASE_OK) {
        asio->Release();
        std::fprintf(stderr, "kaskade-host: controlPanel returned %ld\n", result);
        return 1;
    }
    std::printf("controlPanel: opened\n");
    std::fflush(stdout);
    DWORD start = GetTickCount();
    bool seen = false;
    for (;;) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        bool shown = PanelShown();
        seen = seen || shown;
        if (seen ? !shown : GetTickCount() - start > 1000) break;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    }
    std::printf("controlPanel: %s\n", seen ? "closed" : "no window of this process was shown");
    asio->Release();
    return 0;
}

int main(int argc, char** argv)
{
    if (argc < 2) return Usage();
    CoInitialize(nullptr);
    int result;
    if (std::strcmp(argv[1], "list") == 0 && argc == 2)
        result = ListDrivers();
    else if (std::strcmp(argv[1], "info") == 0 && argc <= 3)
        result = ShowDrivers(argc == 3 ? argv[2] : nullptr);
    else if (std::strcmp(argv[1], "stream") == 0)
        result = StreamCommand(argc - 2, argv + 2);
    else if (std::strcmp(argv[1], "panel") == 0 && argc == 3)
        result = OpenPanel(argv[2]);
    else
        result = Usage();
    CoUninitialize();
    return result;
}
