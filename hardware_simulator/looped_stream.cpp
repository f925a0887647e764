#include "hardware_simulator/looped_stream.h"

#include <algorithm>

namespace hardware_simulator {

bool LoopedStream::Allocate(ULONG size, ULONG notificationCount, BOOL callMemoryBarrier, ULONG fifoBytes)
{
    VirtualMemory memory(size);
    if (memory.Address() == nullptr) return false;
    buffer_ = std::move(memory);
    size_ = size;
    notificationCount_ = notificationCount;
    callMemoryBarrier_ = callMemoryBarrier;
    fifoBytes_ = fifoBytes;
    Rewind();
    return true;
}

bool LoopedStream::MapRegister()
{
    VirtualMemory page(sizeof(ULONG));
    if (page.Address() == nullptr) return false;
    register_ = std::move(page);
    WriteRegister();
    return true;
}

bool LoopedStream::RegisterEvent(HANDLE event)
{
    HANDLE reference = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), event, GetCurrentProcess(), &reference, EVENT_MODIFY_STATE, FALSE, 0))
        return false;
    events_.push_back({event, std::unique_ptr<void, HandleCloser>(reference)});
    return true;
}

bool LoopedStream::UnregisterEvent(HANDLE event)
{
    auto found = std::find_if(events_.begin(), events_.end(),
                              [&](const Registration& registration) { return registration.clientHandle == event; });
    if (found == events_.end()) return false;
    events_.erase(found);
    return true;
}

std::vector<HANDLE> LoopedStream::Events() const
{
    std::vector<HANDLE> handles;
    for (const Registration& registration : events_) handles.push_back(registration.clientHandle);
    return handles;
}

ULONGLONG LoopedStream::BufferSideAfter(ULONG bytes, bool render) const
{
    ULONGLONG position = position_ + bytes;
    if (render) return position + fifoBytes_;
    return position > fifoBytes_ ? position - fifoBytes_ : 0;
}

bool LoopedStream::Advance(ULONG bytes, bool render)
{
    if (size_ == 0) return false;
    ULONGLONG before = bufferSide_;
    bufferSide_ = BufferSideAfter(bytes, render);
    position_ += bytes;
    WriteRegister();
    if (notificationCount_ == 0) return true;
    ULONGLONG period = std::max<ULONGLONG>(size_ / notificationCount_, 1);
    if (bufferSide_ / period != before / period)
        for (const Registration& registration : events_) SetEvent(registration.reference.get());
    return true;
}

void LoopedStream::Rewind()
{
    position_ = 0;
    bufferSide_ = 0;
    fifo_.clear();
    fifoStarved_.clear();
    WriteRegister();
}

KsAudioPosition LoopedStream::Position() const
{
    return {Offset(), Offset()};
}

void LoopedStream::WriteRegister()
{
    if (volatile ULONG* position = Register()) *position = Offset();
}

}  // namespace hardware_simulator
