// The looped (WaveRT) side of a pin instance: the cyclic buffer it shares with its
// client, the position register, the device's FIFO, and the events signalled as the
// buffer side passes each notification point.
//
// The position (register and KSAUDIO_POSITION) is the sample at the converters. A render
// device reads the buffer a FIFO ahead of it, a capture device writes the buffer a FIFO
// behind it; the DMA engine's notifications come as the buffer side passes each point.
#pragma once

#include <windows.h>

#include <deque>
#include <memory>
#include <vector>

#include "hardware_simulator/virtual_memory.h"
#include "kernel_streaming/kernel_streaming.h"

namespace hardware_simulator {

class LoopedStream {
public:
    // Replaces any earlier buffer with `size` fresh bytes, notifying `notificationCount`
    // times per cycle (0: none), behind a FIFO of `fifoBytes` (whole frames). False when
    // the memory could not be committed.
    bool Allocate(ULONG size, ULONG notificationCount, BOOL callMemoryBarrier, ULONG fifoBytes);
    BYTE* Buffer() const { return buffer_.Address(); }
    ULONG Size() const { return size_; }
    ULONG NotificationCount() const { return notificationCount_; }
    BOOL CallMemoryBarrier() const { return callMemoryBarrier_; }

    // Maps the 32-bit register holding the byte offset in the buffer. False when
    // the memory could not be committed.
    bool MapRegister();
    volatile ULONG* Register() const { return reinterpret_cast<volatile ULONG*>(register_.Address()); }

    // The kernel takes its own reference to a registered event, so the client's handle
    // may be closed without ending the notifications. False for an invalid handle.
    bool RegisterEvent(HANDLE event);
    // False when `event` is not registered.
    bool UnregisterEvent(HANDLE event);
    std::vector<HANDLE> Events() const;  // the client's handles, in registration order

    // Moves the position `bytes` on, wrapping in the buffer, the buffer side with it,
    // and signals the events at each notification point the buffer side passed. False
    // without a buffer.
    bool Advance(ULONG bytes, bool render);
    // Back to the buffer's start with an empty FIFO, as KSSTATE_STOP does.
    void Rewind();

    // Bytes the buffer side (what a render device read, what a capture device wrote) has
    // moved since the start, and where it stands once the position has moved `bytes` on.
    ULONGLONG BufferSideBytes() const { return bufferSide_; }
    ULONGLONG BufferSideAfter(ULONG bytes, bool render) const;
    // The frames in the FIFO, oldest first; for render, whether each was one the client
    // had not written again (then silence), a flag per frame.
    std::deque<BYTE>& FifoFrames() { return fifo_; }
    std::deque<bool>& FifoStarved() { return fifoStarved_; }
    // PlayOffset and WriteOffset, both the offset in the buffer.
    KsAudioPosition Position() const;

private:
    struct HandleCloser {
        void operator()(HANDLE handle) const { ::CloseHandle(handle); }
    };
    struct Registration {
        HANDLE clientHandle;
        std::unique_ptr<void, HandleCloser> reference;
    };

    ULONG Offset() const { return size_ == 0 ? 0 : ULONG(position_ % size_); }
    void WriteRegister();

    VirtualMemory buffer_;
    ULONG size_ = 0;
    ULONG notificationCount_ = 0;
    BOOL callMemoryBarrier_ = FALSE;
    VirtualMemory register_;
    ULONGLONG position_ = 0;  // bytes moved since the buffer was allocated or rewound
    ULONGLONG bufferSide_ = 0;
    ULONG fifoBytes_ = 0;
    std::deque<BYTE> fifo_;
    std::deque<bool> fifoStarved_;
    std::vector<Registration> events_;
};

}  // namespace hardware_simulator
