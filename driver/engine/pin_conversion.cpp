#include "driver/engine/pin_conversion.h"

#include "driver/engine/engine_state.h"
#include "driver/engine/slab_memory.h"
#include "driver/engine/stream_flags.h"

HostStream CurrentHostStream()
{
    HostStream host = {};
    host.slab = HostSlabLayout(ActiveBufferSize);
    host.hostRate = ActiveHostRate;
    host.blocksPerLargePacket = BlocksPerLargePacket;
    host.startDelayMs = INT32(StartDelayMs);
    return host;
}

void DescribePinForConversion(PinRecord* pin)
{
    const KsWaveFormatExtensible* wave = PinWaveFormat(pin);
    ConversionPin& conversion = pin->conversion;
    conversion.channels = wave->channels;
    conversion.bitsPerSample = wave->bitsPerSample;
    conversion.blockAlign = wave->blockAlign;
    conversion.sampleRate = wave->samplesPerSec;
    conversion.largePacketMode = (pin->streamFlags & LargePacketMode) != 0;
    conversion.loopHalves = (pin->streamFlags & LoopedMode) && pin->notificationEvent != nullptr;
    // A notifying pin's blocks lie where the master's notifications put them, not a
    // setting's milliseconds away.
    conversion.bufferPositionMs = pin->bufferPosition != nullptr && !conversion.loopHalves ? *pin->bufferPosition : 0;
}
