// What tests, simulated builds and the demo use of the hardware simulator: machines
// built from device profiles and edited at will, a hook on the filters' property
// answers, the log of every request the driver sent, the open pins' inner state, the
// device's progress on them by hand or by its clock, its analogue side, and faults.
#pragma once

#include "hardware_simulator/analogue_side.h"
#include "hardware_simulator/answer_hook.h"
#include "hardware_simulator/device_clock.h"
#include "hardware_simulator/device_faults.h"
#include "hardware_simulator/machine.h"
#include "hardware_simulator/pin_inspection.h"
#include "hardware_simulator/profiles.h"
#include "hardware_simulator/request_log.h"
#include "hardware_simulator/stream_progress.h"
