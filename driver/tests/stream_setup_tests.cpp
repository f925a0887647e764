// Stream set-up and pin requests against simulated pins: the format search and the
// fallbacks read from the simulator's log of pin creations, the looped-buffer modes, the
// packet slots, the closing sequences and the engine memory.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "driver/core/device_discovery.h"
#include "driver/core/device_tree.h"
#include "driver/core/module.h"
#include "driver/core/oem_block.h"
#include "driver/engine/engine_state.h"
#include "driver/engine/pin_requests.h"
#include "driver/engine/pin_restart.h"
#include "driver/engine/realtime_scheduling.h"
#include "driver/engine/service_quirks.h"
#include "driver/engine/stream_flags.h"
#include "driver/engine/stream_setup.h"
#include "driver/tests/driver_fixture.h"
#include "hardware_simulator/hardware_simulator.h"
#include "hardware_simulator/profile_parts.h"

namespace sim = hardware_simulator;

namespace {

// One pin creation as the simulator saw it.
struct Attempt {
    WORD tag;
    WORD channels;
    DWORD rate;
    WORD bits;
    WORD validBits;
    DWORD mask;
    ULONG sampleSize;
    bool created;

    bool operator==(const Attempt&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Attempt& a)
{
    return out << "{tag " << std::hex << a.tag << std::dec << ", " << a.channels << " ch, " << a.rate << " Hz, "
               << a.bits << "/" << a.validBits << " bits, mask " << a.mask << ", sample size " << a.sampleSize
               << (a.created ? ", created}" : "}");
}

std::vector<Attempt> CreationsOf(ULONG pinId)
{
    std::vector<Attempt> attempts;
    for (const sim::LogEntry& entry : sim::LoggedRequests()) {
        if (entry.operation != sim::Operation::KsCreatePin || entry.pinId != pinId || !entry.connection) continue;
        const KsWaveFormatExtensible& wave = entry.connection->format.wave;
        attempts.push_back({wave.formatTag, wave.channels, wave.samplesPerSec, wave.bitsPerSample,
                            wave.validBitsPerSample, wave.channelMask, entry.connection->format.sampleSize,
                            entry.succeeded});
    }
    return attempts;
}

std::vector<ULONG> StatesSetOn(HANDLE pin)
{
    std::vector<ULONG> states;
    for (const sim::LogEntry& entry : sim::LoggedRequests())
        if (entry.operation == sim::Operation::DeviceIoControl && entry.handle == ULONG_PTR(pin) &&
            IsEqualGUID(entry.propertySet, KSPROPSETID_Connection) && entry.value)
            states.push_back(*entry.value);
    return states;
}

std::vector<ULONG> RtAudioRequestsOn(HANDLE pin)
{
    std::vector<ULONG> ids;
    for (const sim::LogEntry& entry : sim::LoggedRequests())
        if (entry.operation == sim::Operation::DeviceIoControl && entry.handle == ULONG_PTR(pin) &&
            IsEqualGUID(entry.propertySet, KSPROPSETID_RtAudio))
            ids.push_back(entry.propertyId);
    return ids;
}

PinRecord* FindPin(ULONG pinId, DWORD dataFlow)
{
    for (DeviceRecord* d = FirstDevice; d; d = NextDevice(d))
        for (FilterRecord* f = FirstFilter(d); f; f = NextFilter(f))
            for (PinRecord* p = FirstPin(f); p; p = NextPin(p))
                if (p->pinId == pinId && p->dataFlow == dataFlow && (f->flags & RecordEnabled)) return p;
    return nullptr;
}

const WORD Extensible = 0xFFFE;
const WORD Pcm = 1;

class StreamSetup : public InProcessDriver {
protected:
    void SetUp() override
    {
        InProcessDriver::SetUp();
        AcceptEveryDevice();
        ActiveHostRate = RequestedHostRate = 48000;
        ActiveBufferSize = RequestedBufferSize = 256;
        ConfigurationMinimumRate = 0;
        ConfigurationMaximumRate = 0xFFFFFFFF;
        Convert44100To48000 = false;
        ActivePinModes = {};
        AudioDisabled = false;
    }
    void TearDown() override
    {
        CloseAllPins();
        InProcessDriver::TearDown();
    }
    // Scans `device` alone, then opens its selected pins with a fresh log.
    static void OpenStreams(const sim::Device& device)
    {
        ASSERT_TRUE(sim::Install(sim::Machine{{device}}));
        RescanDevices();
        sim::ClearRequestLog();
        SetUpStreams();
    }
    // A USB function whose render pin is `render` (capture pin dropped).
    static sim::Device WithRenderPin(const std::function<void(sim::PinType&)>& edit)
    {
        sim::Device device = sim::UsbHeadset();
        device.filters[0].pins[sim::UsbCapturePin].dataRanges = {sim::PcmRange(1, 8, 8, 48000, 48000)};
        edit(device.filters[0].pins[sim::UsbRenderPin]);
        return device;
    }
};

TEST_F(StreamSetup, SixteenBitPcmOnlyDeviceOpensAfterTheExtensibleVariants)
{
    OpenStreams(WithRenderPin([](sim::PinType& pin) {
        pin.dataRanges = {sim::PcmRange(2, 16, 16, 44100, 48000)};
        pin.intersection.refusedRates = {44100, 48000};
        pin.formats.accepted = {{.plain = true,
                                 .extensible = false,
                                 .containerBits = 16,
                                 .validBits = 16,
                                 .layouts = {{2, 0}},
                                 .rates = {48000}}};
    }));
    std::vector<Attempt> expected;
    for (DWORD mask : {3u, 0u, 3u, 0u})  // native, then "packed", both 16 bits here
        for (ULONG sampleSize : {0u, 4u}) expected.push_back({Extensible, 2, 48000, 16, 16, mask, sampleSize, false});
    expected.push_back({Pcm, 2, 48000, 16, 0, 0, 0, true});
    EXPECT_EQ(CreationsOf(sim::UsbRenderPin), expected);
    PinRecord* pin = FindPin(sim::UsbRenderPin, KSPIN_DATAFLOW_IN);
    ASSERT_NE(pin, nullptr);
    EXPECT_TRUE(pin->flags & RecordOpen);
    EXPECT_TRUE(pin->formatBySearch);
}

TEST_F(StreamSetup, TwentyFourBitPinTriesThirtyTwoThenPackedThenSixteenBitContainers)
{
    OpenStreams(WithRenderPin([](sim::PinType& pin) {
        pin.dataRanges = {sim::PcmRange(2, 16, 24, 44100, 48000)};
        pin.intersection.refusedRates = {44100, 48000};
        pin.formats.accepted = {
            {.extensible = true, .containerBits = 16, .validBits = 16, .layouts = {{2, 3}}, .rates = {48000}}};
    }));
    std::vector<Attempt> expected;
    for (WORD container : {32, 24})
        for (DWORD mask : {3u, 0u})
            for (ULONG sampleSize : {0u, container / 8u * 2u})
                expected.push_back({Extensible, 2, 48000, container, 24, mask, sampleSize, false});
    expected.push_back({Extensible, 2, 48000, 16, 16, 3, 0, true});
    EXPECT_EQ(CreationsOf(sim::UsbRenderPin), expected);
}

TEST_F(StreamSetup, APinThatRefusesEverythingIsTriedWithFewerChannelsThenMarkedFailed)
{
    OpenStreams(WithRenderPin([](sim::PinType& pin) {
        pin.dataRanges = {sim::PcmRange(6, 16, 16, 48000, 48000)};
        pin.intersection.refusedRates = {48000};
        pin.formats.accepted.clear();
    }));
    std::vector<WORD> channelCounts;
    for (const Attempt& attempt : CreationsOf(sim::UsbRenderPin))
        if (channelCounts.empty() || channelCounts.back() != attempt.channels)
            channelCounts.push_back(attempt.channels);
    EXPECT_EQ(channelCounts, (std::vector<WORD>{6, 4, 2, 1}));
    PinRecord* pin = FindPin(sim::UsbRenderPin, KSPIN_DATAFLOW_IN);
    ASSERT_NE(pin, nullptr);
    EXPECT_TRUE(pin->flags & RecordOpenFailed);
    EXPECT_TRUE(pin->filter->flags & RecordOpenFailed);
    EXPECT_FALSE(pin->flags & RecordOpen);
    EXPECT_EQ(pin->handle, INVALID_HANDLE_VALUE);
    EXPECT_EQ(ActiveHostRate, 48000u);
}

TEST_F(StreamSetup, ADeviceThatRefusesTheRateFallsBackAndLowersItsMaximum)
{
    OpenStreams(WithRenderPin([](sim::PinType& pin) {
        pin.dataRanges = {sim::PcmRange(2, 16, 16, 8000, 48000)};
        pin.formats.accepted = {{.plain = true,
                                 .extensible = true,
                                 .containerBits = 16,
                                 .validBits = 16,
                                 .layouts = {{2, 0}},
                                 .rates = {32000}}};
    }));
    std::vector<DWORD> rates;
    for (const Attempt& attempt : CreationsOf(sim::UsbRenderPin))
        if (rates.empty() || rates.back() != attempt.rate) rates.push_back(attempt.rate);
    EXPECT_EQ(rates, (std::vector<DWORD>{48000, 44100, 33075, 32000}));
    PinRecord* pin = FindPin(sim::UsbRenderPin, KSPIN_DATAFLOW_IN);
    ASSERT_NE(pin, nullptr);
    EXPECT_TRUE(pin->flags & RecordOpen);
    EXPECT_EQ(pin->highestRate, 32000u);
    EXPECT_EQ(ConfigurationMaximumRate, 32000u);
    EXPECT_EQ(ActiveHostRate, 48000u) << "the host keeps the rate it asked for";
}

TEST_F(StreamSetup, ABusyPinStaysClosedWithoutTheFailedMark)
{
    OpenStreams(WithRenderPin([](sim::PinType& pin) { pin.busyError = ERROR_NO_SYSTEM_RESOURCES; }));
    PinRecord* pin = FindPin(sim::UsbRenderPin, KSPIN_DATAFLOW_IN);
    ASSERT_NE(pin, nullptr);
    EXPECT_FALSE(pin->flags & (RecordOpen | RecordOpenFailed));
    EXPECT_FALSE(pin->flags & PinInstanceFree);
    EXPECT_EQ(pin->lastCreateResult, ERROR_NO_SYSTEM_RESOURCES);
    EXPECT_EQ(CreationsOf(sim::UsbRenderPin).size(), 1u) << "no format search on a busy pin";
}

// The lowest bits of a 32-bit mask for as many channels: all of them from 32 channels on.
TEST_F(StreamSetup, AThirtyTwoChannelPinGetsEveryMaskBit)
{
    OpenStreams(WithRenderPin([](sim::PinType& pin) {
        pin.dataRanges = {sim::PcmRange(32, 16, 16, 48000, 48000)};
        pin.intersection.refusedRates = {48000};
        pin.formats = sim::WaveRtFormats({{.layouts = {{32, 0xFFFFFFFF}}, .rates = {48000}}});
    }));
    std::vector<Attempt> attempts = CreationsOf(sim::UsbRenderPin);
    ASSERT_FALSE(attempts.empty());
    EXPECT_EQ(attempts.front(), (Attempt{Extensible, 32, 48000, 16, 16, 0xFFFFFFFF, 0, true}));
}

// A selected pin whose every instance the Windows audio engine holds stays closed, and
// the host that sees no channels learns why.
TEST_F(StreamSetup, ADeviceHeldByTheAudioEngineIsReportedToTheHost)
{
    ASSERT_TRUE(sim::Install(sim::Machine{{sim::Qorda8()}}));
    RescanDevices();
    EXPECT_EQ(StreamSetupProblem(), nullptr);
    for (ULONG pin : {sim::UsbRenderPin, sim::UsbCapturePin}) ASSERT_TRUE(sim::HoldInAudioEngine(0, 0, pin, true));
    SetUpStreams();
    PinRecord* render = FindPin(sim::UsbRenderPin, KSPIN_DATAFLOW_IN);
    ASSERT_NE(render, nullptr);
    EXPECT_FALSE(render->flags & (RecordOpen | RecordOpenFailed));
    ASSERT_NE(StreamSetupProblem(), nullptr);
    EXPECT_STREQ(StreamSetupProblem(), "The device is in use by another program or by Windows audio");

    CloseAllPins();
    for (ULONG pin : {sim::UsbRenderPin, sim::UsbCapturePin}) ASSERT_TRUE(sim::HoldInAudioEngine(0, 0, pin, false));
    SetUpStreams();
    EXPECT_TRUE(render->flags & RecordOpen);
    EXPECT_EQ(StreamSetupProblem(), nullptr) << "a set-up that opens everything has nothing to explain";
}

TEST_F(StreamSetup, A44100HzHostRunsA48000HzCapablePinAt48000WhenConverting)
{
    ActiveHostRate = 44100;
    Convert44100To48000 = true;
    OpenStreams(sim::Qorda8());
    PinRecord* pin = FindPin(sim::UsbRenderPin, KSPIN_DATAFLOW_IN);
    ASSERT_NE(pin, nullptr);
    ASSERT_TRUE(pin->flags & RecordOpen);
    EXPECT_EQ(PinWaveFormat(pin)->samplesPerSec, 48000u);
    EXPECT_FALSE(pin->formatBySearch) << "the intersection answered";
    EXPECT_EQ(CreationsOf(sim::UsbRenderPin).front().rate, 48000u);
}

TEST_F(StreamSetup, ClosingStopsFromPauseThroughRunAndSendsNothingTwice)
{
    OpenStreams(sim::Qorda8());
    PinRecord* render = FindPin(sim::UsbRenderPin, KSPIN_DATAFLOW_IN);
    PinRecord* capture = FindPin(sim::UsbCapturePin, KSPIN_DATAFLOW_OUT);
    ASSERT_TRUE(render && capture && render->handle != INVALID_HANDLE_VALUE);
    HANDLE renderHandle = render->handle, captureHandle = capture->handle;

    EXPECT_TRUE(SetPinState(render, KSSTATE_PAUSE));
    EXPECT_TRUE(SetPinState(render, KSSTATE_PAUSE)) << "the recorded state needs no request";
    ClosePin(render);
    EXPECT_EQ(StatesSetOn(renderHandle), (std::vector<ULONG>{KSSTATE_PAUSE, KSSTATE_RUN, KSSTATE_STOP}));
    EXPECT_EQ(render->handle, INVALID_HANDLE_VALUE);

    SetPinState(capture, KSSTATE_PAUSE);
    SetPinState(capture, KSSTATE_RUN);
    ClosePin(capture);
    EXPECT_EQ(StatesSetOn(captureHandle), (std::vector<ULONG>{KSSTATE_PAUSE, KSSTATE_RUN, KSSTATE_STOP}));

    std::size_t logged = sim::LoggedRequests().size();
    ClosePin(capture);
    EXPECT_EQ(sim::LoggedRequests().size(), logged) << "a closed pin sends nothing";
}

// Stopping a pin cancels its queued packets, and the cancellations complete a little
// later: closing the pin waits for them, so that its next packets do not meet them.
TEST_F(StreamSetup, ClosingAPinWaitsForItsCancelledPackets)
{
    sim::Device qorda = sim::Qorda8();
    qorda.cancellationDelayMs = 50;
    OpenStreams(qorda);
    sim::SetClockStalled(0, true);
    sim::StartDeviceClock();
    PinRecord* pin = FindPin(sim::UsbCapturePin, KSPIN_DATAFLOW_OUT);
    ASSERT_TRUE(pin && (pin->flags & RecordOpen));
    RestartPin(pin);  // primes the whole ring
    ASSERT_EQ(sim::InspectPin(pin->handle)->queuedRequests, size_t(PacketSlots));
    ClosePin(pin);
    for (const OVERLAPPED& packet : pin->packetOverlapped)
        EXPECT_EQ(packet.Internal, ULONG_PTR(0xC0000120)) << "closed with its cancellation still to come";
}

// Drivers may answer a property later than the call: the scan and the set-up wait for
// the answer on the request's event, on filters and on pins alike.
TEST_F(StreamSetup, PropertiesThatPendAreAnsweredBeforeTheyAreUsed)
{
    sim::Device qorda = sim::Qorda8UsbAudio2();
    qorda.pendingProperties = {{KSPROPSETID_Pin, KSPROPERTY_PIN_CINSTANCES, std::nullopt},
                               {KSPROPSETID_Pin, KSPROPERTY_PIN_DATAINTERSECTION, std::nullopt},
                               {KSPROPSETID_Connection, KSPROPERTY_CONNECTION_STATE, std::nullopt},
                               {KSPROPSETID_RtAudio, KSPROPERTY_RTAUDIO_BUFFER, std::nullopt}};
    ASSERT_TRUE(sim::Install(sim::Machine{{qorda}}));
    sim::SetClockStalled(0, true);
    sim::StartDeviceClock();
    RescanDevices();
    SetUpStreams();
    PinRecord* pin = FindPin(sim::UsbRenderPin, KSPIN_DATAFLOW_IN);
    ASSERT_TRUE(pin && (pin->flags & RecordOpen));
    EXPECT_FALSE(pin->formatBySearch) << "the pended intersection was waited for";
    EXPECT_EQ(PinWaveFormat(pin)->blockAlign, 24u);
    EXPECT_NE(pin->conversion.packetData[3], pin->conversion.packetData[2]) << "a looped buffer";
    EXPECT_TRUE(SetPinState(pin, KSSTATE_PAUSE));
    EXPECT_EQ(sim::InspectPin(pin->handle)->state, ULONG(KSSTATE_PAUSE));
    std::size_t pended = 0;
    for (const sim::LogEntry& entry : sim::LoggedRequests()) pended += entry.lastError == ERROR_IO_PENDING;
    EXPECT_GE(pended, 4u);
}

TEST_F(StreamSetup, LargePacketsAlternateSlotsAroundTheMiddleOfTheirArea)
{
    sim::Device device = sim::Qorda8();
    ASSERT_TRUE(sim::Install(sim::Machine{{device}}));
    RescanDevices();
    FirstDevice->flags |= LargePacketMode;  // as a stored device setting would
    sim::ClearRequestLog();
    SetUpStreams();
    PinRecord* pin = FindPin(sim::UsbCapturePin, KSPIN_DATAFLOW_OUT);
    ASSERT_TRUE(pin && (pin->flags & RecordOpen));
    ASSERT_TRUE(pin->streamFlags & LargePacketMode);
    SetPinState(pin, KSSTATE_PAUSE);
    BlocksPerLargePacket = 8192 / ActiveBufferSize;
    BYTE* middle = pin->conversion.packetData[1];
    const DWORD bytes = ActiveBufferSize * BlocksPerLargePacket * PinWaveFormat(pin)->blockAlign;

    std::vector<int> slots;
    for (int packet = 0; packet < 3; ++packet) {
        slots.push_back(NextPacketSlot(pin));
        SubmitCapturePacket(pin);
    }
    EXPECT_EQ(slots, (std::vector<int>{2, 1, 2}));
    EXPECT_EQ(pin->conversion.packetData[2], middle - bytes) << "the even packet ends at the middle";
    EXPECT_EQ(pin->conversion.packetData[3], middle + bytes) << "the odd packet starts there";
    std::vector<const void*> data;
    for (const sim::LogEntry& entry : sim::LoggedRequests())
        if (entry.stream) data.push_back(entry.stream->data);
    ASSERT_EQ(data.size(), 3u);
    EXPECT_EQ(data[0], middle - bytes);
    EXPECT_EQ(data[1], middle);
}

TEST_F(StreamSetup, PacketMemoryIsPageStridedLockedAndReleasedOnClose)
{
    OpenStreams(sim::Qorda8());
    PinRecord* pin = FindPin(sim::UsbRenderPin, KSPIN_DATAFLOW_IN);
    ASSERT_TRUE(pin && (pin->flags & RecordOpen));
    DWORD stride = DWORD(pin->conversion.packetData[1] - pin->conversion.packetData[0]);
    EXPECT_EQ(stride % 4096, 0u);
    EXPECT_GE(stride, 2230u * PinWaveFormat(pin)->blockAlign);
    for (int slot = 1; slot < PacketSlots; ++slot)
        EXPECT_EQ(pin->conversion.packetData[slot] - pin->conversion.packetData[slot - 1], stride);
    MEMORY_BASIC_INFORMATION info;
    ASSERT_TRUE(VirtualQuery(pin->conversion.packetData[7], &info, sizeof(info)));
    EXPECT_EQ(info.State, DWORD(MEM_COMMIT));
    ASSERT_NE(HistoryMemory.base, nullptr);
    EXPECT_GE(HistoryMemory.size, 2 * 8 * 256u) << "two pins of eight channels";

    BYTE* packets = PacketMemory.base;
    BYTE* history = HistoryMemory.base;
    CloseAllPins();
    EXPECT_EQ(PacketMemory.base, nullptr);
    EXPECT_EQ(HistoryMemory.base, nullptr);
    ASSERT_TRUE(VirtualQuery(packets, &info, sizeof(info)));
    EXPECT_EQ(info.State, DWORD(MEM_FREE));
    ASSERT_TRUE(VirtualQuery(history, &info, sizeof(info)));
    EXPECT_EQ(info.State, DWORD(MEM_FREE));
    EXPECT_EQ(sim::Counters().openPins, 0u);
    EXPECT_FALSE(pin->flags & (RecordOpen | RecordOpenFailed));
}

class LoopedSetup : public StreamSetup {
protected:
    // The codec's HDMI filter is the one selection enables; its render pin is looped.
    PinRecord* OpenHdmi(const std::function<void(sim::PinType&)>& edit, bool notifyAllowed)
    {
        sim::Device codec = sim::HdAudioCodec();
        edit(codec.filters[sim::HdAudioHdmiWave].pins[sim::WaveRenderPin]);
        EXPECT_TRUE(sim::Install(sim::Machine{{codec}}));
        RescanDevices();
        if (notifyAllowed)
            for (FilterRecord* f = FirstFilter(FirstDevice); f; f = NextFilter(f)) f->flags |= NotifyAllowed;
        sim::ClearRequestLog();
        SetUpStreams();
        return FindPin(sim::WaveRenderPin, KSPIN_DATAFLOW_IN);
    }
};

TEST_F(LoopedSetup, EventModeWhenAllowedAtTheHostRateWithNoPacketPins)
{
    PinRecord* pin = OpenHdmi([](sim::PinType&) {}, true);
    ASSERT_TRUE(pin && (pin->flags & RecordOpen));
    EXPECT_TRUE(pin->streamFlags & LoopedMode);
    EXPECT_NE(pin->notificationEvent, nullptr);
    EXPECT_EQ(
        RtAudioRequestsOn(pin->handle),
        (std::vector<ULONG>{KSPROPERTY_RTAUDIO_BUFFER_WITH_NOTIFICATION, KSPROPERTY_RTAUDIO_REGISTER_NOTIFICATION_EVENT,
                            KSPROPERTY_RTAUDIO_POSITIONREGISTER, KSPROPERTY_RTAUDIO_HWLATENCY}));
    EXPECT_EQ(pin->conversion.packetData[1] - pin->conversion.packetData[0],
              pin->conversion.packetData[3] - pin->conversion.packetData[1])
        << "two halves";
    EXPECT_NE(pin->positionRegister, nullptr);
    EXPECT_EQ(pin->fifoBytes, 256u);
    HANDLE handle = pin->handle;
    ClosePin(pin);
    EXPECT_EQ(RtAudioRequestsOn(handle).back(), ULONG(KSPROPERTY_RTAUDIO_UNREGISTER_NOTIFICATION_EVENT));
    EXPECT_EQ(pin->notificationEvent, nullptr);
}

TEST_F(LoopedSetup, PolledModeWhenEventModeIsNotAllowedOrNotSupported)
{
    struct Case {
        const char* name;
        bool notifyAllowed;
        DWORD standardPins;
        DWORD hostRate;
        bool notifications;
    } cases[] = {
        {"no NotifyAllowed", false, 0, 48000, true},
        {"a standard pin exists", true, 1, 48000, true},
        {"pin rate differs from the host's", true, 0, 44100, true},
        {"driver without notifications", true, 0, 48000, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ActiveHostRate = c.hostRate;
        Convert44100To48000 = c.hostRate == 44100;
        ActivePinModes.standardRender = c.standardPins;
        PinRecord* pin =
            OpenHdmi([&](sim::PinType& type) { type.looped.notifications = c.notifications; }, c.notifyAllowed);
        ASSERT_TRUE(pin && (pin->flags & RecordOpen));
        EXPECT_EQ(pin->notificationEvent, nullptr);
        std::vector<ULONG> requests = RtAudioRequestsOn(pin->handle);
        ASSERT_FALSE(requests.empty());
        EXPECT_NE(std::find(requests.begin(), requests.end(), ULONG(KSPROPERTY_RTAUDIO_BUFFER)), requests.end());
        CloseAllPins();
        sim::Clear();
    }
}

TEST_F(LoopedSetup, AShortEventBufferClosesThePinAndAFallbackRateRunsPolled)
{
    PinRecord* pin = OpenHdmi([](sim::PinType& type) { type.looped.shortBuffer = true; }, true);
    ASSERT_NE(pin, nullptr);
    std::vector<sim::LogEntry> log = sim::LoggedRequests();
    auto created = std::find_if(log.begin(), log.end(), [](const sim::LogEntry& e) {
        return e.operation == sim::Operation::KsCreatePin && e.succeeded;
    });
    ASSERT_NE(created, log.end());
    const ULONG_PTR first = created->createdPin;
    auto closed = std::find_if(created, log.end(), [&](const sim::LogEntry& e) {
        return e.operation == sim::Operation::CloseHandle && e.handle == first;
    });
    EXPECT_NE(closed, log.end()) << "the pin with the short buffer is closed";

    // The rate fallback reopens it at 44100 Hz, which no longer matches the host's 48000:
    // a polled buffer, and the configuration's top rate comes down to it.
    EXPECT_TRUE(pin->flags & RecordOpen);
    EXPECT_EQ(PinWaveFormat(pin)->samplesPerSec, 44100u);
    EXPECT_EQ(pin->notificationEvent, nullptr);
    EXPECT_EQ(ConfigurationMaximumRate, 44100u);
}

// The USB Audio 2.0 driver grants buffers of whole milliseconds: 2 × 256 frames at 48 kHz
// come back as 11 ms, halves of 264 frames that no longer hold one block each.
TEST_F(LoopedSetup, AnEventBufferLargerThanAskedRunsPolledAtTheSameRate)
{
    PinRecord* pin = OpenHdmi(
        [](sim::PinType& type) {
            type.looped.rounding = sim::BufferRounding::ToServiceIntervals;
            type.looped.serviceIntervalMs = 1;
        },
        true);
    ASSERT_TRUE(pin && (pin->flags & RecordOpen));
    EXPECT_EQ(pin->notificationEvent, nullptr);
    EXPECT_EQ(PinWaveFormat(pin)->samplesPerSec, 48000u);
    EXPECT_EQ(ConfigurationMaximumRate, 0xFFFFFFFFu) << "the configuration keeps its rate";
    EXPECT_EQ(RtAudioRequestsOn(pin->handle),
              (std::vector<ULONG>{KSPROPERTY_RTAUDIO_BUFFER, KSPROPERTY_RTAUDIO_POSITIONREGISTER,
                                  KSPROPERTY_RTAUDIO_HWLATENCY}))
        << "polled on a pin created afresh, without the notifying buffer";
}

TEST_F(LoopedSetup, ARefusedNotificationEventRunsPolledAtTheSameRate)
{
    sim::Device codec = sim::HdAudioCodec();
    ASSERT_TRUE(sim::Install(sim::Machine{{codec}}));
    sim::FailPinProperty(0, KSPROPSETID_RtAudio, KSPROPERTY_RTAUDIO_REGISTER_NOTIFICATION_EVENT, ERROR_NOT_SUPPORTED,
                         1);
    RescanDevices();
    for (FilterRecord* f = FirstFilter(FirstDevice); f; f = NextFilter(f)) f->flags |= NotifyAllowed;
    SetUpStreams();
    PinRecord* pin = FindPin(sim::WaveRenderPin, KSPIN_DATAFLOW_IN);
    ASSERT_TRUE(pin && (pin->flags & RecordOpen));
    EXPECT_EQ(pin->notificationEvent, nullptr);
    EXPECT_EQ(PinWaveFormat(pin)->samplesPerSec, 48000u);
    EXPECT_EQ(ConfigurationMaximumRate, 0xFFFFFFFFu);
}

// At each start the intersection answers again; a format whose frames differ from the
// ones the pin's packet and history memory were set up for is refused, not used.
TEST_F(StreamSetup, AFormatThatNoLongerFitsThePinsMemoryIsRefusedAtTheStart)
{
    sim::Device qorda = sim::Qorda8();
    for (ULONG id : {sim::UsbRenderPin, sim::UsbCapturePin})
        qorda.filters[0].pins[id].formats.accepted.push_back(
            {.containerBits = 32, .validBits = 24, .layouts = {{8, 0}}, .rates = {44100, 48000}});
    OpenStreams(qorda);
    PinRecord* pin = FindPin(sim::UsbCapturePin, KSPIN_DATAFLOW_OUT);
    ASSERT_TRUE(pin && (pin->flags & RecordOpen));
    ASSERT_EQ(PinWaveFormat(pin)->blockAlign, 24u);

    // The same rate and format again: the pin reopens.
    RestartPin(pin);
    EXPECT_TRUE(pin->flags & RecordOpen);
    EXPECT_EQ(PinWaveFormat(pin)->blockAlign, 24u);

    ASSERT_TRUE(sim::Edit([](sim::Machine& machine) {
        machine.devices[0].filters[0].pins[sim::UsbCapturePin].intersection.widerSamplesIn32Bits = true;
    }));
    sim::ClearRequestLog();
    RestartPin(pin);
    EXPECT_FALSE(pin->flags & RecordOpen);
    EXPECT_TRUE(pin->flags & RecordOpenFailed);
    EXPECT_EQ(PinWaveFormat(pin)->blockAlign, 24u) << "the format set up for stays";
    EXPECT_TRUE(CreationsOf(sim::UsbCapturePin).empty());
}

TEST(ServiceQuirks, UsbAudioMarginsFollowTheWindowsVersionAndTheOemBlock)
{
    DeviceRecord usb = {};
    char usbaudio[] = "usbaudio";
    usb.serviceName = usbaudio;
    // Wine reports Windows 7 unless told otherwise: the row of 6.1 and later.
    ServiceQuirk quirk = LookUpServiceQuirk(&usb);
    EXPECT_EQ(quirk.inputMargin, 4u);
    EXPECT_EQ(quirk.outputMargin, 2u);
    EXPECT_EQ(quirk.latencyMode, 0u);
    EXPECT_EQ(quirk.inputFactor, UnityFactor);
    EXPECT_EQ(quirk.quirkFlags, 0x80000000u);

    OemNumberField savedInput = OemConfig.inputMargin;
    OemConfig.inputMargin.value = 0;
    EXPECT_EQ(LookUpServiceQuirk(&usb).inputMargin, 0u);
    EXPECT_EQ(LookUpServiceQuirk(&usb).outputMargin, 2u);
    OemConfig.inputMargin = savedInput;

    DeviceRecord pci = {};
    char unknown[] = "SomeOtherService";
    pci.serviceName = unknown;
    pci.enumerator = 'P' | 'C' << 8 | 'I' << 16;
    quirk = LookUpServiceQuirk(&pci);
    EXPECT_EQ(quirk.inputMargin, 0u);
    EXPECT_EQ(quirk.outputMargin, 0u);
    char cmpci[] = "cmpci";
    pci.serviceName = cmpci;
    EXPECT_EQ(LookUpServiceQuirk(&pci).inputMargin, 0u) << "rows before the version's first row are not searched";
}

}  // namespace

namespace {

// These run in an executable that Wine shows Windows Vista (6.0); elsewhere they skip.
class OnVistaLooped : public LoopedSetup {};
bool WindowsIsVista()
{
    return (WindowsVersion() & 0xFFFF) == 0x0006;
}

TEST(OnVista, UsbAudioGetsTheMarginsOfWindows60)
{
    if (!WindowsIsVista()) GTEST_SKIP() << "needs Windows 6.0";
    DeviceRecord usb = {};
    char usbaudio[] = "usbaudio";
    usb.serviceName = usbaudio;
    ServiceQuirk quirk = LookUpServiceQuirk(&usb);
    EXPECT_EQ(quirk.inputMargin, 5u);
    EXPECT_EQ(quirk.outputMargin, 5u);
}

TEST_F(OnVistaLooped, A32BitHostOn64BitWindowsPollsItsLoopedBuffer)
{
    if (!WindowsIsVista()) GTEST_SKIP() << "needs Windows 6.0";
    BOOL wow64 = FALSE;
    IsWow64Process(GetCurrentProcess(), &wow64);
    Wow64Process = wow64;
    PinRecord* pin = OpenHdmi([](sim::PinType&) {}, true);
    ASSERT_TRUE(pin && (pin->flags & RecordOpen));
    EXPECT_EQ(pin->notificationEvent == nullptr, wow64 != FALSE);
}

}  // namespace
