// The looped (WaveRT) side of a pin instance: the cyclic buffer it shares with its
// client, the position register, and the events signalled as the position passes each
// notification point.
#pragma once

#include <windows.h>

#include <memory>
#include <vector>

#include "hardware_simulator/virtual_memory.h"
#include "kernel_streaming/kernel_streaming.h"

namespace hardware_simulator {

class LoopedStream {
public:
    // Replaces any earlier buffer with `size` fresh bytes, notifying `notificationCount`
    // times per cycle (0: none). False when the memory could not be committed.
    bool Allocate(ULONG size, ULONG notificationCount, BOOL callMemoryBarrier);
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

    // Moves the position `bytes` on, wrapping in the buffer, and signals the events at
    // each notification point passed. False without a buffer.
    bool Advance(ULONG bytes);
    // Back to the buffer's start, as KSSTATE_STOP does.
    void Rewind();
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
    std::vector<Registration> events_;
};

}  // namespace hardware_simulator
