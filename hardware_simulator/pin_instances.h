// Pin instances coming and going: KsCreatePin (declared with the device-access layer)
// and the pin half of CloseHandle.
#pragma once

#include "hardware_simulator/open_pin.h"
#include "hardware_simulator/pin_type.h"
#include "hardware_simulator/request_log.h"

namespace hardware_simulator {

// Closes the pin instance behind `entry.handle`: cancels its queued requests, gives
// its instance back and frees its looped buffer and position register. False when the
// handle is no open pin.
bool ClosePinHandle(LogEntry& entry);
// Gives the instance `pin` counts back to its pin type.
void GiveBackInstance(const OpenPin& pin);
// `count` with the instances that clients outside this process hold added to its current
// ones, as KSPROPERTY_PIN_CINSTANCES and _GLOBALCINSTANCES answer.
InstanceCount InstancesInUse(const PinType& type, InstanceCount count);

}  // namespace hardware_simulator
