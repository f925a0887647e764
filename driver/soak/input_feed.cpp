#include "driver/soak/input_feed.h"

namespace {

constexpr std::size_t FeedFrames = std::size_t(1) << 22;  // 43 s at 96 kHz
constexpr std::size_t FeedSwitches = std::size_t(1) << 16;

}  // namespace

InputFeed::InputFeed() : frames_(FeedFrames), switches_(FeedSwitches) {}

void InputFeed::Push(const INT32* samples, long count, LONGLONG time)
{
    ULONGLONG first = written_.load(std::memory_order_relaxed);
    for (long frame = 0; frame < count; ++frame) frames_[(first + frame) % frames_.size()] = samples[frame];
    ULONGLONG number = switchCount_.load(std::memory_order_relaxed);
    switches_[number % switches_.size()] = {first, time};
    switchCount_.store(number + 1, std::memory_order_release);
    written_.store(first + count, std::memory_order_release);
}

LONGLONG InputFeed::TimeOf(ULONGLONG frame) const
{
    ULONGLONG count = switchCount_.load(std::memory_order_acquire);
    ULONGLONG kept = count < switches_.size() ? count : switches_.size();
    for (ULONGLONG back = 1; back <= kept; ++back) {
        const Switch& recorded = switches_[(count - back) % switches_.size()];
        if (recorded.firstFrame <= frame) return recorded.time;
    }
    return 0;
}
