#include "hardware_simulator/late_completions.h"

#include <algorithm>
#include <cstring>

#include "hardware_simulator/device_clock.h"
#include "hardware_simulator/overlapped_completion.h"

namespace hardware_simulator {

void Deliver(const Completion& completion)
{
    if (completion.emptiedHeader != nullptr) completion.emptiedHeader->dataUsed = 0;
    if (completion.output != nullptr && !completion.data.empty())
        std::memcpy(completion.output, completion.data.data(), completion.data.size());
    CompleteOverlapped(completion.overlapped, completion.status, completion.bytes);
}

LONGLONG CounterIn(ULONG delayMs)
{
    static const LONGLONG ticksPerSecond = [] {
        LARGE_INTEGER frequency;
        QueryPerformanceFrequency(&frequency);
        return frequency.QuadPart;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart + LONGLONG(delayMs) * ticksPerSecond / 1000;
}

void LateCompletions::Add(Completion completion, ULONG delayMs)
{
    if (!DeviceClockRunning()) {
        Deliver(completion);
        return;
    }
    LONGLONG dueAt = CounterIn(delayMs);
    if (!waiting_.empty()) dueAt = std::max(dueAt, waiting_.back().dueAt);  // in order
    waiting_.push_back({std::move(completion), dueAt});
}

void LateCompletions::DeliverDue(LONGLONG now)
{
    for (auto waiting = waiting_.begin(); waiting != waiting_.end();) {
        Completion& completion = waiting->completion;
        if (completion.thread && completion.thread->ended) {
            // The I/O manager cancels a pended request when its thread ends; it returns nothing.
            completion.status = StatusCancelled;
            completion.bytes = 0;
            completion.output = nullptr;
        } else if (waiting->dueAt > now) {
            ++waiting;
            continue;
        }
        Deliver(completion);
        waiting = waiting_.erase(waiting);
    }
}

void LateCompletions::DeliverAll()
{
    for (const Waiting& waiting : waiting_) Deliver(waiting.completion);
    waiting_.clear();
}

}  // namespace hardware_simulator
