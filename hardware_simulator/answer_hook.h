// A test's hook on every property answer of a filter: it sees the decoded request and
// may rewrite the answer's bytes, byte count and error, to make a driver misbehave on
// purpose (wrong sizes, huge KSMULTIPLE_ITEM counts, missing properties).
#pragma once

#include <functional>

#include "hardware_simulator/property_request.h"

namespace hardware_simulator {

using AnswerHook = std::function<void(const PropertyRequest& request, PropertyAnswer& answer)>;

// Replaces the hook; an empty one removes it. The hook runs under the simulator's lock.
void SetAnswerHook(AnswerHook hook);

}  // namespace hardware_simulator
