// The stream requests (IOCTL_KS_READ_STREAM / IOCTL_KS_WRITE_STREAM) queued on a
// standard-streaming pin instance, oldest first, and the stream-relative offsets they move.
#pragma once

#include <windows.h>

#include <cstddef>
#include <deque>
#include <memory>
#include <vector>

#include "hardware_simulator/issuing_threads.h"
#include "hardware_simulator/late_completions.h"
#include "hardware_simulator/overlapped_completion.h"
#include "kernel_streaming/kernel_streaming.h"

namespace hardware_simulator {

// A request as the kernel holds it: the client's OVERLAPPED, header and data stay the
// client's memory until the request completes; the sizes and the data address are read
// once at submission.
struct StreamRequest {
    OVERLAPPED* overlapped;
    KsStreamHeader* header;
    bool capture;
    ULONG frameExtent;
    ULONG dataUsed;
    BYTE* data;
    ULONG transferred = 0;  // bytes the device clock has filled or consumed so far
    std::shared_ptr<IssuingThread> thread;
};

class StreamQueue {
public:
    void Add(const StreamRequest& request);
    // Completes the oldest request: capture delivers `bytes` (at most its FrameExtent)
    // into DataUsed, render consumes `bytes` (at most its DataUsed). The byte count goes
    // to InternalHigh. False when nothing is queued.
    bool CompleteOldest(ULONG bytes);
    // The oldest request, for the device clock to move data in or out; null when none.
    StreamRequest* Oldest() { return requests_.empty() ? nullptr : &requests_.front(); }
    // Completes the oldest request with the bytes transferred into or out of it and
    // `status`. Its OVERLAPPED is completed at once when `signalAt` (a performance-counter
    // time) is 0, otherwise by SignalDue from then on, never before an earlier completion.
    void FinishOldest(LONGLONG signalAt, ULONG_PTR status = StatusSuccess);
    // Signals the completions whose time has come.
    void SignalDue(LONGLONG now);
    // Fails every request with `status`, nothing transferred, after signalling the
    // completions still held back.
    void FailAll(ULONG_PTR status);
    // Cancels every request (STATUS_CANCELLED) and starts the offsets again at 0, as
    // KSSTATE_STOP does. Returns the completions to deliver, in order: those held back
    // first, then the cancellations.
    [[nodiscard]] std::vector<Completion> Stop();
    // Cancels the requests whose issuing thread has ended; returns their completions.
    [[nodiscard]] std::vector<Completion> CancelRequestsOfEndedThreads();

    std::size_t Count() const { return requests_.size(); }
    // PlayOffset: bytes played or captured; WriteOffset: bytes handed to the device.
    KsAudioPosition Offsets() const
    {
        return {completed_ + (requests_.empty() ? 0 : requests_.front().transferred), submitted_};
    }

private:
    struct HeldCompletion {
        OVERLAPPED* overlapped;
        ULONG_PTR status;
        ULONG bytes;
        LONGLONG signalAt;
    };

    // Every held completion and request, taken off the queue: the held ones as they
    // completed, the requests with `status` and nothing transferred.
    std::vector<Completion> TakeAll(ULONG_PTR status);
    static Completion Failed(const StreamRequest& request, ULONG_PTR status);

    std::deque<StreamRequest> requests_;
    std::deque<HeldCompletion> held_;
    ULONGLONG submitted_ = 0;
    ULONGLONG completed_ = 0;
};

}  // namespace hardware_simulator
