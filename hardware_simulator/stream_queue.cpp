#include "hardware_simulator/stream_queue.h"

#include <algorithm>

#include "hardware_simulator/overlapped_completion.h"

namespace hardware_simulator {

void StreamQueue::Add(const StreamRequest& request)
{
    requests_.push_back(request);
    submitted_ += request.capture ? request.frameExtent : request.dataUsed;
}

bool StreamQueue::CompleteOldest(ULONG bytes)
{
    if (requests_.empty()) return false;
    StreamRequest request = requests_.front();
    requests_.pop_front();
    ULONG moved = std::min(bytes, request.capture ? request.frameExtent : request.dataUsed);
    if (request.capture) request.header->dataUsed = moved;
    completed_ += moved;
    CompleteOverlapped(request.overlapped, StatusSuccess, moved);
    return true;
}

void StreamQueue::FinishOldest(LONGLONG signalAt, ULONG_PTR status)
{
    StreamRequest request = requests_.front();
    requests_.pop_front();
    if (request.capture) request.header->dataUsed = request.transferred;
    completed_ += request.transferred;
    if (signalAt == 0 && held_.empty()) {
        CompleteOverlapped(request.overlapped, status, request.transferred);
        return;
    }
    if (!held_.empty()) signalAt = std::max(signalAt, held_.back().signalAt);
    held_.push_back({request.overlapped, status, request.transferred, signalAt});
}

void StreamQueue::SignalDue(LONGLONG now)
{
    while (!held_.empty() && held_.front().signalAt <= now) {
        CompleteOverlapped(held_.front().overlapped, held_.front().status, held_.front().bytes);
        held_.pop_front();
    }
}

void StreamQueue::FailAll(ULONG_PTR status)
{
    for (const HeldCompletion& completion : held_)
        CompleteOverlapped(completion.overlapped, completion.status, completion.bytes);
    held_.clear();
    for (const StreamRequest& request : requests_) {
        request.header->dataUsed = 0;
        CompleteOverlapped(request.overlapped, status, 0);
    }
    requests_.clear();
}

void StreamQueue::Stop()
{
    FailAll(StatusCancelled);
    submitted_ = 0;
    completed_ = 0;
}

}  // namespace hardware_simulator
