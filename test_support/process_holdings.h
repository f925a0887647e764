// What a process holds (threads, handles, private memory), for tests and the soak that
// check nothing is left behind.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

// Handle values that stay open: under Wine GetProcessHandleCount answers 0, so handle
// values are probed. Threads that keep running (Wine's own, the simulated device's clock,
// the driver's) open and close handles for a moment; only a value that every one of a
// few scans finds counts.
std::vector<ULONG_PTR> LastingHandles();
std::size_t CountOpenHandles();
// The kind of object a handle names ("Event", "Thread", "File", ...), for reporting one
// that was left open.
std::string HandleKind(ULONG_PTR value);
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
