// The kaskade-oem command line: `show FILE` and `set FILE --option VALUE ...`.
#pragma once

#include <ostream>
#include <string>
#include <vector>

// Exit codes of the command line.
constexpr int OemCliSuccess = 0;
constexpr int OemCliRefused = 1;  // the file could not be read or patched; it is unchanged
constexpr int OemCliBadUsage = 2;

// Runs one command; `arguments` excludes the program name.
int RunOemCli(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);
