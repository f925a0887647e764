#include "driver/engine/switch_clock.h"

#include <cstdint>

namespace {

// Behind by more than this, missed switches are dropped rather than caught up.
constexpr LONG CatchUpLimitMs = 100;

DWORD DueTime(const SwitchClock* clock)
{
    std::uint64_t frames = std::uint64_t(clock->nextSwitch) * clock->bufferSize;
    DWORD offset = DWORD((frames * 1000 + clock->rate - 1) / clock->rate);
    return clock->referenceTime + offset;
}

}  // namespace

void StartSwitchClock(SwitchClock* clock, DWORD now, DWORD bufferSize, DWORD rate)
{
    clock->referenceTime = now;
    clock->nextSwitch = 1;
    clock->bufferSize = bufferSize;
    clock->rate = rate != 0 ? rate : 1;
}

DWORD TimeToNextSwitch(SwitchClock* clock, DWORD now)
{
    // Signed differences stay right across the wrap of timeGetTime.
    LONG lateness = LONG(now - DueTime(clock));
    if (lateness < 0) return DWORD(-lateness);
    if (lateness > CatchUpLimitMs) {
        clock->referenceTime = now;
        clock->nextSwitch = 0;
    }
    return 0;
}

void CountSwitch(SwitchClock* clock)
{
    // After `rate` switches exactly bufferSize seconds have passed: moving the reference
    // there keeps the products small and loses nothing.
    if (++clock->nextSwitch == clock->rate) {
        clock->referenceTime += clock->bufferSize * 1000;
        clock->nextSwitch = 0;
    }
}
