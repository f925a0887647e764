#include "hardware_simulator/rtaudio_properties.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "hardware_simulator/property_answer.h"

namespace hardware_simulator {

namespace {

constexpr ULONG HardwareAlignment = 128;
constexpr ULONG RegisterWidth = 32;

// The answer to an output buffer that cannot take a `size`-byte value, checked before
// anything is allocated: a size query or a buffer too small.
std::optional<PropertyAnswer> OutputRefusal(DWORD outputSize, DWORD size)
{
    if (outputSize == 0) return PropertyAnswer{ERROR_MORE_DATA, size, {}};
    if (outputSize < size) return Failure(ERROR_INSUFFICIENT_BUFFER);
    return std::nullopt;
}

ULONGLONG CommonMultiple(ULONGLONG a, ULONGLONG b)
{
    ULONGLONG x = a, y = b;
    while (y != 0) x = std::exchange(y, x % y);
    return a / x * b;
}

// Bytes of `intervals` whole service intervals at the pin's rate: the frames of that
// many milliseconds, a last part-frame counted whole.
ULONGLONG IntervalBytes(ULONGLONG intervals, ULONG intervalMs, const KsWaveFormatExtensible& wave)
{
    ULONGLONG milliseconds = intervals * intervalMs;
    return (milliseconds * wave.samplesPerSec + 999) / 1000 * wave.blockAlign;
}

// ActualBufferSize for a request of whole service intervals: at least the request, or
// with a short buffer half of it (at least one interval).
ULONGLONG ServiceIntervalSize(const LoopedBufferTraits& traits, ULONG requested, const KsWaveFormatExtensible& wave)
{
    ULONG intervalMs = std::max<ULONG>(traits.serviceIntervalMs, 1);
    ULONGLONG perInterval = std::max<ULONGLONG>(IntervalBytes(1, intervalMs, wave), 1);
    if (traits.shortBuffer) {
        ULONGLONG intervals = std::max<ULONGLONG>(requested / 2 / perInterval, 1);
        while (intervals > 1 && IntervalBytes(intervals, intervalMs, wave) > requested / 2) --intervals;
        return IntervalBytes(intervals, intervalMs, wave);
    }
    ULONGLONG intervals = std::max<ULONGLONG>(requested / perInterval, 1);
    while (IntervalBytes(intervals, intervalMs, wave) < requested) ++intervals;
    return IntervalBytes(intervals, intervalMs, wave);
}

// ActualBufferSize for a request, in whole frames; above 4 GiB when it cannot be had.
ULONGLONG ActualSize(const LoopedBufferTraits& traits, ULONG requested, const KsWaveFormatExtensible& wave)
{
    ULONGLONG frame = std::max<ULONGLONG>(wave.blockAlign, 1);
    if (traits.rounding == BufferRounding::ToServiceIntervals && wave.samplesPerSec != 0)
        return ServiceIntervalSize(traits, requested, wave);
    ULONGLONG unit = traits.rounding == BufferRounding::To128Bytes ? CommonMultiple(frame, HardwareAlignment) : frame;
    if (traits.shortBuffer) return std::max(unit, requested / 2 / unit * unit);
    return (requested + unit - 1) / unit * unit;
}

// The FIFO that HWLATENCY reports, in whole frames: the device moves frames, not bytes.
ULONG FifoBytes(const LoopedBufferTraits& traits, const KsWaveFormatExtensible& wave)
{
    ULONG frame = std::max<ULONG>(wave.blockAlign, 1);
    return (traits.latency.fifoSize + frame - 1) / frame * frame;
}

PropertyAnswer AllocateBuffer(const PinPropertyRequest& request, ULONG requested, ULONG notificationCount)
{
    if (auto refusal = OutputRefusal(request.outputSize, sizeof(KsRtAudioBuffer))) return *refusal;
    if (requested == 0) return Failure(ERROR_GEN_FAILURE);
    const LoopedBufferTraits& traits = request.type->looped;
    LoopedStream& loop = request.pin->loop;
    const KsWaveFormatExtensible& wave = request.pin->format.wave;
    ULONGLONG size = ActualSize(traits, requested, wave);
    if (size > std::numeric_limits<ULONG>::max() ||
        !loop.Allocate(ULONG(size), notificationCount, traits.callMemoryBarrier, FifoBytes(traits, wave)))
        return Failure(ERROR_NO_SYSTEM_RESOURCES);
    KsRtAudioBuffer buffer{loop.Buffer(), loop.Size(), loop.CallMemoryBarrier()};
    return {ERROR_SUCCESS, sizeof(buffer), BytesOf(buffer)};
}

PropertyAnswer AnswerBuffer(const PinPropertyRequest& request)
{
    std::optional<KsRtAudioBufferProperty> descriptor = request.ReadDescriptor<KsRtAudioBufferProperty>();
    if (!descriptor) return Failure(ERROR_INVALID_USER_BUFFER);
    return AllocateBuffer(request, descriptor->requestedBufferSize, 0);
}

PropertyAnswer AnswerNotifyingBuffer(const PinPropertyRequest& request)
{
    if (!request.type->looped.notifications) return Failure(ERROR_NOT_SUPPORTED);
    auto descriptor = request.ReadDescriptor<KsRtAudioBufferPropertyWithNotification>();
    if (!descriptor) return Failure(ERROR_INVALID_USER_BUFFER);
    if (descriptor->notificationCount != 1 && descriptor->notificationCount != 2)
        return Failure(ERROR_INVALID_PARAMETER);
    return AllocateBuffer(request, descriptor->requestedBufferSize, descriptor->notificationCount);
}

// The register can be mapped once per pin instance.
PropertyAnswer AnswerPositionRegister(const PinPropertyRequest& request)
{
    if (!request.type->looped.positionRegister) return Failure(ERROR_NOT_SUPPORTED);
    if (!request.ReadDescriptor<KsRtAudioRegisterProperty>()) return Failure(ERROR_INVALID_USER_BUFFER);
    if (auto refusal = OutputRefusal(request.outputSize, sizeof(KsRtAudioRegister))) return *refusal;
    LoopedStream& loop = request.pin->loop;
    if (loop.Register() != nullptr) return Failure(ERROR_BUSY);
    if (!loop.MapRegister()) return Failure(ERROR_NO_SYSTEM_RESOURCES);
    KsRtAudioRegister answer{};
    answer.registerAddress = const_cast<ULONG*>(loop.Register());
    answer.width = RegisterWidth;
    answer.accuracy = request.pin->format.wave.blockAlign;  // it moves in whole frames
    return {ERROR_SUCCESS, sizeof(answer), BytesOf(answer)};
}

// Only a buffer with notifications takes events.
PropertyAnswer AnswerEventRegistration(const PinPropertyRequest& request)
{
    if (!request.type->looped.notifications || request.pin->loop.NotificationCount() == 0)
        return Failure(ERROR_NOT_SUPPORTED);
    auto descriptor = request.ReadDescriptor<KsRtAudioNotificationEventProperty>();
    if (!descriptor) return Failure(ERROR_INVALID_USER_BUFFER);
    auto event = reinterpret_cast<HANDLE>(ULONG_PTR(descriptor->notificationEvent));
    if (!request.pin->loop.RegisterEvent(event)) return Failure(ERROR_INVALID_HANDLE);
    return {};
}

PropertyAnswer AnswerEventUnregistration(const PinPropertyRequest& request)
{
    auto descriptor = request.ReadDescriptor<KsRtAudioNotificationEventProperty>();
    if (!descriptor) return Failure(ERROR_INVALID_USER_BUFFER);
    auto event = reinterpret_cast<HANDLE>(ULONG_PTR(descriptor->notificationEvent));
    if (!request.pin->loop.UnregisterEvent(event)) return Failure(ERROR_INVALID_PARAMETER);
    return {};
}

}  // namespace

PropertyAnswer AnswerRtAudioProperty(const PinPropertyRequest& request)
{
    bool get = request.IsGet();
    bool getOrSet = get || request.IsSet();  // the event registrations are documented for both
    switch (request.id) {
    case KSPROPERTY_RTAUDIO_BUFFER:
        if (get) return AnswerBuffer(request);
        break;
    case KSPROPERTY_RTAUDIO_BUFFER_WITH_NOTIFICATION:
        if (get) return AnswerNotifyingBuffer(request);
        break;
    case KSPROPERTY_RTAUDIO_HWLATENCY:
        if (get) return SizedAnswer(BytesOf(request.type->looped.latency), request.outputSize);
        break;
    case KSPROPERTY_RTAUDIO_POSITIONREGISTER:
        if (get) return AnswerPositionRegister(request);
        break;
    case KSPROPERTY_RTAUDIO_REGISTER_NOTIFICATION_EVENT:
        if (getOrSet) return AnswerEventRegistration(request);
        break;
    case KSPROPERTY_RTAUDIO_UNREGISTER_NOTIFICATION_EVENT:
        if (getOrSet) return AnswerEventUnregistration(request);
        break;
    default:  // the kernel-mode position function and the clock register
        break;
    }
    return Failure(ERROR_NOT_FOUND);
}

}  // namespace hardware_simulator
