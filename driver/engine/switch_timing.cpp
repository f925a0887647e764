#include "driver/engine/switch_timing.h"

#include <mmsystem.h>

#include "driver/engine/engine_state.h"
#include "driver/engine/pin_requests.h"
#include "driver/engine/stream_flags.h"
#include "driver/engine/stream_run.h"

namespace {

constexpr DWORD FailedPosition = 0xFFFFFFFF;

// A 64-bit value times a 32-bit one, exactly, as 96 bits: the high 64 and the low 32.
struct Product96 {
    ULONGLONG high;
    DWORD low;
};

Product96 Multiply(ULONGLONG value, DWORD factor)
{
    ULONGLONG lowPart = (value & 0xFFFFFFFF) * factor;
    ULONGLONG highPart = (value >> 32) * factor + (lowPart >> 32);
    return {highPart, DWORD(lowPart)};
}

bool AtLeast(Product96 left, Product96 right)
{
    return left.high != right.high ? left.high > right.high : left.low >= right.low;
}

}  // namespace

bool CheckLoopedPosition(PinRecord* master)
{
    const ConversionPin& loop = master->conversion;
    DWORD loopBytes = DWORD(loop.packetData[3] - loop.packetData[2]);
    if (loopBytes == 0) return true;
    DWORD read = ReadPinPosition(master);
    if (read == FailedPosition) return false;
    DWORD position = read % loopBytes;
    if (position < Stream.lastLoopedPosition) ++Stream.loopedWraps;
    Stream.lastLoopedPosition = position;
    ULONGLONG played = ULONGLONG(Stream.loopedWraps) * loopBytes + position;
    // Bytes played against the switches made, both in host time.
    ULONGLONG due = ULONGLONG(Stream.switchEvents) * ActiveBufferSize * loop.blockAlign;
    return AtLeast(Multiply(played, ActiveHostRate), Multiply(due, loop.sampleRate));
}

void ScheduleNextSwitch()
{
    ++Stream.subBlockCount;
    PinRecord* master = Stream.master;
    if (master == nullptr) return;
    if (master->streamFlags & LoopedMode) {
        Stream.deadline = timeGetTime() + (CheckLoopedPosition(master) ? 0 : 1);
        Stream.deadlineValid = true;
    } else if (Stream.subBlockCount < BlocksPerLargePacket) {
        ULONGLONG blockTimes = ULONGLONG(Stream.subBlockCount) * 1000 * ActiveBufferSize;
        Stream.deadline = master->lastCompletionTime + DWORD((2 * blockTimes + ActiveHostRate) / (2 * ActiveHostRate));
        Stream.deadlineValid = true;
    } else {
        Stream.deadlineValid = false;
    }
}

DWORD TimeToNextTimedSwitch()
{
    PinRecord* master = Stream.master;
    // A master that could not open has no time to give: the wait runs into the stall.
    if (master == nullptr || master->notificationEvent != nullptr || !IsPinOpen(master)) return INFINITE;
    if (Stream.subBlockCount == 0) return 0;
    if (!Stream.deadlineValid) return INFINITE;
    LONG left = LONG(Stream.deadline - timeGetTime());
    return left > 0 ? DWORD(left) : 0;
}
