#include "driver/core/host_buffers.h"

#include "driver/core/active_pins.h"
#include "driver/core/driver_object.h"
#include "driver/core/run_control.h"
#include "driver/engine/slab_memory.h"
#include "driver/engine/engine_state.h"
#include "driver/engine/host_callbacks.h"
#include "driver/engine/stream_setup.h"
#include "driver/ui/tray_icon.h"

namespace {

bool IsInputRequest(const ASIOBufferInfo& info)
{
    return info.isInput == ASIOTrue;
}

ASIOError CheckRequest(const ASIOBufferInfo* infos, long channelCount, long bufferSize, const ASIOCallbacks* callbacks)
{
    if (infos == nullptr || callbacks == nullptr || callbacks->bufferSwitch == nullptr || channelCount <= 0)
        return ASE_InvalidParameter;
    if (bufferSize < MinimumHostBufferSize || bufferSize > MaximumHostBufferSize) return ASE_InvalidMode;
    const long inputs = long(ReportedChannelCount(true));
    const long outputs = long(ReportedChannelCount(false));
    // More entries than channels cannot all be valid, and the host's array may be no
    // longer than the channels offered: refused before any entry is read.
    if (channelCount > inputs + outputs) return ASE_InvalidMode;
    for (long index = 0; index < channelCount; ++index) {
        long limit = IsInputRequest(infos[index]) ? inputs : outputs;
        if (infos[index].channelNum < 0 || infos[index].channelNum >= limit) return ASE_InvalidMode;
    }
    return ASE_OK;
}

void MarkChannelActive(BYTE* channelMap, DWORD channel)
{
    channelMap[channel / 8] |= BYTE(1u << (channel % 8));
}

}  // namespace

ASIOError CreateHostBuffers(ASIOBufferInfo* infos, long channelCount, long bufferSize, ASIOCallbacks* callbacks)
{
    if (DriverState == DriverLoaded) return ASE_InvalidMode;
    DisposeHostBuffers();
    // The session may have ended while a streaming thread was waited for.
    if (DriverState == DriverLoaded) return ASE_InvalidMode;
    ASIOError check = CheckRequest(infos, channelCount, bufferSize, callbacks);
    if (check != ASE_OK) return check;

    if (!AllocateChannelSlab(DWORD(bufferSize))) return ASE_NoMemory;
    const ChannelSlabLayout slab = HostSlabLayout(DWORD(bufferSize));
    HostCallbacks = *callbacks;
    RequestedBufferSize = DWORD(bufferSize);
    for (long index = 0; index < channelCount; ++index) {
        ASIOBufferInfo& info = infos[index];
        const DWORD channel = DWORD(info.channelNum);
        INT32* run;
        if (IsInputRequest(info)) {
            run = InputRun(slab, channel);
            MarkChannelActive(InputChannelMap, channel);
        } else {
            run = OutputRun(slab, channel);
            MarkChannelActive(OutputChannelMap, channel);
        }
        info.buffers[0] = info.buffers[1] = run;
    }
    DriverState = DriverPrepared;
    TrayNotifyState();
    return ASE_OK;
}

void DisposeHostBuffers()
{
    StopRunning();
    FreeChannelSlab();
    ClearChannelMaps();
    if (DriverState == DriverLoaded) return;
    DriverState = DriverInitialised;
    TrayNotifyState();
}
