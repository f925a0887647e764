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

void StreamQueue::Stop()
{
    for (const StreamRequest& request : requests_) {
        request.header->dataUsed = 0;
        CompleteOverlapped(request.overlapped, StatusCancelled, 0);
    }
    requests_.clear();
    submitted_ = 0;
    completed_ = 0;
}

}  // namespace hardware_simulator
