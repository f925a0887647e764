// KSPROPSETID_Topology on a filter: the types of its topology nodes.
#pragma once

#include "hardware_simulator/property_request.h"

namespace hardware_simulator {

PropertyAnswer AnswerTopologyProperty(const Filter& filter, const PropertyRequest& request);

}  // namespace hardware_simulator
