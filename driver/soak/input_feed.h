// What the soak's host hears on input 0, switch by switch: the streaming thread hands
// the frames over, the audio watch reads them behind it. One writer, one reader, no lock.
#pragma once

#include <windows.h>

#include <atomic>
#include <vector>

class InputFeed {
public:
    InputFeed();

    // Writer (whichever streaming thread calls the host): the frames of one switch and
    // the time it came (performance counter). Host frames are numbered across sessions:
    // the first frame of a switch is Written() before it.
    void Push(const INT32* samples, long count, LONGLONG time);
    ULONGLONG Written() const { return written_.load(std::memory_order_acquire); }

    // Reader: frames from `Written() - Capacity()` on can be read.
    std::size_t Capacity() const { return frames_.size(); }
    INT32 At(ULONGLONG frame) const { return frames_[frame % frames_.size()]; }
    // The time of the switch that brought `frame`, or 0 when that switch is no longer
    // kept (switches are kept as long as their frames).
    LONGLONG TimeOf(ULONGLONG frame) const;

private:
    struct Switch {
        ULONGLONG firstFrame;
        LONGLONG time;
    };
    std::vector<INT32> frames_;
    std::vector<Switch> switches_;
    std::atomic<ULONGLONG> written_{0};
    std::atomic<ULONGLONG> switchCount_{0};
};
