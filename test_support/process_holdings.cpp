#include "test_support/process_holdings.h"

#include <tlhelp32.h>
#include <winternl.h>

#include <algorithm>
#include <iterator>

namespace {

std::vector<ULONG_PTR> OpenHandleValues()
{
    // Handle values are multiples of 4, handed out lowest first; well past the highest
    // in use the probe stops after a long run of unused values.
    constexpr ULONG_PTR UnusedRunToStop = 1024;
    std::vector<ULONG_PTR> open;
    ULONG_PTR unused = 0;
    for (ULONG_PTR value = 4; unused < UnusedRunToStop; value += 4) {
        DWORD flags;
        if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) {
            open.push_back(value);
            unused = 0;
        } else {
            ++unused;
        }
    }
    return open;
}

}  // namespace

std::vector<ULONG_PTR> LastingHandles()
{
    constexpr int Scans = 4;
    constexpr DWORD ScanGapMs = 20;
    std::vector<ULONG_PTR> lasting = OpenHandleValues();
    for (int scan = 1; scan < Scans; ++scan) {
        Sleep(ScanGapMs);
        std::vector<ULONG_PTR> open = OpenHandleValues();
        std::vector<ULONG_PTR> both;
        std::set_intersection(lasting.begin(), lasting.end(), open.begin(), open.end(), std::back_inserter(both));
        lasting = std::move(both);
    }
    return lasting;
}

std::size_t CountOpenHandles()
{
    return LastingHandles().size();
}

std::string HandleKind(ULONG_PTR value)
{
    using QueryObject = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
    constexpr int ObjectTypeInformation = 2;
    auto query = reinterpret_cast<QueryObject>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryObject")));
    alignas(8) BYTE buffer[512] = {};
    ULONG length = 0;
    if (query == nullptr ||
        query(reinterpret_cast<HANDLE>(value), ObjectTypeInformation, buffer, sizeof(buffer) - 2, &length) < 0)
        return "closed since";
    // The information starts with the type's name as a counted UTF-16 string.
    const auto* name = reinterpret_cast<const UNICODE_STRING*>(buffer);
    std::string kind;
    for (USHORT i = 0; name->Buffer != nullptr && i < name->Length / 2; ++i) kind += char(name->Buffer[i]);
    return kind;
}

std::size_t CountProcessThreads()
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return 0;
    std::size_t count = 0;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++count;
    CloseHandle(snapshot);
    return count;
}

std::size_t CommittedPrivateBytes()
{
    std::size_t bytes = 0;
    MEMORY_BASIC_INFORMATION region;
    for (const BYTE* address = nullptr; VirtualQuery(address, &region, sizeof(region)) == sizeof(region);) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) bytes += region.RegionSize;
        const BYTE* next = static_cast<const BYTE*>(region.BaseAddress) + region.RegionSize;
        if (next <= address) break;
        address = next;
    }
    return bytes;
}

ProcessHoldings WhatTheProcessHolds()
{
    return {CountProcessThreads(), CountOpenHandles(), CommittedPrivateBytes()};
}

ProcessHoldings SettledHoldings()
{
    constexpr DWORD SettleLimitMs = 2000;
    const DWORD start = GetTickCount();
    std::size_t threads = CountProcessThreads();
    std::size_t handles = CountOpenHandles();
    while (GetTickCount() - start < SettleLimitMs) {
        Sleep(50);
        std::size_t threadsNow = CountProcessThreads();
        std::size_t handlesNow = CountOpenHandles();
        if (threadsNow == threads && handlesNow == handles) break;
        threads = threadsNow;
        handles = handlesNow;
    }
    return WhatTheProcessHolds();
}
