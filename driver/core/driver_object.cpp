#include "driver/core/driver_object.h"

#include "driver/core/com_objects.h"
#include "driver/core/module.h"
#include "driver/core/oem_block.h"
#include "driver/engine/realtime_scheduling.h"

volatile LONG DriverState = DriverLoaded;

// Operations that the streaming engine will serve; until then hosts learn that no
// device is present.
static ASIOError MEMBER_CALL NotPresent(void*)
{
    return ASE_NotPresent;
}

static ASIOBool MEMBER_CALL Init(void*, void*)
{
    return ASIOFalse;
}

static void MEMBER_CALL GetDriverName(void*, char* name)
{
    if (name == nullptr) return;
    lstrcpynA(name, OemConfig.driverName.text, AsioDriverNameSize);
}

static long MEMBER_CALL GetDriverVersion(void*)
{
    return 2;
}

static void MEMBER_CALL GetErrorMessage(void*, char* text)
{
    if (text == nullptr) return;
    lstrcpynA(text, "No error information available!", AsioErrorMessageSize);
}

static ASIOError MEMBER_CALL GetTwoLongs(void*, long*, long*)
{
    return ASE_NotPresent;
}

static ASIOError MEMBER_CALL GetBufferSize(void*, long*, long*, long*, long*)
{
    return ASE_NotPresent;
}

static ASIOError MEMBER_CALL SampleRateNotPresent(void*, ASIOSampleRate)
{
    return ASE_NotPresent;
}

static ASIOError MEMBER_CALL GetSampleRate(void*, ASIOSampleRate*)
{
    return ASE_NotPresent;
}

static ASIOError MEMBER_CALL GetClockSources(void*, ASIOClockSource* clocks, long* count)
{
    if (count == nullptr) return ASE_InvalidParameter;
    *count = 1;
    if (clocks == nullptr) return ASE_InvalidParameter;
    clocks[0].index = 0;
    clocks[0].associatedChannel = 0;
    clocks[0].associatedGroup = 0;
    clocks[0].isCurrentSource = ASIOTrue;
    lstrcpynA(clocks[0].name, "Default", sizeof(clocks[0].name));
    return ASE_OK;
}

static ASIOError MEMBER_CALL SetClockSource(void*, long reference)
{
    return reference == 0 ? ASE_OK : ASE_NoClock;
}

static ASIOError MEMBER_CALL GetSamplePosition(void*, ASIOSamples*, ASIOTimeStamp*)
{
    return ASE_NotPresent;
}

static ASIOError MEMBER_CALL GetChannelInfo(void*, ASIOChannelInfo* info)
{
    return info == nullptr ? ASE_InvalidParameter : ASE_NotPresent;
}

static ASIOError MEMBER_CALL CreateBuffers(void*, ASIOBufferInfo*, long, long, ASIOCallbacks*)
{
    return ASE_NotPresent;
}

static ASIOError MEMBER_CALL Future(void*, long, void*)
{
    return ASE_NotPresent;
}

const DriverObjectTable DriverObjectMethods = {
    .QueryInterface = SharedQueryInterface,
    .AddRef = SharedAddRef,
    .Release = SharedRelease,
    .init = Init,
    .getDriverName = GetDriverName,
    .getDriverVersion = GetDriverVersion,
    .getErrorMessage = GetErrorMessage,
    .start = NotPresent,
    .stop = NotPresent,
    .getChannels = GetTwoLongs,
    .getLatencies = GetTwoLongs,
    .getBufferSize = GetBufferSize,
    .canSampleRate = SampleRateNotPresent,
    .getSampleRate = GetSampleRate,
    .setSampleRate = SampleRateNotPresent,
    .getClockSources = GetClockSources,
    .setClockSource = SetClockSource,
    .getSamplePosition = GetSamplePosition,
    .getChannelInfo = GetChannelInfo,
    .createBuffers = CreateBuffers,
    .disposeBuffers = NotPresent,
    .controlPanel = NotPresent,
    .future = Future,
    .outputReady = NotPresent,
};

void DriverObjectFirstReference()
{
    LoadMmcssLibraries();
    StartModule();
}

void DriverObjectLastRelease()
{
    // A control panel that is still open keeps the lock for its own use.
    if (OpenDialogCount != 0) return;
    EndModule();
    FreeMmcssLibraries();
}
