// An in-process host of the driver object for streaming tests and benchmarks: it plays a known signal
// on every output, keeps what its inputs bring back through the simulator's loopback,
// and records the timing of every bufferSwitch.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <vector>

#include "asio_host/asio_driver.h"

// What the host sends on output channel `channel` at host frame `frame`: a
// pseudo-random value in the top 16 bits, which every device container carries exactly.
INT32 LoopbackSignal(ULONGLONG frame, long channel);

struct SwitchTiming {
    LONGLONG time;  // QueryPerformanceCounter at the call
    long index;
    ULONGLONG samplePosition;
    DWORD switchEvent;  // the streaming thread's switch count at the call
    // Render packets the first render pin had submitted when the callback began and
    // when it was about to return.
    DWORD renderPacketsAtEntry;
    DWORD renderPacketsAtExit;
};

// How the recording host behaves, set before start.
struct HostHabits {
    bool callOutputReady = false;
    // Output channel 0 carries this sine (amplitude of full scale) instead of the signal.
    double sineHz = 0;
    double sineAmplitude = 0;
    // Blocks once for this long in a switch from `sleepAtSwitch` on, early in a period
    // of timed switches.
    DWORD sleepInSwitchMs = 0;
    long sleepAtSwitch = -1;
    // Called at the end of every switch with its number, for what else the host does there.
    void (*inSwitch)(long number) = nullptr;
};

class LoopbackHost {
public:
    // Takes the driver, initialises it at `rate` and creates buffers for every channel.
    // False when any step fails, with the step in Failure().
    bool Open(long bufferSize, double rate, const HostHabits& habits = {});
    const char* Failure() const { return failure_; }
    // Stops, disposes the buffers and releases the driver.
    void Close();
    IAsioDriver* Driver() const { return driver_; }

    long Inputs() const { return inputs_; }
    long Outputs() const { return outputs_; }
    long BufferSize() const { return bufferSize_; }

    // Switches seen so far, and waiting for more (false after `timeoutMs`).
    long Switches() const;
    bool WaitForSwitches(long count, DWORD timeoutMs) const;
    // Input channel 0 as recorded, one host frame per entry; valid up to Switches().
    std::vector<INT32> RecordedInput(long channel = 0) const;
    std::vector<SwitchTiming> Timings() const;
    // The thread that called bufferSwitch last.
    DWORD StreamingThreadId() const;

private:
    bool Fail(const char* failure);

    IAsioDriver* driver_ = nullptr;
    const char* failure_ = "";
    long inputs_ = 0;
    long outputs_ = 0;
    long bufferSize_ = 0;
};

// Where the inputs carry the signal sent: the round trip in host frames, found at the
// first non-silent input frame at or after `from`; -1 when no delay up to `maxDelay`
// fits 64 frames there.
long FindRoundTrip(const std::vector<INT32>& input, long channel, std::size_t from, long maxDelay);
// Input frames from `from` to `to` that differ from the signal sent `delay` frames earlier.
std::size_t CountMismatches(const std::vector<INT32>& input, long channel, long delay, std::size_t from,
                            std::size_t to);

// The input compared with the signal sent, from its first non-silent frame to its end:
// the round trip there, and how often the round trip changed on the way (a glitch that
// dropped or delayed frames; silent frames may come between). Frames that match the
// signal at no round trip up to `maxDelay` make it corrupt.
struct LoopbackCheck {
    long roundTrip = -1;  // at the start; -1 when the signal never came back
    unsigned discontinuities = 0;
    bool corrupt = false;
};
LoopbackCheck CheckLoopback(const std::vector<INT32>& input, long channel, long maxDelay);
