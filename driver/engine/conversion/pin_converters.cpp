#include "driver/engine/conversion/pin_converters.h"

#include <cstddef>

#include "driver/engine/conversion/direct_kernels.h"
#include "driver/engine/conversion/resampler_kernels.h"

namespace {

// Bounds that keep the position arithmetic far from overflow; real formats are far below.
constexpr std::uint32_t MaxSampleRate = 1u << 24;
constexpr std::uint32_t MaxBlockAlign = 0xFFFF;  // nBlockAlign is 16 bits wide

DeviceFormat FormatOf(const ConversionPin& pin)
{
    return {pin.channels, ContainerForBits(pin.bitsPerSample), pin.blockAlign};
}

bool Converting(const HostStream& host, const ConversionPin& pin)
{
    return UsesRateConverter(pin.sampleRate, host.hostRate);
}

bool PinUsable(const HostStream& host, const ConversionPin& pin, ConversionDirection direction)
{
    const ChannelSlabLayout& slab = host.slab;
    const bool fits = direction == ConversionDirection::Render
                          ? PinFitsOutputRuns(slab, pin.firstSlabChannel, pin.channels)
                          : PinFitsInputRuns(slab, pin.firstSlabChannel, pin.channels);
    return fits && slab.samples != nullptr && slab.runLength > 0 && pin.blockAlign <= MaxBlockAlign &&
           pin.sampleRate <= MaxSampleRate &&
           std::uint64_t{pin.channels} * ContainerBytes(ContainerForBits(pin.bitsPerSample)) <= pin.blockAlign &&
           (!Converting(host, pin) || pin.converter.history != nullptr);
}

// Device frames of one host block: the block itself, or what the converter makes of it.
std::uint32_t BlockDeviceFrames(const HostStream& host, const ConversionPin& pin, ConversionDirection direction)
{
    return Converting(host, pin) ? ResampledDeviceFrames(pin.converter, direction, host.slab.runLength)
                                 : host.slab.runLength;
}

// Moves one host block into the ring from ring.next on; returns the device frames moved.
std::uint32_t RenderBlock(const HostStream& host, ConversionPin& pin, DeviceRing ring)
{
    const DeviceFormat format = FormatOf(pin);
    const std::int32_t* runs = OutputRun(host.slab, pin.firstSlabChannel);
    const std::uint32_t block = host.slab.runLength;
    if (Converting(host, pin)) {
        return ChooseRenderResampled()(format, runs, block, block, pin.converter, ring);
    }
    const RenderDirectKernel render = ChooseRenderDirect(format);
    for (std::uint32_t done = 0; done < block; ring.next = 0) {
        const std::uint32_t frames = block - done < ring.frames - ring.next ? block - done : ring.frames - ring.next;
        render(format, runs + done, block, frames, ring.start + std::size_t{ring.next} * format.frameBytes);
        done += frames;
    }
    return block;
}

std::uint32_t CaptureBlock(const HostStream& host, ConversionPin& pin, DeviceRing ring)
{
    const DeviceFormat format = FormatOf(pin);
    std::int32_t* runs = InputRun(host.slab, pin.firstSlabChannel);
    const std::uint32_t block = host.slab.runLength;
    if (Converting(host, pin)) {
        return ChooseCaptureResampled()(format, ring, runs, block, block, pin.converter);
    }
    const CaptureDirectKernel capture = ChooseCaptureDirect(format);
    for (std::uint32_t done = 0; done < block; ring.next = 0) {
        const std::uint32_t frames = block - done < ring.frames - ring.next ? block - done : ring.frames - ring.next;
        capture(format, ring.start + std::size_t{ring.next} * format.frameBytes, frames, runs + done, block);
        done += frames;
    }
    return block;
}

// The loop in whole frames, and where a block starts in it: the loop position moved by
// `shiftBytes` and brought into the loop (by as many loop lengths as it takes).
struct LoopPlacement {
    DeviceRing ring;
    std::uintptr_t loopStart;
    std::int64_t loopBytes;
};

bool PlaceInLoop(const ConversionPin& pin, std::int64_t shiftBytes, LoopPlacement& placement)
{
    std::uint8_t* start = pin.packetData[2];
    const auto startAddress = reinterpret_cast<std::uintptr_t>(start);
    const auto endAddress = reinterpret_cast<std::uintptr_t>(pin.packetData[3]);
    if (start == nullptr || endAddress <= startAddress || pin.blockAlign == 0) {
        return false;
    }
    const std::uintptr_t loopFrames = (endAddress - startAddress) / pin.blockAlign;
    if (loopFrames == 0 || loopFrames > UINT32_MAX) {
        return false;
    }
    const auto loopBytes = static_cast<std::int64_t>(loopFrames * pin.blockAlign);
    const auto fromStart = static_cast<std::int64_t>(static_cast<std::intptr_t>(pin.loopPosition - startAddress));
    std::int64_t offset = fromStart % loopBytes + shiftBytes % loopBytes;
    offset = (offset % loopBytes + loopBytes) % loopBytes;
    placement.ring = {start, static_cast<std::uint32_t>(loopFrames),
                      static_cast<std::uint32_t>(offset / pin.blockAlign)};
    placement.loopStart = startAddress;
    placement.loopBytes = loopBytes;
    return true;
}

// The address after the last frame moved: the loop end when it ended there.
std::uintptr_t EndAddress(const LoopPlacement& placement, std::uint32_t moved, std::uint32_t blockAlign)
{
    const DeviceRing& ring = placement.ring;
    const std::uint64_t end = moved == 0 ? ring.next : (std::uint64_t{ring.next} + moved - 1) % ring.frames + 1;
    return placement.loopStart + static_cast<std::uintptr_t>(end * blockAlign);
}

// Frames between the loop position and the block, from milliseconds (signed division).
std::int64_t PositionOffsetBytes(const HostStream& host, const ConversionPin& pin, ConversionDirection direction)
{
    const std::int64_t shiftMs = direction == ConversionDirection::Render
                                     ? std::int64_t{pin.bufferPositionMs} + host.startDelayMs - pin.measuredOffsetMs
                                     : std::int64_t{pin.bufferPositionMs} + pin.measuredOffsetMs - host.startDelayMs;
    return shiftMs * pin.sampleRate / 1000 * pin.blockAlign;
}

void FlushLoopWrite(const LoopPlacement& placement, std::uint32_t moved, std::uint32_t blockAlign, CacheFlush flush)
{
    const DeviceRing& ring = placement.ring;
    if (flush == nullptr || moved == 0) {
        return;
    }
    const auto* start = reinterpret_cast<const std::uint8_t*>(placement.loopStart);
    const std::uint8_t* loopEnd = start + placement.loopBytes;
    const std::uint8_t* first = start + std::size_t{ring.next} * blockAlign;
    if (std::uint64_t{ring.next} + moved <= ring.frames) {
        flush(first, first + std::size_t{moved} * blockAlign);
    } else if (moved >= ring.frames) {
        flush(start, loopEnd);
    } else {
        flush(first, loopEnd);
        flush(start, start + std::size_t{ring.next + moved - ring.frames} * blockAlign);
    }
}

}  // namespace

std::uint32_t RenderToPackets(const HostStream& host, ConversionPin& pin, CacheFlush flush)
{
    if (!PinUsable(host, pin, ConversionDirection::Render)) {
        return 0;
    }
    std::uint8_t* target =
        pin.loopHalves ? pin.packetData[pin.submittedCount % 2] : pin.packetData[pin.submittedCount % 8];
    if (target == nullptr) {
        return 0;
    }
    const std::uint32_t frames = BlockDeviceFrames(host, pin, ConversionDirection::Render);
    const std::uint32_t moved = RenderBlock(host, pin, {target, frames, 0});
    if (pin.loopHalves) {
        if (flush != nullptr) {
            flush(target, target + std::size_t{moved} * pin.blockAlign);
        }
        ++pin.submittedCount;
    }
    return moved;
}

std::uint32_t CaptureFromPackets(const HostStream& host, ConversionPin& pin)
{
    if (!PinUsable(host, pin, ConversionDirection::Capture)) {
        return 0;
    }
    std::uint8_t* source =
        pin.loopHalves ? pin.packetData[pin.convertedCount % 2] : pin.packetData[pin.convertedCount % 8];
    if (source == nullptr) {
        return 0;
    }
    const std::uint32_t frames = BlockDeviceFrames(host, pin, ConversionDirection::Capture);
    const std::uint32_t moved = CaptureBlock(host, pin, {source, frames, 0});
    ++pin.convertedCount;
    return moved;
}

std::uint32_t RenderToLoop(const HostStream& host, ConversionPin& pin, CacheFlush flush)
{
    LoopPlacement placement;
    if (!PinUsable(host, pin, ConversionDirection::Render)) {
        return 0;
    }
    const std::int64_t offsetBytes = PositionOffsetBytes(host, pin, ConversionDirection::Render);
    if (!PlaceInLoop(pin, offsetBytes, placement)) {
        return 0;
    }
    const std::uint32_t moved = RenderBlock(host, pin, placement.ring);
    pin.loopPosition = EndAddress(placement, moved, pin.blockAlign) - static_cast<std::uintptr_t>(offsetBytes);
    FlushLoopWrite(placement, moved, pin.blockAlign, flush);
    return moved;
}

std::uint32_t CaptureFromLoop(const HostStream& host, ConversionPin& pin)
{
    LoopPlacement placement;
    if (!PinUsable(host, pin, ConversionDirection::Capture)) {
        return 0;
    }
    const std::int64_t offsetBytes = PositionOffsetBytes(host, pin, ConversionDirection::Capture);
    if (!PlaceInLoop(pin, -offsetBytes, placement)) {
        return 0;
    }
    const std::uint32_t moved = CaptureBlock(host, pin, placement.ring);
    pin.loopPosition = EndAddress(placement, moved, pin.blockAlign) + static_cast<std::uintptr_t>(offsetBytes);
    return moved;
}
