// Host channel names: the display name of the pin that carries the channel and the
// channel's number within the pin, or "Not Connected" and the channel's number.
#pragma once

#include <windows.h>

// `name` receives at most 31 characters and a NUL (ASIOChannelInfo's name field).
void WriteChannelName(bool input, DWORD channel, char* name);
