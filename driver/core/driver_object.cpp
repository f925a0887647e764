#include "driver/core/driver_object.h"

#include <cstdint>

#include "driver/core/active_pins.h"
#include "driver/core/channel_names.h"
#include "driver/core/com_objects.h"
#include "driver/core/diagnostic_log.h"
#include "driver/core/driver_init.h"
#include "driver/core/host_buffers.h"
#include "driver/core/latencies.h"
#include "driver/core/module.h"
#include "driver/core/oem_block.h"
#include "driver/core/run_control.h"
#include "driver/core/sample_rates.h"
#include "driver/core/settings.h"
#include "driver/engine/buffer_switch.h"
#include "driver/engine/engine_state.h"
#include "driver/engine/stream_setup.h"
#include "driver/engine/streaming_thread.h"
#include "driver/ui/control_panel.h"
#include "driver/ui/tray_icon.h"

volatile LONG DriverState = DriverLoaded;

namespace {

// Operations that hold the driver lock check their arguments first, then hold it to
// their return. getDriverName, getDriverVersion, getErrorMessage, getClockSources,
// setClockSource, getSamplePosition, controlPanel, future and outputReady take no lock.

// Every error a host receives goes into the diagnostic log. outputReady is left out: it
// answers ASE_NotPresent by design, at every switch.
ASIOError Answered(const char* call, ASIOError result)
{
    if (result != ASE_OK) DiagnosticLine("host call %s returned %ld", call, result);
    return result;
}

ASIOBool MEMBER_CALL Init(void*, void* sysHandle)
{
    return InitDriver(sysHandle);
}

void MEMBER_CALL GetDriverName(void*, char* name)
{
    if (name == nullptr) return;
    lstrcpynA(name, OemConfig.driverName.text, AsioDriverNameSize);
}

long MEMBER_CALL GetDriverVersion(void*)
{
    return 2;
}

// The reason a selected device gives the host no channels, when set-up knows one.
void MEMBER_CALL GetErrorMessage(void*, char* text)
{
    if (text == nullptr) return;
    const char* problem = StreamSetupProblem();
    lstrcpynA(text, problem != nullptr ? problem : "No error information available!", AsioErrorMessageSize);
}

ASIOError MEMBER_CALL Start(void*)
{
    if (DriverState < DriverPrepared) return Answered("start before createBuffers", ASE_NotPresent);
    ASIOError result;
    {
        DriverLockGuard lock;
        result = StartRunning();
    }
    return Answered("start", result);
}

ASIOError MEMBER_CALL Stop(void*)
{
    DriverLockGuard lock;
    StopRunning();
    return ASE_OK;
}

ASIOError MEMBER_CALL GetChannels(void*, long* inputs, long* outputs)
{
    if (inputs == nullptr || outputs == nullptr) return Answered("getChannels", ASE_InvalidParameter);
    DriverLockGuard lock;
    *inputs = long(ReportedChannelCount(true));
    *outputs = long(ReportedChannelCount(false));
    return ASE_OK;
}

ASIOError MEMBER_CALL GetLatencies(void*, long* input, long* output)
{
    if (input == nullptr || output == nullptr) return Answered("getLatencies", ASE_InvalidParameter);
    DriverLockGuard lock;
    ComputeLatencies(input, output);
    return ASE_OK;
}

ASIOError MEMBER_CALL GetBufferSize(void*, long* minSize, long* maxSize, long* preferred, long* granularity)
{
    if (minSize == nullptr || maxSize == nullptr || preferred == nullptr || granularity == nullptr)
        return Answered("getBufferSize", ASE_InvalidParameter);
    DriverLockGuard lock;
    *minSize = MinimumHostBufferSize;
    *maxSize = MaximumHostBufferSize;
    // A stored size outside the offered range is shown inside it; the setting stays.
    DWORD size = PreferredBufferSize;
    if (size < DWORD(MinimumHostBufferSize)) size = MinimumHostBufferSize;
    if (size > DWORD(MaximumHostBufferSize)) size = MaximumHostBufferSize;
    *preferred = long(size);
    *granularity = HostBufferGranularity;
    return ASE_OK;
}

ASIOError RateRefused(const char* call, ASIOSampleRate rate)
{
    DiagnosticLine("host call %s(%.1f) returned %ld: not offered", call, rate, ASE_NoClock);
    return ASE_NoClock;
}

ASIOError MEMBER_CALL CanSampleRate(void*, ASIOSampleRate rate)
{
    DWORD rounded;
    if (!RoundSampleRate(rate, &rounded)) return RateRefused("canSampleRate", rate);
    bool offered;
    {
        DriverLockGuard lock;
        offered = IsOfferedSampleRate(rounded);
    }
    return offered ? ASE_OK : RateRefused("canSampleRate", rate);
}

ASIOError MEMBER_CALL GetSampleRate(void*, ASIOSampleRate* rate)
{
    if (rate == nullptr) return Answered("getSampleRate", ASE_InvalidParameter);
    DriverLockGuard lock;
    *rate = RequestedHostRate;
    return ASE_OK;
}

ASIOError MEMBER_CALL SetSampleRate(void*, ASIOSampleRate rate)
{
    DWORD rounded;
    if (!RoundSampleRate(rate, &rounded)) return RateRefused("setSampleRate", rate);
    DriverLockGuard lock;
    if (!IsOfferedSampleRate(rounded)) return RateRefused("setSampleRate", rate);
    GlobalSampleRate = rounded;
    WriteSettingValue(nullptr, nullptr, nullptr, "SampleRate", &GlobalSampleRate);
    RequestedHostRate = rounded;
    // The streaming thread reopens the pins at the new rate; it waits for no start.
    if (rounded != ActiveHostRate && DriverState == DriverRunning) SetEvent(RestartEvent);
    TrayNotifyState();
    return ASE_OK;
}

// The host's count says how many records its array holds; the answer is how many
// sources there are. An array without room for one, like no array, gets no record.
ASIOError MEMBER_CALL GetClockSources(void*, ASIOClockSource* clocks, long* count)
{
    if (count == nullptr) return Answered("getClockSources", ASE_InvalidParameter);
    const long room = *count;
    *count = 1;
    if (clocks == nullptr || room < 1) return Answered("getClockSources", ASE_InvalidParameter);
    clocks[0].index = 0;
    clocks[0].associatedChannel = 0;
    clocks[0].associatedGroup = 0;
    clocks[0].isCurrentSource = ASIOTrue;
    lstrcpynA(clocks[0].name, "Default", sizeof(clocks[0].name));
    return ASE_OK;
}

ASIOError MEMBER_CALL SetClockSource(void*, long reference)
{
    return Answered("setClockSource", reference == 0 ? ASE_OK : ASE_NoClock);
}

void SplitInto(std::uint64_t value, ASIOSamples* pair)
{
    pair->hi = static_cast<unsigned long>(value >> 32);
    pair->lo = static_cast<unsigned long>(value & 0xFFFFFFFF);
}

ASIOError MEMBER_CALL GetSamplePosition(void*, ASIOSamples* position, ASIOTimeStamp* time)
{
    if (position == nullptr || time == nullptr) return Answered("getSamplePosition", ASE_InvalidParameter);
    DWORD switches = DWORD(SwitchCounter);
    // Switches that prime the device are not shown to the host: they may take the count
    // below 0 for a moment.
    if (switches == 0xFFFFFFFF) switches = 0;
    SplitInto(std::uint64_t(switches) * ActiveBufferSize, position);
    SplitInto(std::uint64_t(LastWakeUpTime) * 1000000, time);
    return ASE_OK;
}

bool IsChannelActive(const BYTE* channelMap, DWORD channel)
{
    return (channelMap[channel / 8] >> (channel % 8)) & 1;
}

ASIOError MEMBER_CALL GetChannelInfo(void*, ASIOChannelInfo* info)
{
    if (info == nullptr) return Answered("getChannelInfo", ASE_InvalidParameter);
    DriverLockGuard lock;
    const bool input = info->isInput == ASIOTrue;
    if (info->channel < 0 || DWORD(info->channel) >= ReportedChannelCount(input))
        return Answered("getChannelInfo of a channel that does not exist", ASE_NotPresent);
    const DWORD channel = DWORD(info->channel);
    info->type = ASIOSTInt32LSB;
    info->channelGroup = 0;
    info->isActive = IsChannelActive(input ? InputChannelMap : OutputChannelMap, channel) ? ASIOTrue : ASIOFalse;
    WriteChannelName(input, channel, info->name);
    return ASE_OK;
}

ASIOError MEMBER_CALL CreateBuffers(void*, ASIOBufferInfo* infos, long channelCount, long bufferSize,
                                    ASIOCallbacks* callbacks)
{
    ASIOError result;
    {
        DriverLockGuard lock;
        result = CreateHostBuffers(infos, channelCount, bufferSize, callbacks);
    }
    if (result != ASE_OK)
        DiagnosticLine("host call createBuffers(%ld channels, %ld samples) returned %ld", channelCount, bufferSize,
                       result);
    return result;
}

ASIOError MEMBER_CALL DisposeBuffers(void*)
{
    DriverLockGuard lock;
    DisposeHostBuffers();
    return ASE_OK;
}

// A configuration program gets the dialog on its own thread; a host's request goes to
// the UI thread as a click on the icon would, so that it returns at once.
ASIOError MEMBER_CALL ControlPanel(void*)
{
    if (SetupModeSwitch) {
        OpenControlPanel(reinterpret_cast<HWND>(UINT_PTR(SetupModeHandle)));
        return ASE_OK;
    }
    // Once a host has asked for the control panel the module stays loaded for it until
    // the process ends. Raised to 1, not set: a dialog that is open counts on its own.
    InterlockedCompareExchange(&OpenDialogCount, 1, 0);
    for (HWND window = TrayWindow; window != nullptr && IsWindow(window); window = TrayWindow) {
        if (PostMessageA(window, WM_TRAYICON, TrayIconId, WM_LBUTTONDOWN)) break;
        Sleep(100);
    }
    return ASE_OK;
}

ASIOError MEMBER_CALL Future(void*, long selector, void*)
{
    DiagnosticLine("host call future(%ld) returned %ld: not supported", selector, ASE_NotPresent);
    return ASE_NotPresent;
}

ASIOError MEMBER_CALL OutputReady(void*)
{
    return FinishOutputs();
}

// No thread, no buffers, no open pin: the driver is loaded again.
void EndDriverSession()
{
    DisposeHostBuffers();
    CloseDriverStreams();
    ClearActivePins();
}

}  // namespace

const DriverObjectTable DriverObjectMethods = {
    .QueryInterface = SharedQueryInterface,
    .AddRef = SharedAddRef,
    .Release = SharedRelease,
    .init = Init,
    .getDriverName = GetDriverName,
    .getDriverVersion = GetDriverVersion,
    .getErrorMessage = GetErrorMessage,
    .start = Start,
    .stop = Stop,
    .getChannels = GetChannels,
    .getLatencies = GetLatencies,
    .getBufferSize = GetBufferSize,
    .canSampleRate = CanSampleRate,
    .getSampleRate = GetSampleRate,
    .setSampleRate = SetSampleRate,
    .getClockSources = GetClockSources,
    .setClockSource = SetClockSource,
    .getSamplePosition = GetSamplePosition,
    .getChannelInfo = GetChannelInfo,
    .createBuffers = CreateBuffers,
    .disposeBuffers = DisposeBuffers,
    .controlPanel = ControlPanel,
    .future = Future,
    .outputReady = OutputReady,
};

void DriverObjectLastRelease()
{
    DriverLockGuard lock;
    EndDriverSession();
    TrayNotifyState();
}

void DriverObjectDetach()
{
    // Under the loader lock, and at process exit every other thread is gone, perhaps
    // while it held the driver lock: so the lock is not taken here.
    EndDriverSession();
}
