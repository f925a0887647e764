// The stream requests (IOCTL_KS_READ_STREAM / IOCTL_KS_WRITE_STREAM) queued on a
// standard-streaming pin instance, oldest first, and the stream-relative offsets they move.
#pragma once

#include <windows.h>

#include <cstddef>
#include <deque>

#include "driver/engine/kernel_streaming.h"

namespace hardware_simulator {

// A request as the kernel holds it: the client's OVERLAPPED and header stay the
// client's memory until the request completes; the sizes are read once at submission.
struct StreamRequest {
    OVERLAPPED* overlapped;
    KsStreamHeader* header;
    bool capture;
    ULONG frameExtent;
    ULONG dataUsed;
};

class StreamQueue {
public:
    void Add(const StreamRequest& request);
    // Completes the oldest request: capture delivers `bytes` (at most its FrameExtent)
    // into DataUsed, render consumes `bytes` (at most its DataUsed). The byte count goes
    // to InternalHigh. False when nothing is queued.
    bool CompleteOldest(ULONG bytes);
    // Cancels every request (STATUS_CANCELLED, nothing transferred) and starts the
    // offsets again at 0, as KSSTATE_STOP does.
    void Stop();

    std::size_t Count() const { return requests_.size(); }
    // PlayOffset: bytes played or captured; WriteOffset: bytes handed to the device.
    KsAudioPosition Offsets() const { return {completed_, submitted_}; }

private:
    std::deque<StreamRequest> requests_;
    ULONGLONG submitted_ = 0;
    ULONGLONG completed_ = 0;
};

}  // namespace hardware_simulator
