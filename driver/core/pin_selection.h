// The selection rules: which pins of each filter, which filters of each device and
// which device the driver uses, from the stored choices and the pins' capabilities.
#pragma once

// Applies the selection rules: which pins, filters and devices are enabled.
void SelectPins();
