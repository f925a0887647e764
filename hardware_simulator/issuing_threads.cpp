#include "hardware_simulator/issuing_threads.h"

#include <algorithm>
#include <utility>

namespace hardware_simulator {

namespace {

// Each thread remembers its record, so that naming the issuing thread costs no system call.
struct ThreadCache {
    IssuingThread* record;
    unsigned generation;
};
thread_local ThreadCache Cached = {nullptr, 0};

}  // namespace

std::shared_ptr<IssuingThread> IssuingThreads::Current()
{
    if (Cached.generation == generation_) {
        for (const std::shared_ptr<IssuingThread>& thread : threads_)
            if (thread.get() == Cached.record) return thread;
    }
    // A thread new to the simulator is the moment to forget those that ended: the records
    // then stay as many as the threads that issue requests, however many come and go.
    NoteEnded();
    auto thread = std::make_shared<IssuingThread>();
    DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &thread->handle, SYNCHRONIZE, FALSE,
                    0);
    threads_.push_back(thread);
    Cached = {thread.get(), generation_};
    return thread;
}

void IssuingThreads::NoteEnded()
{
    for (const std::shared_ptr<IssuingThread>& thread : threads_)
        thread->ended = thread->handle != nullptr && WaitForSingleObject(thread->handle, 0) == WAIT_OBJECT_0;
    auto ended = std::stable_partition(threads_.begin(), threads_.end(),
                                       [](const std::shared_ptr<IssuingThread>& thread) { return !thread->ended; });
    for (auto thread = ended; thread != threads_.end(); ++thread)
        CloseHandle(std::exchange((*thread)->handle, nullptr));
    threads_.erase(ended, threads_.end());
}

void IssuingThreads::Clear()
{
    for (const std::shared_ptr<IssuingThread>& thread : threads_)
        if (thread->handle != nullptr) CloseHandle(std::exchange(thread->handle, nullptr));
    threads_.clear();
    ++generation_;
}

}  // namespace hardware_simulator
