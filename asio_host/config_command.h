// kaskade-config: shows and changes a driver's device, filter and pin settings through
// its setup interface, the way a configuration program does. Values are written to the
// "Defaults" layer that every host of the current user starts from; a host program that
// saved values of its own keeps them, and "hosts" lists those programs and values.
#pragma once

#include <cstdio>

// Runs one command line (argv[0] is the program); output goes to `out`, refusals and
// errors to `err`. Returns the process exit code: 0 done, 1 refused or failed, 2 usage.
// COM must be initialised by the caller.
int RunConfigCommand(int argc, char** argv, std::FILE* out, std::FILE* err);
