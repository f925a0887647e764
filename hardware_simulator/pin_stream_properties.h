// The properties of a pin instance's stream that every pin answers: the connection
// state, the audio position, and the pin hint of USB audio pins.
#pragma once

#include "hardware_simulator/pin_property_request.h"
#include "hardware_simulator/property_request.h"

namespace hardware_simulator {

// KSPROPSETID_Connection: KSPROPERTY_CONNECTION_STATE, read and set.
PropertyAnswer AnswerConnectionProperty(const PinPropertyRequest& request);
// KSPROPSETID_Audio: KSPROPERTY_AUDIO_POSITION, read only.
PropertyAnswer AnswerAudioProperty(const PinPropertyRequest& request);
// The pin hint set: id 1, set only, 4 bytes; it changes nothing the simulator models.
PropertyAnswer AnswerPinHint(const PinPropertyRequest& request);

}  // namespace hardware_simulator
