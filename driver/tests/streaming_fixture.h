// What the streaming tests share: the driver in-process with a recording host on a
// simulated device whose outputs loop back to its inputs, the restart counters, and
// the checks of what comes back.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <ostream>
#include <string>
#include <vector>

#include "driver/core/com_objects.h"
#include "driver/core/device_tree.h"
#include "driver/engine/restart_causes.h"
#include "driver/loopback_host/loopback_host.h"
#include "driver/tests/driver_fixture.h"
#include "hardware_simulator/hardware_simulator.h"

namespace sim = hardware_simulator;

constexpr ULONG LoopbackLatencyFrames = 32;

LONG Restarts(RestartCause cause);
LONG AllRestarts();
// Waits until `cause` has restarted the stream more often than `before`.
bool AwaitRestart(RestartCause cause, LONG before, DWORD timeoutMs);
// The restarts so far by cause, for failure messages.
std::string RestartSummary();

// Frames of `seconds` at `rate`, as switches of `bufferSize`.
long SwitchesFor(double seconds, double rate, long bufferSize);
// The mean period of the switches after the first lies within a fifth of the block time.
bool IsPlausibleSwitchRate(const std::vector<SwitchTiming>& timings, long bufferSize, double rate);

// The product's own device: the 64-bit build drives the QORDA-8, the 32-bit one the
// DESK PRO.
sim::Device ProductDevice();

// The HD Audio codec with only its analogue filters: its looped render and capture pins
// loop back to each other. Unless `notifying`, its pins refuse notification buffers.
sim::Device AnalogueCodec(bool notifying = false);
// Every filter's looped pins may notify, as the stored setting NotifyAllowed lets them.
void AllowNotifications(DeviceRecord* device);

// The devices a test streams through: the product on the USB audio class driver's packet
// pins, and the QORDA-8 as Windows 10 and later drive it, on looped pins, polled or in
// event mode; the codec's analogue pins in event mode.
struct StreamedDevice {
    const char* name;
    sim::Device (*make)();
    // Where the signal may jump for each render starvation: a block written too late
    // into a looped buffer plays as silence, and then, stale, one cycle later.
    unsigned jumpsPerStarvation;
    // Its looped pins may notify (NotifyAllowed): they run in event mode.
    bool notifying = false;
};
extern const StreamedDevice OnPackets;
extern const StreamedDevice OnUsbAudio2;
extern const StreamedDevice OnUsbAudio2Events;
extern const StreamedDevice OnCodecEvents;
void PrintTo(const StreamedDevice& device, std::ostream* out);

// Everything that may make the returning signal jump: glitches the device counted,
// restarts, render blocks left out to trim a queue, and notifications the streaming
// thread woke too late for (the device was overwriting the block to capture).
struct Disturbances {
    unsigned total = 0;
    unsigned starvations = 0;
    unsigned restarts = 0;
    std::string text;
};
class DisturbanceMark {
public:
    DisturbanceMark();
    Disturbances Since() const;

private:
    sim::GlitchCounters glitches_;
    LONG restarts_[int(RestartCause::Count)];
    LONG trims_;
    LONG resyncs_;
};

class Streaming : public InProcessDriver {
protected:
    void SetUp() override;
    void TearDown() override;

    // Plugs `device` in with its outputs looped back and starts its clock.
    void PlugIn(sim::Device device);
    // Takes the driver so that its scan sees the machine, then lets `edit` change the
    // device's records as stored settings would, then opens the host.
    bool OpenHost(long bufferSize, double rate, const HostHabits& habits = {}, void (*edit)(DeviceRecord*) = nullptr);
    void Start() { ASSERT_EQ(host.Driver()->start(), ASE_OK); }
    // Streams for `seconds`; false when the switches did not come.
    bool StreamFor(double seconds, double rate, long bufferSize);
    // Closes the host and unplugs everything, for a test that goes through cases.
    void EndCase();

    // The switch from which the signal must come back; the disturbances are counted
    // from here.
    long MarkRecovery();
    // Every frame recorded from the switch on is a sent frame, in order between jumps
    // that something disturbing the stream since the mark explains, and at least four
    // blocks of them came back.
    void ExpectSignalReturnsAfter(long switchNumber);

    LoopbackHost host;
    DisturbanceMark recoveryMark;
};

// A stream running on the product's device, then disturbed: it must restart, stamp the
// resynchronisation and carry the signal again without the host doing anything.
class StreamRestart : public Streaming {
protected:
    void StartStreaming(sim::Device device, long bufferSize, const HostHabits& habits = {},
                        void (*edit)(DeviceRecord*) = nullptr);
    // Waits until `cause` restarted the stream; then the signal must flow again.
    void ExpectRestartAndRecovery(RestartCause cause, LONG before, DWORD timeoutMs = 8000);
    // The signal sent after now comes back, in event mode again when the stream started
    // in it; the host then stops. Its jumps are counted against what disturbed the stream
    // since it started streaming, or since the last MarkRecovery: a restart's own jump
    // may land just after the restart was seen.
    void ExpectFlowingAgain();

    LONG resyncsBefore = 0;
    bool eventMode = false;  // the master notified when the stream started
};
