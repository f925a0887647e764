// What tests, simulated builds and the demo use of the hardware simulator: machines
// built from device profiles and edited at will, a hook on the property answers, and
// the log of every request the driver sent.
#pragma once

#include "hardware_simulator/answer_hook.h"
#include "hardware_simulator/machine.h"
#include "hardware_simulator/profiles.h"
#include "hardware_simulator/request_log.h"
