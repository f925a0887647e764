#include "hardware_simulator/simulator_state.h"

namespace hardware_simulator {

SimulatorState& State()
{
    static SimulatorState state;
    return state;
}

void SetAnswerHook(AnswerHook hook)
{
    StateLock guard(State().lock);
    State().answerHook = std::move(hook);
}

}  // namespace hardware_simulator
