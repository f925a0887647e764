// KSPROPSETID_RtAudio on a looped pin instance, as WaveRT drivers answer it: the cyclic
// buffer with and without notifications, the hardware latency, the position register,
// and the notification events.
#pragma once

#include "hardware_simulator/pin_property_request.h"
#include "hardware_simulator/property_request.h"

namespace hardware_simulator {

PropertyAnswer AnswerRtAudioProperty(const PinPropertyRequest& request);

}  // namespace hardware_simulator
