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

// What a process holds, for tests that check nothing is left behind. Handles are counted
// by probing handle values, since under Wine GetProcessHandleCount answers 0.
std::size_t CountOpenHandles();
std::size_t CountProcessThreads();
// Bytes of committed private memory (heaps, stacks, VirtualAlloc blocks).
std::size_t CommittedPrivateBytes();

struct ProcessHoldings {
    std::size_t threads;
    std::size_t handles;
    std::size_t committedBytes;
};
ProcessHoldings WhatTheProcessHolds();
// What the process holds once threads that were ending have left and whatever tracks
// them has let go: the thread and handle counts have stopped changing (at most 2 s).
ProcessHoldings SettledHoldings();
