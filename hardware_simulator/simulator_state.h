// The process-global state behind the device-access functions. Whoever touches it
// holds its lock; the lock is recursive so that a test's answer hook may call back in.
#pragma once

#include <mutex>

#include "hardware_simulator/answer_hook.h"
#include "hardware_simulator/handle_table.h"
#include "hardware_simulator/machine.h"
#include "hardware_simulator/request_log.h"

namespace hardware_simulator {

struct SimulatorState {
    std::recursive_mutex lock;
    Machine machine;
    HandleTable handles;
    RequestLog log;
    AnswerHook answerHook;
};

SimulatorState& State();

using StateLock = std::lock_guard<std::recursive_mutex>;

}  // namespace hardware_simulator
