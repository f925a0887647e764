#include "driver/engine/buffer_switch.h"

#include <cstring>

#include "driver/core/active_pins.h"
#include "driver/engine/cache_flush.h"
#include "driver/engine/conversion/pin_converters.h"
#include "driver/engine/engine_state.h"
#include "driver/engine/host_callbacks.h"
#include "driver/engine/pin_conversion.h"
#include "driver/engine/pin_events.h"
#include "driver/engine/pin_requests.h"
#include "driver/engine/stream_flags.h"
#include "driver/engine/stream_run.h"
#include "driver/engine/streaming_thread.h"

volatile LONG SwitchCounter;
volatile LONG InSwitchFlag;

namespace {

// Packets, and the halves the master's notifications hand over, are converted whole.
// Every other looped pin and large packets are converted at their moving loop
// position: a notifying pin other than the master started at another instant, so its
// halves are out of step with the master's (its blocks are placed by PlaceFollowers).
bool ConvertsPackets(const PinRecord* pin)
{
    return IsStandardMode(pin->streamFlags) || (pin == Stream.master && pin->notificationEvent != nullptr);
}

void ConvertCapture(const HostStream& host)
{
    for (DWORD index = 0; index < ActivePinCount; ++index) {
        PinRecord* pin = ActivePins[index].pin;
        // A closed pin's memory may be gone (a looped buffer); its inputs keep the
        // silence of the restart.
        if (!IsCapturePin(pin) || !IsPinOpen(pin)) continue;
        if (ConvertsPackets(pin))
            CaptureFromPackets(host, pin->conversion);
        else
            CaptureFromLoop(host, pin->conversion);
        CopyPadChannel(host.slab, pin->conversion.firstSlabChannel, pin->conversion.channels);
    }
}

// The notifying capture pins' inputs, pad runs included, become silence: the device was
// writing again where their blocks lay, and the host hears no splice of two cycles.
void SilenceNotifiedCapture(const ChannelSlabLayout& slab)
{
    for (DWORD index = 0; index < ActivePinCount; ++index) {
        const PinRecord* pin = ActivePins[index].pin;
        const ConversionPin& conversion = pin->conversion;
        if (!IsCapturePin(pin) || !IsPinOpen(pin) || pin->notificationEvent == nullptr ||
            !PinFitsInputRuns(slab, conversion.firstSlabChannel, conversion.channels))
            continue;
        std::memset(InputRun(slab, conversion.firstSlabChannel), 0,
                    std::size_t(PinRunCount(conversion.channels)) * slab.runLength * sizeof(INT32));
    }
}

// The outputs of the switch in the slab, converted into every open render pin's packet
// or loop.
void ConvertOutputs()
{
    const HostStream host = CurrentHostStream();
    for (DWORD index = 0; index < ActivePinCount; ++index) {
        PinRecord* pin = ActivePins[index].pin;
        if (IsCapturePin(pin) || !IsPinOpen(pin)) continue;
        if (ConvertsPackets(pin))
            RenderToPackets(host, pin->conversion, FlushCacheRange);
        else
            RenderToLoop(host, pin->conversion, FlushCacheRange);
    }
}

// Packet pins get the packets just converted. Only the streaming thread submits: Windows
// cancels the requests a thread left outstanding when it ends, and a host's thread may
// end while its packets still wait to be played.
void SubmitOutputs()
{
    DWORD depth = 1;
    for (DWORD index = 0; index < ActivePinCount; ++index) {
        PinRecord* pin = ActivePins[index].pin;
        if (IsCapturePin(pin) || !IsPinOpen(pin) || pin->notificationEvent != nullptr ||
            !IsStandardMode(pin->streamFlags))
            continue;
        if (TrimsRenderQueue(pin))
            SkipRenderPacket(pin);
        else
            SubmitRenderPacket(pin);
        if (DWORD(pin->inFlight) > depth) depth = DWORD(pin->inFlight);
    }
    Stream.renderQueueDepth = depth;
}

void SendOutputs()
{
    ConvertOutputs();
    SubmitOutputs();
}

// Set by a host thread's outputReady that converted the outputs and left their packets
// to the streaming thread; read once that thread has seen the host's claim end.
bool OutputsAwaitSubmission;

}  // namespace

// Priming switches fill the device's queues before the host hears of them.
DWORD FirstHostSwitch()
{
    const PinModeCounts& modes = ActivePinModes;
    bool timedPins = modes.largePacketRender + modes.largePacketCapture + modes.loopedRender + modes.loopedCapture;
    return timedPins ? 2 * BlocksPerLargePacket + 1 : 2;
}

void DoSwitch(bool notifiedBlocksLost)
{
    const HostStream host = CurrentHostStream();
    ConvertCapture(host);
    if (notifiedBlocksLost) {
        SilenceNotifiedCapture(host.slab);
    } else if (NotifiedCaptureOverwritten()) {
        StampResync();
        SilenceNotifiedCapture(host.slab);
    }
    // Priming switches fill the device's queues; the host neither hears of them nor
    // sees its position move.
    if (Stream.switchEvents < FirstHostSwitch()) {
        SendOutputs();
        ++Stream.switchEvents;
        return;
    }
    __atomic_fetch_or(&InSwitchFlag, SwitchInProgress, __ATOMIC_SEQ_CST);
    HostCallbacks.bufferSwitch(SwitchCounter & 1, ASIOTrue);
    LeaveIfEndedInCallback();
    if (__atomic_fetch_and(&InSwitchFlag, ~SwitchInProgress, __ATOMIC_SEQ_CST) & SwitchInProgress) {
        SendOutputs();
        InterlockedIncrement(&SwitchCounter);
    } else {
        AwaitHostOutputs();
        if (OutputsAwaitSubmission) {
            OutputsAwaitSubmission = false;
            SubmitOutputs();
        }
    }
    ++Stream.switchEvents;
}

void AwaitHostOutputs()
{
    while (__atomic_load_n(&InSwitchFlag, __ATOMIC_SEQ_CST) & HostSendsOutputs) SwitchToThread();
}

// A host thread's outputReady claims the switch in progress and converts its outputs;
// the thread waits for it before the stream moves on, so nothing it writes to can go
// (a restart releases looped buffers), then submits the packets itself.
ASIOError FinishOutputs()
{
    LONG inSwitch = SwitchInProgress;
    if (!__atomic_compare_exchange_n(&InSwitchFlag, &inSwitch, HostSendsOutputs, false, __ATOMIC_SEQ_CST,
                                     __ATOMIC_SEQ_CST))
        return ASE_NotPresent;
    ConvertOutputs();
    if (OnStreamingThread())
        SubmitOutputs();
    else
        OutputsAwaitSubmission = true;
    InterlockedIncrement(&SwitchCounter);
    __atomic_fetch_and(&InSwitchFlag, ~HostSendsOutputs, __ATOMIC_SEQ_CST);
    return ASE_NotPresent;
}
