// The process-global state behind the device-access functions. Whoever touches it
// holds its lock; the lock is recursive so that a test's answer hook may call back in.
#pragma once

#include <windows.h>

#include <cstddef>
#include <map>
#include <mutex>
#include <string>

#include "hardware_simulator/answer_hook.h"
#include "hardware_simulator/device_runtime.h"
#include "hardware_simulator/handle_table.h"
#include "hardware_simulator/issuing_threads.h"
#include "hardware_simulator/late_completions.h"
#include "hardware_simulator/machine.h"
#include "hardware_simulator/request_log.h"

namespace hardware_simulator {

// A critical section rather than a pthread mutex: when a process ends, its other
// threads (the device clock's, a host's streaming thread) are ended wherever they are
// before the DLLs detach, and a critical section one of them held does not block the
// detach work, where a mutex would hang the process.
class StateMutex {
public:
    StateMutex() { InitializeCriticalSection(&section_); }
    ~StateMutex() { DeleteCriticalSection(&section_); }
    StateMutex(const StateMutex&) = delete;
    StateMutex& operator=(const StateMutex&) = delete;
    void lock() { EnterCriticalSection(&section_); }
    void unlock() { LeaveCriticalSection(&section_); }

private:
    CRITICAL_SECTION section_;
};

struct SimulatorState {
    StateMutex lock;
    Machine machine;
    HandleTable handles;
    RequestLog log;
    AnswerHook answerHook;
    std::map<std::string, DeviceRuntime> runtimes;  // by device instance id
    IssuingThreads threads;
    LateCompletions late;
};

SimulatorState& State();

// The runtime of the device at `index` in the machine; null when there is none.
DeviceRuntime* RuntimeOf(std::size_t index);

using StateLock = std::lock_guard<StateMutex>;

// The installed device with this instance id, present or not; null when there is none.
const Device* FindDevice(const std::string& instanceId);
// Delivers the cancellations of `pin`'s stream requests as its device does: a little later.
void DeliverCancellations(const OpenPin& pin, std::vector<Completion> completions);

}  // namespace hardware_simulator
