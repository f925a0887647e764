// A pin instance behind a pin handle: what it was created as, its state, and what
// streams through it: queued requests (standard streaming) or a looped buffer (WaveRT).
#pragma once

#include <windows.h>

#include <vector>

#include "hardware_simulator/looped_stream.h"
#include "hardware_simulator/open_filter.h"
#include "hardware_simulator/pin_format.h"
#include "hardware_simulator/stream_queue.h"
#include "kernel_streaming/kernel_streaming.h"

namespace hardware_simulator {

struct OpenPin {
    OpenFilter filter;  // the filter it was created on, found again at each request
    ULONG pinId = 0;
    ULONG dataFlow = KSPIN_DATAFLOW_IN;
    bool looped = false;     // created with KSINTERFACE_STANDARD_LOOPED_STREAMING
    ACCESS_MASK access = 0;  // granted FILE_READ_DATA and FILE_WRITE_DATA
    PinFormat format;
    ULONG state = KSSTATE_STOP;  // created stopped
    StreamQueue queue;
    LoopedStream loop;
    bool inGap = false;  // a running render pin ran dry, or a capture pin lost frames

    // Any state may follow any other. STOP cancels what is queued (the completions to
    // deliver are returned) and rewinds the position; PAUSE and ACQUIRE hold it where it is.
    [[nodiscard]] std::vector<Completion> SetState(ULONG newState);
    // Stream-relative on standard pins, buffer-relative on looped pins.
    KsAudioPosition Position() const { return looped ? loop.Position() : queue.Offsets(); }

    // The device's progress, which only a running pin makes: false when it is not
    // running or has nothing to complete or no looped buffer to move through.
    bool CompleteOldestRequest(ULONG bytes);
    bool AdvanceLoopedPosition(ULONG bytes);
};

}  // namespace hardware_simulator
