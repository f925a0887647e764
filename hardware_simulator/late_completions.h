// Completions that come after the call that caused them has returned: property requests
// a driver pended, and stream requests cancelled by KSSTATE_STOP or by closing their pin.
// While the device clock runs, its thread delivers them when their time has come, in the
// order they were queued; a device stepped by hand has no time to be late in, so they are
// delivered at once.
#pragma once

#include <windows.h>

#include <deque>
#include <memory>
#include <vector>

#include "hardware_simulator/issuing_threads.h"
#include "kernel_streaming/kernel_streaming.h"

namespace hardware_simulator {

// One completion as the I/O manager makes it: the NTSTATUS and byte count into the
// OVERLAPPED and its event signalled.
struct Completion {
    OVERLAPPED* overlapped = nullptr;
    ULONG_PTR status = 0;
    ULONG_PTR bytes = 0;
    KsStreamHeader* emptiedHeader = nullptr;  // a cancelled capture request's: DataUsed goes to 0
    void* output = nullptr;                   // a pended property's output buffer, which `data` fills
    std::vector<BYTE> data;
    std::shared_ptr<IssuingThread> thread;  // a pended property is cancelled when this thread ends
};

void Deliver(const Completion& completion);

class LateCompletions {
public:
    // Delivers `completion` `delayMs` from now while the device clock runs, else at once.
    void Add(Completion completion, ULONG delayMs);
    // Delivers those whose time has come (`now`, a performance-counter time); those of
    // pended requests whose thread ended are cancelled instead.
    void DeliverDue(LONGLONG now);
    void DeliverAll();
    // Forgets them undelivered: their clients' OVERLAPPEDs may be gone.
    void Clear() { waiting_.clear(); }
    bool Empty() const { return waiting_.empty(); }

private:
    struct Waiting {
        Completion completion;
        LONGLONG dueAt;
    };
    std::deque<Waiting> waiting_;
};

// A performance-counter time `delayMs` from now.
LONGLONG CounterIn(ULONG delayMs);

}  // namespace hardware_simulator
