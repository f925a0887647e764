// kaskade-host: a command-line ASIO host for support and vendors. It lists the drivers
// registered in this process's registry view, creates one to show what it reports,
// streams through one, and opens one's control panel.
#include <objbase.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "asio_host/driver_session.h"
#include "asio_host/installed_drivers.h"
#include "asio_host/stream_command.h"

namespace {

int Usage()
{
    std::fprintf(stderr,
                 "usage: kaskade-host list\n"
                 "       kaskade-host info [NAME]   (every registered driver without NAME)\n"
                 "%s"
                 "       kaskade-host panel NAME [SECONDS]   opens the driver's control panel and stays its\n"
                 "                 host until the panel closes, at most SECONDS (60 by default)\n"
                 "A 32-bit host sees the drivers registered for 32-bit hosts, a 64-bit host the others.\n",
                 StreamUsage);
    return 2;
}

int ListDrivers()
{
    auto drivers = ListInstalledDrivers();
    std::printf("%u ASIO driver(s) registered for %d-bit hosts\n", unsigned(drivers.size()), int(sizeof(void*) * 8));
    for (const auto& driver : drivers) std::printf("  %-32s %s\n", driver.name.c_str(), driver.classId.c_str());
    return 0;
}

// Lists the channels; true when the driver names one "Not Connected", its stand-in
// for a device it cannot use.
bool ShowChannels(IAsioDriver* asio, const char* heading, ASIOBool input, long count, long latency)
{
    static const char NotConnected[] = "Not Connected";
    bool unconnected = false;
    std::printf("%-9s %ld, latency %ld samples\n", heading, count, latency);
    for (long channel = 0; channel < count; ++channel) {
        ASIOChannelInfo info = {};
        info.channel = channel;
        info.isInput = input;
        if (asio->getChannelInfo(&info) != ASE_OK) continue;
        std::printf("  %3ld  %s\n", channel, info.name);
        unconnected = unconnected || std::strncmp(info.name, NotConnected, sizeof(NotConnected) - 1) == 0;
    }
    return unconnected;
}

// What a host learns after init: channels and their names, latencies, buffer sizes,
// the sample rate and the clock sources.
void ShowConfiguration(IAsioDriver* asio)
{
    long inputs = 0, outputs = 0, inputLatency = 0, outputLatency = 0;
    asio->getChannels(&inputs, &outputs);
    asio->getLatencies(&inputLatency, &outputLatency);
    bool unconnected = ShowChannels(asio, "Inputs:", ASIOTrue, inputs, inputLatency);
    unconnected = ShowChannels(asio, "Outputs:", ASIOFalse, outputs, outputLatency) || unconnected;
    if (unconnected) {
        // Why the driver has no device to stream through, as far as it can say.
        char reason[AsioErrorMessageSize] = {};
        asio->getErrorMessage(reason);
        std::printf("Reason:   %s\n", reason);
    }

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

int ShowDriver(const InstalledDriver& driver)
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
int ShowDrivers(const char* name)
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

BOOL CALLBACK FindShownWindow(HWND window, LPARAM found)
{
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != GetCurrentProcessId() || !IsWindowVisible(window)) return TRUE;
    *reinterpret_cast<bool*>(found) = true;
    return FALSE;
}

bool PanelShown()
{
    bool found = false;
    EnumWindows(FindShownWindow, reinterpret_cast<LPARAM>(&found));
    return found;
}

volatile LONG ResetRequested;

void IgnoreSwitch(long, ASIOBool) {}

long AnswerDriverMessage(long selector, long value, void*, double*)
{
    if (selector == kAsioSelectorSupported) return value == kAsioResetRequest ? 1 : 0;
    if (selector != kAsioResetRequest) return 0;
    // Called on the driver's thread: the reset itself happens on the host's.
    InterlockedExchange(&ResetRequested, 1);
    return 1;
}

// Buffers of the driver's preferred size for its first output, as a host holds them.
void CreateSessionBuffers(IAsioDriver* asio, ASIOBufferInfo* buffer, ASIOCallbacks* callbacks)
{
    long minimum = 0, maximum = 0, preferred = 0, granularity = 0;
    asio->getBufferSize(&minimum, &maximum, &preferred, &granularity);
    *buffer = {ASIOFalse, 0, {}};
    ASIOError result = asio->createBuffers(buffer, 1, preferred, callbacks);
    std::printf("buffers of %ld samples: %s\n", preferred, result == ASE_OK ? "created" : "refused");
    std::fflush(stdout);
}

// A host's part while the user works in the driver's control panel: it answers reset
// requests the way hosts do, with a new session at the newly stored size, until the
// panel's window has closed again or `seconds` have passed.
int ShowPanel(const char* name, DWORD seconds)
{
    std::string error;
    IAsioDriver* asio = OpenDriver(name, error);
    if (asio == nullptr) {
        std::fprintf(stderr, "kaskade-host: %s\n", error.c_str());
        return 1;
    }
    ASIOBufferInfo buffer;
    ASIOCallbacks callbacks = {IgnoreSwitch, nullptr, AnswerDriverMessage, nullptr};
    CreateSessionBuffers(asio, &buffer, &callbacks);
    ASIOError result = asio->controlPanel();
    if (result != ASE_OK) {
        asio->Release();
        std::fprintf(stderr, "kaskade-host: controlPanel returned %ld\n", result);
        return 1;
    }
    std::printf("controlPanel: opened\n");
    std::fflush(stdout);
    bool seen = false;
    DWORD start = GetTickCount();
    while (GetTickCount() - start < seconds * 1000) {
        Sleep(100);
        bool shown = PanelShown();
        if (seen && !shown) break;
        seen = seen || shown;
        if (InterlockedExchange(&ResetRequested, 0) == 0) continue;
        std::printf("the driver asks for a reset\n");
        asio->disposeBuffers();
        if (asio->init(nullptr) == ASIOTrue) CreateSessionBuffers(asio, &buffer, &callbacks);
    }
    std::printf("controlPanel: %s\n", !seen ? "no window was shown" : PanelShown() ? "still open" : "closed");
    asio->Release();
    return 0;
}

}  // namespace

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
    else if (std::strcmp(argv[1], "panel") == 0 && (argc == 3 || argc == 4))
        result = ShowPanel(argv[2], argc == 4 ? DWORD(std::strtoul(argv[3], nullptr, 10)) : 60);
    else
        result = Usage();
    CoUninitialize();
    return result;
}
