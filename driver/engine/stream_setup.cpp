#include "driver/engine/stream_setup.h"

#include <cstring>

#include "driver/core/crash_recovery.h"
#include "driver/core/diagnostic_log.h"
#include "driver/core/driver_object.h"
#include "driver/core/ks_requests.h"
#include "driver/engine/cache_flush.h"
#include "driver/engine/engine_state.h"
#include "driver/engine/pin_conversion.h"
#include "driver/engine/pin_requests.h"
#include "driver/engine/stream_flags.h"
#include "kernel_streaming/device_access.h"

BYTE InputChannelMap[128];
BYTE OutputChannelMap[128];

namespace {

constexpr DWORD HistoryBytesPerChannel = 64 * sizeof(INT32);
// One block of the largest buffer size, 2048 frames, converted from 44100 to 48000 Hz.
constexpr DWORD LargestDeviceBlock = 2230;
// A driver that keeps answering a rate of 0 is asked this often, then searched instead.
constexpr int IntersectionAttempts = 4;

bool FallbackInProgress;
DWORD OpenPins;
const char DeviceHeldMessage[] = "The device is in use by another program or by Windows audio";
const char* SetupProblem;

struct SetupTotals {
    SIZE_T packetBytes;
    SIZE_T historyBytes;
};

DWORD RoundUp(DWORD value, DWORD step)
{
    return (value + step - 1) / step * step;
}

DWORD StandardStride(const PinRecord* pin)
{
    const KsWaveFormatExtensible* wave = PinWaveFormat(pin);
    return RoundUp(LargestDeviceBlock * wave->blockAlign, PageSize);
}

// Asks the filter again whether the pin has an instance to spare.
bool HasFreeInstance(PinRecord* pin)
{
    return ReadPinInstances(pin->filter->handle, pin) && pin->currentInstances < pin->possibleInstances;
}

// The channel count and container of one format attempt.
enum class Container { Native, Packed24, Bits16 };

// The speaker positions of the lowest `channels` bits; all 32 from 32 channels on.
DWORD LowestChannelsMask(DWORD channels)
{
    return channels >= 32 ? 0xFFFFFFFF : (DWORD(1) << channels) - 1;
}

DWORD ContainerBits(const PinRecord* pin, Container container)
{
    if (pin->bits <= 16 || (pin->streamFlags & Force16Bit) || container == Container::Bits16) return 16;
    return container == Container::Packed24 ? 24 : 32;
}

void FillWaveFormat(PinRecord* pin, Container container)
{
    KsWaveFormatExtensible* wave = PinWaveFormat(pin);
    DWORD bits = ContainerBits(pin, container);
    wave->samplesPerSec = ChoosePinRate(pin);
    wave->bitsPerSample = WORD(bits);
    wave->blockAlign = WORD(bits * wave->channels / 8);
    wave->avgBytesPerSec = wave->blockAlign * wave->samplesPerSec;
}

// Creates the pin with SampleSize 0, then with SampleSize = nBlockAlign.
bool CreateWithEitherSampleSize(PinRecord* pin)
{
    KsDataFormat* format = PinDataFormat(pin);
    format->sampleSize = 0;
    if (CreatePin(pin)) return true;
    format->sampleSize = PinWaveFormat(pin)->blockAlign;
    return CreatePin(pin);
}

bool TryExtensibleFormat(PinRecord* pin, bool withMask, Container container)
{
    KsDataFormat* format = PinDataFormat(pin);
    KsWaveFormatExtensible* wave = PinWaveFormat(pin);
    format->formatSize = ExtensibleFormatSize;
    format->flags = 0;
    format->reserved = 0;
    wave->formatTag = WaveFormatTagExtensible;
    wave->extraSize = ExtensibleExtraSize;
    wave->channelMask = withMask ? LowestChannelsMask(wave->channels) : 0;
    FillWaveFormat(pin, container);
    wave->validBitsPerSample = WORD(pin->bits < wave->bitsPerSample ? pin->bits : wave->bitsPerSample);
    wave->subFormat = KSDATAFORMAT_SUBTYPE_PCM;
    if (CreateWithEitherSampleSize(pin)) return true;
    if (wave->channelMask <= 3) return false;
    wave->channelMask = 3;
    return CreateWithEitherSampleSize(pin);
}

bool TryPcmFormat(PinRecord* pin, Container container)
{
    KsDataFormat* format = PinDataFormat(pin);
    KsWaveFormatExtensible* wave = PinWaveFormat(pin);
    format->formatSize = PlainFormatSize;
    format->flags = 0;
    format->reserved = 0;
    wave->formatTag = WaveFormatTagPcm;
    wave->extraSize = 0;
    FillWaveFormat(pin, container);
    return CreateWithEitherSampleSize(pin);
}

// Every container and mask variant at the current channel count, best first.
bool SearchFormatAtChannelCount(PinRecord* pin)
{
    bool wide = pin->bits > 16;
    return TryExtensibleFormat(pin, true, Container::Native) || TryExtensibleFormat(pin, false, Container::Native) ||
           TryExtensibleFormat(pin, true, Container::Packed24) ||
           TryExtensibleFormat(pin, false, Container::Packed24) ||
           (wide && (TryExtensibleFormat(pin, true, Container::Bits16) ||
                     TryExtensibleFormat(pin, false, Container::Bits16))) ||
           TryPcmFormat(pin, Container::Native) || TryPcmFormat(pin, Container::Packed24) ||
           (wide && TryPcmFormat(pin, Container::Bits16));
}

// Searches formats from the pin's channel count down: 8, 6, 4, 2, 1 (7, 4, 2, 1).
bool SearchFormat(PinRecord* pin)
{
    pin->formatBySearch = true;
    KsWaveFormatExtensible* wave = PinWaveFormat(pin);
    if (wave->channels == 0) wave->channels = WORD(pin->channels);
    for (;;) {
        if (SearchFormatAtChannelCount(pin)) return true;
        DWORD even = wave->channels & ~1u;
        if (even == 0) return false;
        wave->channels = WORD(even == 2 ? 1 : even - 2);
    }
}

// The fallback rates after a failure, highest first: the larger head of the series
// 44100, 33075, 22050, 11025 and 32000, 24000, 16000, 8000, then 0.
struct FallbackRates {
    DWORD elevenSeries = 44100;
    DWORD eightSeries = 32000;

    DWORD Next()
    {
        DWORD& head = elevenSeries >= eightSeries ? elevenSeries : eightSeries;
        DWORD rate = head;
        if (rate != 0) head -= (&head == &elevenSeries) ? 11025 : 8000;
        return rate;
    }
};

void MarkOpen(DeviceRecord* device, FilterRecord* filter, PinRecord* pin)
{
    device->flags |= RecordOpen;
    filter->flags |= RecordOpen;
    pin->flags |= RecordOpen;
}

void MarkFailed(DeviceRecord* device, FilterRecord* filter, PinRecord* pin)
{
    device->flags |= RecordOpenFailed;
    filter->flags |= RecordOpenFailed;
    MarkPinFailed(pin);
}

// After an open: the request event, the looped buffer, the hint, the packet events, and
// the pin's place in the packet and history memory. False when the looped buffer fails.
bool FinishOpen(PinRecord* pin, SetupTotals* totals)
{
    pin->recordedState = KSSTATE_STOP;
    if (pin->requestOverlapped.hEvent == nullptr)
        pin->requestOverlapped.hEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (!PrepareLoopedBuffer(pin)) return false;
    DescribePinForConversion(pin);
    if (!(pin->streamFlags & LoopedMode)) {
        SetPinHint(pin, 4);
        bool large = pin->streamFlags & LargePacketMode;
        for (int slot = 0; slot < PacketSlots; ++slot) {
            if ((large && slot != 1 && slot != 2) || pin->packetOverlapped[slot].hEvent != nullptr) continue;
            pin->packetOverlapped[slot].hEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        }
        // Offsets into the packet memory until it exists.
        auto areaStart = ULONG_PTR(totals->packetBytes);
        if (large) {
            ULONG_PTR middle = areaStart + LargePacketFrames * PinWaveFormat(pin)->blockAlign;
            pin->conversion.packetData[0] = reinterpret_cast<BYTE*>(areaStart);
            pin->conversion.packetData[1] = reinterpret_cast<BYTE*>(middle);
            pin->conversion.packetData[2] = reinterpret_cast<BYTE*>(middle);
            pin->conversion.packetData[3] = reinterpret_cast<BYTE*>(middle);
        } else {
            for (int slot = 0; slot < PacketSlots; ++slot)
                pin->conversion.packetData[slot] = reinterpret_cast<BYTE*>(areaStart + slot * StandardStride(pin));
        }
        totals->packetBytes += PacketAreaBytes(pin);
    }
    pin->conversion.converter.history = reinterpret_cast<INT32*>(ULONG_PTR(totals->historyBytes));
    totals->historyBytes += PinWaveFormat(pin)->channels * HistoryBytesPerChannel;
    return true;
}

// A selected pin whose every instance is taken, most often by the Windows audio engine
// playing or recording for other programs: the host sees no channels of it, so the log
// and the host are told why.
void NoteHeldPin(const FilterRecord* filter, const PinRecord* pin)
{
    DiagnosticLine(
        "stream not opened: %s pin %lu of \"%s\" has no free instance (%lu of %lu in use): the device "
        "is held by another program or by the Windows audio engine",
        pin->dataFlow == KSPIN_DATAFLOW_IN ? "render" : "capture", pin->pinId, filter->friendlyName,
        pin->currentInstances, pin->possibleInstances);
    __atomic_store_n(&SetupProblem, static_cast<const char*>(DeviceHeldMessage), __ATOMIC_RELEASE);
}

void OpenPinForStream(DeviceRecord* device, FilterRecord* filter, PinRecord* pin, DWORD dataFlow, SetupTotals* totals)
{
    const DWORD selected = RecordEnabled;
    if (pin->dataFlow != dataFlow || !(device->flags & selected) || !(filter->flags & selected) ||
        !(pin->flags & selected) || AudioDisabled || OpenPins >= MaxActivePins)
        return;
    const DWORD savedRate = ActiveHostRate;
    FallbackInProgress = false;
    FallbackRates fallback;
    for (;;) {
        bool opened = false;
        if (filter->handle == INVALID_HANDLE_VALUE) {
            filter->flags &= ~(RecordOpen | RecordOpenFailed);
            OpenFilter(filter);
        }
        if (filter->handle != INVALID_HANDLE_VALUE) {
            pin->flags &= ~(RecordOpen | RecordOpenFailed);
            pin->device = device;
            pin->filter = filter;
            if (!HasFreeInstance(pin)) {
                Sleep(100);
                if (!HasFreeInstance(pin)) {
                    NoteHeldPin(filter, pin);
                    return;
                }
            }
            // A real-time filter's RecordRealTime is the same bit as LoopedMode, so its pins
            // stream looped; the device's copy of its filters' mark is left out.
            pin->streamFlags = (((device->flags & ~LoopedMode) | filter->flags) & InheritedStreamFlags) | pin->flags;
            pin->kernelBuffers = (device->kernelBuffers == 3 || device->kernelBuffers == 4) ? device->kernelBuffers : 2;
            pin->bufferPosition = &device->bufferPosition;
            PinWaveFormat(pin)->channels = WORD(pin->channels);
            PinWaveFormat(pin)->channelMask = 0;

            bool answered = IntersectPinFormat(pin);
            if (answered && CreatePin(pin)) {
                pin->formatBySearch = false;
                opened = true;
            } else if (!answered || pin->lastCreateResult != ERROR_NO_SYSTEM_RESOURCES) {
                opened = SearchFormat(pin);
            }
        }
        if (opened) {
            if (ActiveHostRate != savedRate) {
                pin->highestRate = ActiveHostRate;
                if (ActiveHostRate < ConfigurationMaximumRate) {
                    ConfigurationMaximumRate = ActiveHostRate;
                    ActiveHostRate = savedRate;
                }
            }
            if (FinishOpen(pin, totals)) {
                const KsWaveFormatExtensible* wave = PinWaveFormat(pin);
                DiagnosticLine("stream open: %s pin %lu of \"%s\", %u channels, %u-bit %s, %lu Hz (host %lu Hz)%s",
                               dataFlow == KSPIN_DATAFLOW_IN ? "render" : "capture", pin->pinId, filter->friendlyName,
                               wave->channels, wave->bitsPerSample,
                               wave->formatTag == WaveFormatTagPcm ? "PCM" : "extensible", wave->samplesPerSec,
                               ActiveHostRate, pin->formatBySearch ? ", format found by search" : "");
                MarkOpen(device, filter, pin);
                ++OpenPins;
                FallbackInProgress = false;
                return;
            }
        }
        // A busy pin is no failure: it loses its free instance and stays closed.
        if (pin->lastCreateResult == ERROR_NO_SYSTEM_RESOURCES) {
            pin->flags &= ~PinInstanceFree;
            FallbackInProgress = false;
            NoteHeldPin(filter, pin);
            return;
        }
        DWORD rate;
        do rate = fallback.Next();
        while (rate != 0 && rate > pin->highestRate);
        if (rate == 0 || rate < ConfigurationMinimumRate || rate < pin->lowestRate) {
            ActiveHostRate = savedRate;
            FallbackInProgress = false;
            DiagnosticLine("stream open failed: pin %lu of \"%s\" (last create error %u)", pin->pinId,
                           filter->friendlyName, pin->lastCreateResult);
            MarkFailed(device, filter, pin);
            return;
        }
        FallbackInProgress = true;
        ActiveHostRate = rate;
    }
}

// Closes an open pin that its memory could not serve, and marks it failed.
void FailForMemory(PinRecord* pin)
{
    ClosePin(pin);
    MarkFailed(pin->device, pin->filter, pin);
}

// Locks memory in physical memory, growing the working set when it is too small.
bool LockMemory(void* base, SIZE_T size)
{
    if (VirtualLock(base, size)) return true;
    SIZE_T minimum, maximum;
    if (!GetProcessWorkingSetSize(GetCurrentProcess(), &minimum, &maximum)) return false;
    SetProcessWorkingSetSize(GetCurrentProcess(), minimum + size + PageSize, maximum + size + PageSize);
    return VirtualLock(base, size);
}

struct Placement {
    bool packetMemoryUsable;
    bool historyMemoryUsable;
};

// Moves an open pin's offsets into the engine memory, then commits and locks its packet
// area page by page. A pin whose memory fails is closed and marked failed, never written.
void PlacePin(PinRecord* pin, const Placement& placement)
{
    if (!(pin->flags & RecordOpen)) return;
    bool looped = pin->streamFlags & LoopedMode;
    if (!placement.historyMemoryUsable || (!looped && !placement.packetMemoryUsable)) {
        FailForMemory(pin);
        return;
    }
    pin->conversion.converter.history =
        reinterpret_cast<INT32*>(HistoryMemory.base + ULONG_PTR(pin->conversion.converter.history));
    if (looped) return;
    bool large = pin->streamFlags & LargePacketMode;
    int placed = large ? 4 : PacketSlots;
    for (int slot = 0; slot < placed; ++slot)
        pin->conversion.packetData[slot] = PacketMemory.base + ULONG_PTR(pin->conversion.packetData[slot]);
    DWORD protection = PAGE_READWRITE;
    if (large && !ProcessorHasCacheFlush()) protection |= PAGE_NOCACHE;
    BYTE* area = pin->conversion.packetData[0];
    DWORD bytes = PacketAreaBytes(pin);
    for (DWORD page = 0; page < bytes; page += PageSize) {
        if (VirtualAlloc(area + page, PageSize, MEM_COMMIT, protection) == nullptr) {
            FailForMemory(pin);
            return;
        }
    }
    if (!LockMemory(area, bytes)) FailForMemory(pin);
}

}  // namespace

DWORD PacketAreaBytes(const PinRecord* pin)
{
    if (pin->streamFlags & LargePacketMode) return 2 * LargePacketFrames * PinWaveFormat(pin)->blockAlign;
    return PacketSlots * StandardStride(pin);
}

DWORD ChoosePinRate(const PinRecord* pin)
{
    DWORD rate = ActiveHostRate;
    if (!FallbackInProgress && rate == 44100 && ConfigurationMaximumRate >= 48000 && pin->highestRate >= 48000 &&
        (pin->lowestRate > 44100 || (pin->streamFlags & Prefer48k) || Convert44100To48000))
        rate = 48000;
    return rate < pin->highestRate ? rate : pin->highestRate;
}

namespace {

// A pin's data format and wave format, as the connection block holds them.
struct PinFormatBlock {
    KsDataFormat data;
    KsWaveFormatExtensible wave;
};
static_assert(sizeof(PinFormatBlock) == ExtensibleFormatSize, "no padding");

// The filter's format for the pin at ChoosePinRate, over a copy of the pin's own (a plain
// WAVEFORMATEX answer leaves the extensible fields as they were); false without a usable
// answer.
bool AskIntersection(PinRecord* pin, PinFormatBlock* format)
{
    DWORD rate = ChoosePinRate(pin);
    PinIntersectionRequest request = MakeIntersectionRequest(pin, rate);
    format->data = *PinDataFormat(pin);
    format->wave = *PinWaveFormat(pin);

    HANDLE filter = pin->filter->handle;
    DWORD needed = KsRequest(filter, IOCTL_KS_PROPERTY, &request, sizeof(request), nullptr, 0);
    if (needed < 16) return false;
    DWORD outputSize = needed < sizeof(PinFormatBlock) ? needed : DWORD(sizeof(PinFormatBlock));
    for (int attempt = 0; attempt < IntersectionAttempts; ++attempt) {
        if (KsRequest(filter, IOCTL_KS_PROPERTY, &request, sizeof(request), format, outputSize) < PlainFormatSize)
            return false;
        KsWaveFormatExtensible& wave = format->wave;
        if (wave.samplesPerSec == 0) continue;
        wave.samplesPerSec = rate;
        wave.blockAlign = WORD(wave.channels * wave.bitsPerSample / 8);
        wave.avgBytesPerSec = wave.blockAlign * rate;
        return true;
    }
    return false;
}

void StoreFormat(PinRecord* pin, const PinFormatBlock& format)
{
    *PinDataFormat(pin) = format.data;
    *PinWaveFormat(pin) = format.wave;
}

}  // namespace

bool IntersectPinFormat(PinRecord* pin)
{
    PinFormatBlock format;
    if (!AskIntersection(pin, &format)) return false;
    StoreFormat(pin, format);
    return true;
}

Reintersection ReintersectPinFormat(PinRecord* pin)
{
    PinFormatBlock format;
    if (!AskIntersection(pin, &format)) return Reintersection::NoAnswer;
    // The packet strides and the converter history were set up for these.
    const KsWaveFormatExtensible* current = PinWaveFormat(pin);
    if (format.wave.channels != current->channels || format.wave.blockAlign != current->blockAlign) {
        DiagnosticLine(
            "stream refused: pin %lu of \"%s\" now answers %u channels in %u-byte frames, "
            "its memory is set up for %u channels in %u-byte frames",
            pin->pinId, pin->filter->friendlyName, format.wave.channels, format.wave.blockAlign, current->channels,
            current->blockAlign);
        return Reintersection::DoesNotFit;
    }
    StoreFormat(pin, format);
    return Reintersection::Fits;
}

bool CreatePin(PinRecord* pin)
{
    KsPinConnect* connect = PinConnect(pin);
    connect->interfaceId.id =
        (pin->streamFlags & LoopedMode) ? KSINTERFACE_STANDARD_LOOPED_STREAMING : KSINTERFACE_STANDARD_STREAMING;
    connect->pinId = pin->pinId;
    ACCESS_MASK access = pin->dataFlow == KSPIN_DATAFLOW_IN ? FILE_WRITE_DATA : FILE_READ_DATA;
    HANDLE handle = INVALID_HANDLE_VALUE;
    DWORD result = device_access::KsCreatePin(pin->filter->handle, pin->connection, access, &handle);
    pin->lastCreateResult = WORD(result);
    if (result != ERROR_SUCCESS) return false;
    pin->handle = handle;
    return true;
}

const char* StreamSetupProblem()
{
    return __atomic_load_n(&SetupProblem, __ATOMIC_ACQUIRE);
}

void SetUpStreams()
{
    SetupTotals totals = {};
    OpenPins = 0;
    __atomic_store_n(&SetupProblem, nullptr, __ATOMIC_RELEASE);
    struct Pass {
        DWORD dataFlow;
        SetupTotals* totals;
    } passes[] = {{KSPIN_DATAFLOW_OUT, &totals}, {KSPIN_DATAFLOW_IN, &totals}};
    for (Pass& pass : passes)
        WalkTree(
            [](DeviceRecord* device, FilterRecord* filter, PinRecord* pin, void* context) {
                auto* current = static_cast<Pass*>(context);
                OpenPinForStream(device, filter, pin, current->dataFlow, current->totals);
            },
            &pass);
    if (totals.packetBytes != 0) {
        PacketMemory.base = static_cast<BYTE*>(VirtualAlloc(nullptr, totals.packetBytes, MEM_RESERVE, PAGE_READWRITE));
        PacketMemory.size = PacketMemory.base ? totals.packetBytes : 0;
    }
    if (totals.historyBytes != 0) {
        SIZE_T size = RoundUp(DWORD(totals.historyBytes), PageSize);
        HistoryMemory.base = static_cast<BYTE*>(VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
        HistoryMemory.size = HistoryMemory.base ? size : 0;
        if (HistoryMemory.base != nullptr && !LockMemory(HistoryMemory.base, HistoryMemory.size)) {
            VirtualFree(HistoryMemory.base, 0, MEM_RELEASE);
            HistoryMemory = {};
        }
    }
    Placement placement = {PacketMemory.base != nullptr, HistoryMemory.base != nullptr};
    WalkTree([](DeviceRecord*, FilterRecord*, PinRecord* pin,
                void* context) { PlacePin(pin, *static_cast<const Placement*>(context)); },
             &placement);
}

void CloseDriverStreams()
{
    if (DriverState == DriverLoaded) return;
    CloseAllPins();
    DisarmCrashGuard();
    DriverState = DriverLoaded;
}

void ClearChannelMaps()
{
    std::memset(InputChannelMap, 0, sizeof(InputChannelMap));
    std::memset(OutputChannelMap, 0, sizeof(OutputChannelMap));
}
