// The threads that issue requests. The I/O manager ties a request to the thread that
// issued it, and cancels the requests still pending when that thread ends.
#pragma once

#include <windows.h>

#include <memory>
#include <vector>

namespace hardware_simulator {

struct IssuingThread {
    HANDLE handle = nullptr;  // waitable: signalled once the thread has ended
    bool ended = false;
};

class IssuingThreads {
public:
    IssuingThreads() = default;
    IssuingThreads(const IssuingThreads&) = delete;
    IssuingThreads& operator=(const IssuingThreads&) = delete;
    ~IssuingThreads() { Clear(); }

    // The calling thread's record; a thread that ends leaves its record behind and a
    // thread started later gets a new one, whatever id it reuses.
    std::shared_ptr<IssuingThread> Current();
    // Marks the records of threads that have ended, and forgets them.
    void NoteEnded();
    void Clear();

private:
    std::vector<std::shared_ptr<IssuingThread>> threads_;
    unsigned generation_ = 1;  // changes with Clear, which leaves the threads' own caches stale
};

}  // namespace hardware_simulator
