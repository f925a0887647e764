// Helpers for tests that run under Wine: files next to the test, child processes and
// the registry in either view.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Folder of the running test executable, with a trailing backslash.
std::string ExecutableDirectory();

// Runs `commandLine` and returns its exit code, or -1 if it could not start.
int RunProcess(const std::string& commandLine);

// A REG_SZ value under HKEY_LOCAL_MACHINE; `view` is 0 (this process's view),
// KEY_WOW64_32KEY or KEY_WOW64_64KEY.
std::optional<std::string> ReadMachineText(const std::string& path, const char* name, REGSAM view = 0);
bool MachineKeyExists(const std::string& path, REGSAM view = 0);
// The registry view a process of the other bitness sees.
REGSAM OtherRegistryView();

std::vector<std::uint8_t> ReadFileBytes(const std::string& path);
bool CopyFileTo(const std::string& from, const std::string& to);
