// KSPROPERTY_PIN_DATAINTERSECTION: the client lists the ranges it can use, and the pin
// answers with one data format (KSDATAFORMAT and its wave format) from the first of
// them that one of its own ranges meets, chosen by the pin's own preferences.
#pragma once

#include "hardware_simulator/pin_type.h"
#include "hardware_simulator/property_request.h"

namespace hardware_simulator {

// `list` is the client's KSMULTIPLE_ITEM of ranges, `listSize` the input left for it.
PropertyAnswer AnswerDataIntersection(const PinType& pin, const BYTE* list, DWORD listSize, DWORD outputSize);

}  // namespace hardware_simulator
