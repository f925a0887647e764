// Each (re)start of the stream closes every active pin and opens it again in its format
// at the current rate, clears it and primes it: render pins get silence queued ahead,
// capture pins their packet ring, looped and large-packet pins their first position.
// Streaming thread only, between switches.
#pragma once

#include "driver/core/device_tree.h"

// Reopens and primes one pin. Afterwards it is open in KSSTATE_PAUSE, or closed with its
// failed mark (or without it when the device had no free instance).
void RestartPin(PinRecord* pin);

// RestartPin for every active pin, up to five attempts each with growing pauses between
// them, and one more for a pin that gave up while another pin opened. False when
// StopEvent came during a pause: the stream is to end.
bool OpenAllPins();

// One attempt for every active pin that is closed, while the others stream on: true
// when one of them opened (in PAUSE, primed), and the stream must start over with it.
bool RetryClosedPins();

// The soft restart: every active pin goes back to the start on its existing handle
// (STOP, PAUSE, cleared and primed again). False when a pin is closed or does not
// follow; the pins must then be stopped and opened again.
bool RearmAllPins();

// Closes every active pin and then the open filters they belong to.
void StopAllPins();
