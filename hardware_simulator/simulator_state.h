// The process-global state behind the device-access functions. Whoever touches it
// holds its lock; the lock is recursive so that a test's answer hook may call back in.
#pragma once

#include <cstddef>
#include <map>
#include <mutex>
#include <string>

#include "hardware_simulator/answer_hook.h"
#include "hardware_simulator/device_runtime.h"
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
    std::map<std::string, DeviceRuntime> runtimes;  // by device instance id
};

SimulatorState& State();

// The runtime of the device at `index` in the machine; null when there is none.
DeviceRuntime* RuntimeOf(std::size_t index);

using StateLock = std::lock_guard<std::recursive_mutex>;

}  // namespace hardware_simulator
