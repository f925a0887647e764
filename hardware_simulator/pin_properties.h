// KSPROPSETID_Pin on a filter: the pin types' descriptions and the data intersection.
#pragma once

#include "hardware_simulator/property_request.h"

namespace hardware_simulator {

PropertyAnswer AnswerPinProperty(const Filter& filter, const PropertyRequest& request);

}  // namespace hardware_simulator
