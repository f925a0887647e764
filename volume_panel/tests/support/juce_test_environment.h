// What tests of JUCE code need: the toolkit initialised for the whole test program (the
// test's main thread is the message thread), and a way to let the message loop run.
#pragma once

#include <functional>

// Dispatches the message thread's pending messages until `done` holds or the time is
// up; returns whether `done` held.
bool pumpMessagesUntil(const std::function<bool()>& done, int timeoutMilliseconds = 5000);

// Dispatches whatever is pending now, and whatever arrives within the given time.
void pumpMessagesFor(int milliseconds);
