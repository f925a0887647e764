// One session of the soak's host with the driver object in this process: taken,
// initialised at a rate, buffers created for every channel at a size, started; at every
// switch it plays the loopback signal on all outputs and hands input 0 to the feed. It
// may call outputReady inside bufferSwitch or have another thread call it. Every call is
// timed: one that takes too long is a hang.
#pragma once

#include <windows.h>

#include <string>

#include "asio_host/asio_driver.h"
#include "driver/soak/input_feed.h"

enum class OutputReadyHabit { Never, InSwitch, FromAnotherThread };
const char* HabitName(OutputReadyHabit habit);

struct SessionFormat {
    long bufferSize;
    double rate;
    OutputReadyHabit habit;
};

class SoakSession {
public:
    explicit SoakSession(InputFeed* feed) : feed_(feed) {}
    ~SoakSession() { Close(); }
    SoakSession(const SoakSession&) = delete;
    SoakSession& operator=(const SoakSession&) = delete;

    // Takes the driver, initialises it and creates buffers; false with the step that
    // failed in Failure(). A driver that finds no device opens too, without channels.
    bool Open(const SessionFormat& format);
    bool Start();
    bool Stop();
    // Stops, disposes the buffers and releases the driver.
    void Close();
    bool ChangeRate(double rate);
    // Stop, dispose, create at the new size, start.
    bool ChangeBufferSize(long bufferSize);

    bool IsOpen() const { return driver_ != nullptr; }
    const SessionFormat& Format() const { return format_; }
    const std::string& Failure() const { return failure_; }
    // Calls that took longer than a hang's limit, and the longest call.
    unsigned Hangs() const { return hangs_; }
    DWORD LongestCallMs() const { return longestCallMs_; }
    const std::string& LongestCall() const { return longestCall_; }

private:
    bool Fail(const std::string& step);
    bool CreateBuffers();
    template <typename Call>
    auto Timed(const char* name, Call call);

    InputFeed* feed_;
    IAsioDriver* driver_ = nullptr;
    SessionFormat format_{};
    bool started_ = false;
    bool buffersCreated_ = false;
    std::string failure_;
    unsigned hangs_ = 0;
    DWORD longestCallMs_ = 0;
    std::string longestCall_;
};
