// An in-process host of the driver object for streaming tests and benchmarks: it plays a known signal
// on every output, keeps what its inputs bring back through the simulator's loopback,
// and records the timing of every bufferSwitch.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <vector>

#include "asio_host/asio_driver.h"
#include "driver/loopback_host/loopback_check.h"

struct SwitchTiming {
    LONGLONG time;  // QueryPerformanceCounter at the call
    long index;
    ULONGLONG samplePosition;
    DWORD switchEvent;  // the streaming thread's switch count at the call
    // Render packets the first render pin had submitted when the callback began and
    // when it was about to return, and the render blocks left out to trim a queue then.
    DWORD renderPacketsAtEntry;
    DWORD renderPacketsAtExit;
    LONG trimsAtEntry;
    LONG trimsAtExit;
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
