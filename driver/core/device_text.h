// Text rules of device discovery: which hardware ids the OEM pattern accepts, and how
// long friendly names are shortened.
#pragma once

#include <cstddef>

// True when `hardwareId` begins with `pattern` (at most `patternSize` bytes): "*"
// matches any one byte and letters match in either case. An empty pattern matches all.
bool HardwareIdMatches(const char* hardwareId, const char* pattern, std::size_t patternSize);

// Shortens names of 40 characters or more, in place: the first "Microsoft UAA" becomes
// "UAA", the first "High Definition Audio" becomes "HDA", " (WDM)" and " (WAVE)" go.
void CleanFriendlyName(char* name);
