// The fake MMCSS libraries log their loading, freeing and calls as "entry;" items in
// one environment variable of the process: the log outlives the libraries and keeps
// one order across both of them.
#pragma once

#include <windows.h>

#include <cstring>

constexpr char CallTraceVariable[] = "FAKE_MMCSS_TRACE";
// While set, the fake AVRT refuses to join a thread to a task.
constexpr char RefuseTaskVariable[] = "FAKE_AVRT_REFUSE_TASK";
// The task handle the fake AVRT hands out, as the trace writes it.
constexpr ULONG_PTR FakeTaskHandle = 0x5A5A;

inline void AppendCallTrace(const char* entry)
{
    char trace[4096] = "";
    DWORD length = GetEnvironmentVariableA(CallTraceVariable, trace, sizeof(trace));
    if (length >= sizeof(trace)) length = 0;
    std::size_t entryLength = std::strlen(entry);
    if (length + entryLength + 2 > sizeof(trace)) return;
    std::memcpy(trace + length, entry, entryLength);
    trace[length + entryLength] = ';';
    trace[length + entryLength + 1] = '\0';
    SetEnvironmentVariableA(CallTraceVariable, trace);
}
