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

Completion StreamQueue::Failed(const StreamRequest& request, ULONG_PTR status)
{
    Completion completion;
    completion.overlapped = request.overlapped;
    completion.status = status;
    completion.emptiedHeader = request.header;
    return completion;
}

std::vector<Completion> StreamQueue::TakeAll(ULONG_PTR status)
{
    std::vector<Completion> completions;
    for (const HeldCompletion& held : held_) {
        Completion completion;
        completion.overlapped = held.overlapped;
        completion.status = held.status;
        completion.bytes = held.bytes;
        completions.push_back(std::move(completion));
    }
    held_.clear();
    for (const StreamRequest& request : requests_) completions.push_back(Failed(request, status));
    requests_.clear();
    return completions;
}

void StreamQueue::FailAll(ULONG_PTR status)
{
    for (const Completion& completion : TakeAll(status)) Deliver(completion);
}

std::vector<Completion> StreamQueue::Stop()
{
    submitted_ = 0;
    completed_ = 0;
    return TakeAll(StatusCancelled);
}

std::vector<Completion> StreamQueue::CancelRequestsOfEndedThreads()
{
    std::vector<Completion> completions;
    for (auto request = requests_.begin(); request != requests_.end();) {
        if (request->thread && request->thread->ended) {
            completions.push_back(Failed(*request, StatusCancelled));
            request = requests_.erase(request);
        } else {
            ++request;
        }
    }
    return completions;
}

}  // namespace hardware_simulator
