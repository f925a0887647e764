// The soak's ears: reads the feed behind the streaming thread, checks every frame with
// the loopback check, and tells when audio came back after a fault: the first sent frame
// heard after the fault ended, followed by enough sent frames without a jump.
#pragma once

#include <windows.h>

#include "driver/loopback_host/loopback_check.h"
#include "driver/soak/input_feed.h"

class AudioWatch {
public:
    AudioWatch(const InputFeed& feed, long maxDelay) : feed_(feed), checker_(0, maxDelay) {}

    // Checks what arrived since the last call. False when the feed overtook the watch.
    bool Pump();

    // Watches for audio heard from the feed's current frame on; the fault ended `ended`
    // (performance counter). Then Pump until Returned().
    void AwaitReturnFrom(LONGLONG ended);
    bool Returned() const { return returnedAt_ != 0; }
    // Milliseconds from the fault's end to the switch that brought the first frame of the
    // audio that came back.
    double RecoveryMs() const;

    ULONGLONG CorruptFrames() const { return checker_.CorruptFrames(); }
    unsigned Discontinuities() const { return checker_.Discontinuities(); }
    ULONGLONG FramesChecked() const { return read_; }

private:
    void TrackReturn();

    const InputFeed& feed_;
    LoopbackChecker checker_;
    ULONGLONG read_ = 0;
    bool watching_ = false;
    ULONGLONG from_ = 0;  // the first frame heard after the fault ended
    LONGLONG ended_ = 0;
    LONGLONG runFrom_ = -1;   // the first verified frame at or after from_ in the current run
    LONGLONG runStart_ = -1;  // the checker's run it belongs to
    ULONGLONG verifiedAtRunFrom_ = 0;
    LONGLONG returnedAt_ = 0;
};
