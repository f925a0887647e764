// The device clock and the analogue side: requests completed at the pin's rate by the
// clock's thread, exact frame counts per millisecond step, loopback bit-exact through
// standard pins and across containers, the generator and the recorder, glitches, and
// looped pins following the clock.
#include "hardware_simulator/tests/pin_client.h"

#include <deque>
#include <memory>

#include "hardware_simulator/device_steps.h"
#include "hardware_simulator/profile_parts.h"

using namespace hardware_simulator;

namespace {

constexpr std::size_t Qorda = 0;  // device indexes in the machine
constexpr std::size_t DeskPro = 1;
constexpr ULONG QordaFrameBytes = 8 * 3;

// Runs the devices' clocks by hand, without the clock thread.
void Step(int milliseconds)
{
    for (int step = 0; step < milliseconds; ++step) StepDevices(0, 1);
}

LONGLONG Counter()
{
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return counter.QuadPart;
}

double SecondsSince(LONGLONG start)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return double(Counter() - start) / double(frequency.QuadPart);
}

// A left-justified 24-bit value that differs for every frame and channel.
INT32 RampSample(ULONG frame, ULONG channel)
{
    return INT32(((frame * 8 + channel + 1) * 0x010203u & 0xFFFFFFu) << 8);
}

void PutSample24(BYTE* at, INT32 value)
{
    auto bits = UINT32(value);
    at[0] = BYTE(bits >> 8);
    at[1] = BYTE(bits >> 16);
    at[2] = BYTE(bits >> 24);
}

class DeviceClock : public SimulatorTest {
protected:
    void SetUp() override
    {
        InstallDevices({Qorda8(), QordaDeskPro()});
        qorda = OpenFilter(Qorda8());
        deskPro = OpenFilter(QordaDeskPro());
    }

    HANDLE qorda = INVALID_HANDLE_VALUE;
    HANDLE deskPro = INVALID_HANDLE_VALUE;
};

TEST_F(DeviceClock, ItsThreadCompletesRequestsAtThePinsRate)
{
    HANDLE render = CreatePinIn(qorda, UsbRenderPin, Extensible(8, 44100, 24, 24), KSSTATE_PAUSE);
    HANDLE capture = CreatePinIn(qorda, UsbCapturePin, Extensible(8, 44100, 24, 24), KSSTATE_PAUSE);
    ASSERT_TRUE(render && capture);
    constexpr ULONG PacketBytes = 441 * QordaFrameBytes;  // 10 ms
    std::deque<std::unique_ptr<Packet>> renders, captures;
    for (int packet = 0; packet < 4; ++packet) {
        renders.push_back(std::make_unique<Packet>(PacketBytes));
        captures.push_back(std::make_unique<Packet>(PacketBytes));
        ASSERT_EQ(renders.back()->Submit(render, IOCTL_KS_WRITE_STREAM, PacketBytes), DWORD(ERROR_IO_PENDING));
        ASSERT_EQ(captures.back()->Submit(capture, IOCTL_KS_READ_STREAM), DWORD(ERROR_IO_PENDING));
    }
    SetPinState(render, KSSTATE_RUN);
    SetPinState(capture, KSSTATE_RUN);
    StartDeviceClock();
    StartDeviceClock();  // already running: no second thread
    LONGLONG start = Counter();

    // The oldest of each is waited for and queued again, as a client streams.
    ULONGLONG captured = 0, rendered = 0;
    while (SecondsSince(start) < 0.6) {
        for (auto* queue : {&renders, &captures}) {
            Packet& oldest = *queue->front();
            ASSERT_EQ(WaitForSingleObject(oldest.overlapped.hEvent, 1000), WAIT_OBJECT_0);
            DWORD bytes = 0;
            ASSERT_EQ(oldest.Result(&bytes), DWORD(ERROR_SUCCESS));
            ASSERT_EQ(bytes, PacketBytes);
            bool isCapture = queue == &captures;
            if (isCapture) {
                EXPECT_EQ(oldest.header.dataUsed, PacketBytes);
            }
            (isCapture ? captured : rendered) += bytes;
            std::unique_ptr<Packet> packet = std::move(queue->front());
            queue->pop_front();
            ASSERT_EQ(packet->Submit(isCapture ? capture : render,
                                     isCapture ? IOCTL_KS_READ_STREAM : IOCTL_KS_WRITE_STREAM, PacketBytes),
                      DWORD(ERROR_IO_PENDING));
            queue->push_back(std::move(packet));
        }
    }
    double seconds = SecondsSince(start);
    StopDeviceClock();
    // Four packets queued ahead: what completed lags the clock by at most 40 ms.
    double expected = 44100 * seconds;
    EXPECT_GT(captured / QordaFrameBytes, expected * 0.7 - 4 * 441);
    EXPECT_LT(captured / QordaFrameBytes, expected * 1.3);
    EXPECT_GT(rendered / QordaFrameBytes, expected * 0.7 - 4 * 441);
    EXPECT_LT(rendered / QordaFrameBytes, expected * 1.3);

    KsAudioPosition stopped = AudioPosition(capture);
    Sleep(30);
    EXPECT_EQ(AudioPosition(capture).playOffset, stopped.playOffset);
}

TEST_F(DeviceClock, StepsGiveExactlyTheRatesFramesAndScaleWithTheDeviation)
{
    HANDLE capture = CreatePinIn(qorda, UsbCapturePin, Extensible(8, 44100, 24, 24), KSSTATE_RUN);
    HANDLE render = CreatePinIn(deskPro, UsbRenderPin, Extensible(4, 48000, 24, 24, SpeakersQuad), KSSTATE_RUN);
    ASSERT_TRUE(capture && render);
    Packet big(44100 * 6 * QordaFrameBytes);
    ASSERT_EQ(big.Submit(capture, IOCTL_KS_READ_STREAM), DWORD(ERROR_IO_PENDING));

    Step(1);
    EXPECT_EQ(AudioPosition(capture).playOffset, 44u * QordaFrameBytes);
    Step(999);
    EXPECT_EQ(AudioPosition(capture).playOffset, 44100u * QordaFrameBytes);

    SetClockDeviation(Qorda, 100);
    Step(1000);
    EXPECT_EQ(AudioPosition(capture).playOffset, (44100u + 44104u) * QordaFrameBytes);  // 44104.41
    SetClockDeviation(Qorda, 2000000);                                                  // three times as fast
    Step(1000);
    ULONGLONG frames = AudioPosition(capture).playOffset / QordaFrameBytes;
    EXPECT_GE(frames, 44100u + 44104u + 132300u);
    EXPECT_LE(frames, 44100u + 44104u + 132301u);
    SetClockDeviation(Qorda, -1000000);  // refused: the clock would stand still
    Step(1);
    EXPECT_GT(AudioPosition(capture).playOffset / QordaFrameBytes, frames);

    // The other device's clock went its own way: 48 frames a millisecond, starving.
    GlitchCounters glitches = Glitches(DeskPro);
    EXPECT_EQ(glitches.renderStarvations, 1u);
    EXPECT_EQ(glitches.starvedFrames, 3001u * 48);
    EXPECT_EQ(Glitches(Qorda).captureOverruns, 0u);
}

TEST_F(DeviceClock, LoopsOutputsBackBitExactThroughStandardPins)
{
    AnalogueSide side;
    side.inputs = InputSource::Loopback;
    side.loopbackLatencyFrames = 32;
    ASSERT_TRUE(SetAnalogueSide(Qorda, side));
    EXPECT_FALSE(SetAnalogueSide(5, side));
    HANDLE render = CreatePinIn(qorda, UsbRenderPin, Extensible(8, 48000, 24, 24), KSSTATE_PAUSE);
    HANDLE capture = CreatePinIn(qorda, UsbCapturePin, Extensible(8, 48000, 24, 24), KSSTATE_PAUSE);
    ASSERT_TRUE(render && capture);

    // A ramp in 10 render packets of 5 ms, read back in capture packets of 7 ms.
    constexpr ULONG RenderFrames = 240, CaptureFrames = 336;
    std::vector<std::unique_ptr<Packet>> renders, captures;
    for (ULONG packet = 0; packet < 10; ++packet) {
        renders.push_back(std::make_unique<Packet>(RenderFrames * QordaFrameBytes));
        for (ULONG frame = 0; frame < RenderFrames; ++frame)
            for (ULONG channel = 0; channel < 8; ++channel)
                PutSample24(&renders.back()->data[(frame * 8 + channel) * 3],
                            RampSample(packet * RenderFrames + frame, channel));
        ASSERT_EQ(renders.back()->Submit(render, IOCTL_KS_WRITE_STREAM, RenderFrames * QordaFrameBytes),
                  DWORD(ERROR_IO_PENDING));
    }
    for (ULONG packet = 0; packet < 8; ++packet) {
        captures.push_back(std::make_unique<Packet>(CaptureFrames * QordaFrameBytes));
        ASSERT_EQ(captures.back()->Submit(capture, IOCTL_KS_READ_STREAM), DWORD(ERROR_IO_PENDING));
    }
    SetPinState(render, KSSTATE_RUN);
    SetPinState(capture, KSSTATE_RUN);
    Step(56);  // the render packets run dry after 50 ms

    std::vector<BYTE> played, heard;
    for (auto& packet : renders) {
        EXPECT_TRUE(packet->Signalled());
        played.insert(played.end(), packet->data.begin(), packet->data.end());
    }
    for (auto& packet : captures) {
        ASSERT_TRUE(packet->Signalled());
        heard.insert(heard.end(), packet->data.begin(), packet->data.begin() + packet->header.dataUsed);
    }
    ASSERT_EQ(heard.size(), 8u * CaptureFrames * QordaFrameBytes);
    constexpr std::size_t Latency = 32 * QordaFrameBytes;
    EXPECT_EQ(std::vector<BYTE>(heard.begin(), heard.begin() + Latency), std::vector<BYTE>(Latency, 0));
    EXPECT_TRUE(std::equal(played.begin(), played.end(), heard.begin() + Latency));
    EXPECT_EQ(std::vector<BYTE>(heard.begin() + Latency + played.size(), heard.end()),
              std::vector<BYTE>(heard.size() - Latency - played.size(), 0));
    EXPECT_EQ(Glitches(Qorda).captureOverruns, 0u);
}

TEST_F(DeviceClock, LoopbackKeepsTheTopBitsAcrossContainersAndOnlyAtOneRate)
{
    AnalogueSide side;
    side.inputs = InputSource::Loopback;
    ASSERT_TRUE(SetAnalogueSide(DeskPro, side));
    HANDLE render = CreatePinIn(deskPro, UsbRenderPin, Extensible(4, 48000, 24, 24, SpeakersQuad), KSSTATE_RUN);
    HANDLE capture = CreatePinIn(deskPro, UsbCapturePin, Plain(2, 48000, 16), KSSTATE_RUN);
    ASSERT_TRUE(render && capture);
    Packet played(48 * 12), heard(48 * 4);
    for (ULONG sample = 0; sample < 48 * 4; ++sample) PutSample24(&played.data[sample * 3], RampSample(sample, 0));
    ASSERT_EQ(played.Submit(render, IOCTL_KS_WRITE_STREAM, 48 * 12), DWORD(ERROR_IO_PENDING));
    ASSERT_EQ(heard.Submit(capture, IOCTL_KS_READ_STREAM), DWORD(ERROR_IO_PENDING));
    Step(1);
    ASSERT_TRUE(heard.Signalled());
    for (ULONG frame = 0; frame < 48; ++frame)
        for (ULONG channel = 0; channel < 2; ++channel) {
            ULONG sample = frame * 4 + channel;
            WORD top = WORD(UINT32(RampSample(sample, 0)) >> 16);
            EXPECT_EQ(heard.data[(frame * 2 + channel) * 2], BYTE(top)) << sample;
            EXPECT_EQ(heard.data[(frame * 2 + channel) * 2 + 1], BYTE(top >> 8)) << sample;
        }

    // A capture pin at another rate than the render pin hears silence.
    device_access::CloseHandle(capture);
    capture = CreatePinIn(deskPro, UsbCapturePin, Plain(2, 44100, 16), KSSTATE_RUN);
    ASSERT_TRUE(capture);
    Packet other(48 * 4), otherHeard(44 * 4);
    std::fill(other.data.begin(), other.data.end(), BYTE(0x55));
    ASSERT_EQ(other.Submit(render, IOCTL_KS_WRITE_STREAM, 48 * 4), DWORD(ERROR_IO_PENDING));
    ASSERT_EQ(otherHeard.Submit(capture, IOCTL_KS_READ_STREAM), DWORD(ERROR_IO_PENDING));
    Step(1);
    ASSERT_TRUE(otherHeard.Signalled());
    EXPECT_EQ(otherHeard.data, std::vector<BYTE>(44 * 4, 0));
}

TEST_F(DeviceClock, GeneratesInputsAndRecordsOutputsWithTheirGaps)
{
    AnalogueSide side;
    side.inputs = InputSource::Generator;
    side.generator = [](ULONG channel, ULONGLONG frame) { return RampSample(ULONG(frame), channel); };
    side.recordOutputs = true;
    ASSERT_TRUE(SetAnalogueSide(Qorda, side));
    HANDLE render = CreatePinIn(qorda, UsbRenderPin, Extensible(8, 48000, 24, 24), KSSTATE_PAUSE);
    HANDLE capture = CreatePinIn(qorda, UsbCapturePin, Extensible(8, 48000, 24, 24), KSSTATE_PAUSE);
    ASSERT_TRUE(render && capture);
    Packet played(72 * QordaFrameBytes), heard(96 * QordaFrameBytes);
    for (ULONG frame = 0; frame < 72; ++frame)
        for (ULONG channel = 0; channel < 8; ++channel)
            PutSample24(&played.data[(frame * 8 + channel) * 3], RampSample(frame + 1000, channel));
    ASSERT_EQ(played.Submit(render, IOCTL_KS_WRITE_STREAM, 72 * QordaFrameBytes), DWORD(ERROR_IO_PENDING));
    ASSERT_EQ(heard.Submit(capture, IOCTL_KS_READ_STREAM), DWORD(ERROR_IO_PENDING));
    SetPinState(render, KSSTATE_RUN);
    SetPinState(capture, KSSTATE_RUN);
    Step(3);  // 144 frames: the render packet runs dry after 72, the capture one is full at 96

    ASSERT_TRUE(heard.Signalled());
    for (ULONG frame = 0; frame < 96; ++frame) {
        BYTE expected[3];
        PutSample24(expected, RampSample(frame, 5));
        ASSERT_EQ(std::memcmp(&heard.data[(frame * 8 + 5) * 3], expected, 3), 0) << frame;
    }
    std::vector<INT32> recorded = RecordedOutput(Qorda, 7);
    ASSERT_EQ(recorded.size(), 144u);
    for (ULONG frame = 0; frame < 72; ++frame) EXPECT_EQ(recorded[frame], RampSample(frame + 1000, 7)) << frame;
    EXPECT_EQ(std::vector<INT32>(recorded.begin() + 72, recorded.end()), std::vector<INT32>(72, 0));
    EXPECT_TRUE(RecordedOutput(Qorda, 8).empty());

    GlitchCounters glitches = Glitches(Qorda);
    EXPECT_EQ(glitches.renderStarvations, 1u);
    EXPECT_EQ(glitches.starvedFrames, 72u);
    EXPECT_EQ(glitches.captureOverruns, 1u);
    EXPECT_EQ(glitches.overrunFrames, 48u);

    // A new request ends the gap; the next one counts again.
    ASSERT_EQ(heard.Submit(capture, IOCTL_KS_READ_STREAM), DWORD(ERROR_IO_PENDING));
    Step(3);
    glitches = Glitches(Qorda);
    EXPECT_EQ(glitches.captureOverruns, 2u);
    EXPECT_EQ(glitches.overrunFrames, 48u + 48u);
    EXPECT_EQ(glitches.renderStarvations, 1u);

    ClearRecordedOutput(Qorda);
    EXPECT_TRUE(RecordedOutput(Qorda, 0).empty());
}

TEST_F(DeviceClock, MovesLoopedPinsThroughTheirBuffersAndSignalsEachHalf)
{
    ASSERT_TRUE(Install(Machine{{HdAudioCodec()}}));
    AnalogueSide side;
    side.inputs = InputSource::Generator;
    side.generator = [](ULONG channel, ULONGLONG frame) { return INT32(frame * 0x10000 + channel * 0x100); };
    side.recordOutputs = true;
    ASSERT_TRUE(SetAnalogueSide(0, side));
    HANDLE wave = OpenFilter(HdAudioCodec(), HdAudioAnalogWave);
    HANDLE render = CreatePinIn(wave, WaveRenderPin, Extensible(2, 48000, 32, 24, SpeakersStereo), KSSTATE_STOP,
                                KSINTERFACE_STANDARD_LOOPED_STREAMING);
    HANDLE capture = CreatePinIn(wave, WaveCapturePin, Extensible(2, 48000, 32, 24, SpeakersStereo), KSSTATE_STOP,
                                 KSINTERFACE_STANDARD_LOOPED_STREAMING);
    ASSERT_TRUE(render && capture);
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HANDLE captured = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    for (HANDLE pin : {render, capture}) {
        std::vector<BYTE> request =
            Descriptor(KSPROPSETID_RtAudio, KSPROPERTY_RTAUDIO_BUFFER_WITH_NOTIFICATION, KSPROPERTY_TYPE_GET, 40);
        ULONG size = 960 * 8, notifications = 2;  // 20 ms
        std::memcpy(&request[sizeof(void*) == 8 ? 32 : 28], &size, 4);
        std::memcpy(&request[sizeof(void*) == 8 ? 36 : 32], &notifications, 4);
        ASSERT_TRUE(PinProperty(pin, request, std::vector<BYTE>(sizeof(void*) == 8 ? 16 : 12)).ok);
    }
    std::vector<BYTE> registration =
        Descriptor(KSPROPSETID_RtAudio, KSPROPERTY_RTAUDIO_REGISTER_NOTIFICATION_EVENT, KSPROPERTY_TYPE_SET, 32);
    std::memcpy(&registration[24], &event, sizeof(event));
    ASSERT_TRUE(PinProperty(render, registration, std::vector<BYTE>(4)).ok);
    std::memcpy(&registration[24], &captured, sizeof(captured));
    ASSERT_TRUE(PinProperty(capture, registration, std::vector<BYTE>(4)).ok);
    PinView played = *InspectPin(render);
    PinView heard = *InspectPin(capture);
    for (ULONG sample = 0; sample < 960 * 2; ++sample) {
        INT32 value = INT32(sample * 0x100);
        std::memcpy(played.loopedBuffer + sample * 4, &value, 4);
    }

    SetPinState(render, KSSTATE_RUN);
    SetPinState(capture, KSSTATE_RUN);
    Step(9);
    EXPECT_EQ(AudioPosition(render).playOffset, 9u * 48 * 8);
    EXPECT_EQ(WaitForSingleObject(event, 0), DWORD(WAIT_TIMEOUT));
    Step(1);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    // The half heard reaches the buffer through the codec's FIFO of 32 frames: its
    // notification comes a step later.
    EXPECT_EQ(WaitForSingleObject(captured, 0), DWORD(WAIT_TIMEOUT));
    Step(1);
    EXPECT_EQ(WaitForSingleObject(captured, 0), WAIT_OBJECT_0);
    Step(14);
    EXPECT_EQ(AudioPosition(render).playOffset, 5u * 48 * 8);
    EXPECT_EQ(AudioPosition(capture).playOffset, 5u * 48 * 8);

    // The buffer was written once: its second cycle finds only frames already played,
    // a starved render pin that plays silence.
    std::vector<INT32> recorded = RecordedOutput(0, 1);
    ASSERT_EQ(recorded.size(), 25u * 48);
    for (ULONG frame = 0; frame < recorded.size(); ++frame)
        EXPECT_EQ(recorded[frame], frame < 960 ? INT32((frame * 2 + 1) * 0x100) : 0) << frame;
    EXPECT_EQ(Glitches(0).renderStarvations, 1u);
    EXPECT_EQ(Glitches(0).starvedFrames, 240u);
    // Capture reaches the buffer through the codec's FIFO of 32 frames: 1168 of the 1200
    // frames heard are in it.
    for (ULONG frame = 0; frame < 960; ++frame) {
        ULONG lastWritten = frame < 208 ? 960 + frame : frame;
        INT32 value;
        std::memcpy(&value, heard.loopedBuffer + frame * 8 + 4, 4);
        ASSERT_EQ(value, INT32(lastWritten * 0x10000 + 0x100)) << frame;
    }

    // The clock's thread moves them too.
    ResetEvent(event);
    StartDeviceClock();
    EXPECT_EQ(WaitForSingleObject(event, 2000), WAIT_OBJECT_0);
    StopDeviceClock();
    EXPECT_GT(RecordedOutput(0, 1).size(), 25u * 48);
    CloseHandle(event);
    CloseHandle(captured);
}

}  // namespace
