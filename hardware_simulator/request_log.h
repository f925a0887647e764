// Introspection: every call the driver made through the device-access layer, in order,
// with what it asked and what it got, so that a test asserts on exactly what was sent.
#pragma once

#include <windows.h>

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace hardware_simulator {

enum class Operation {
    GetClassDevs,
    EnumDeviceInfo,
    GetDeviceRegistryProperty,
    EnumDeviceInterfaces,
    GetDeviceInterfaceDetail,
    GetDeviceInterfaceAlias,
    OpenDeviceInterfaceRegKey,
    DestroyDeviceInfoList,
    CreateFile,
    DeviceIoControl,
    KsCreatePin,
    CloseHandle,
};
constexpr std::size_t OperationCount = std::size_t(Operation::CloseHandle) + 1;

struct LogEntry {
    explicit LogEntry(Operation operation) : operation(operation) {}

    Operation operation;
    ULONG_PTR handle = 0;  // the device information set or handle used, or the one created
    DWORD argument = 0;    // the index, SPDRP_ property, DIGCF_ flags, detail size or key access it names
    GUID category{};       // the interface class the call names
    std::string path;      // the device path CreateFileA opened
    DWORD ioctl = 0;
    GUID propertySet{};
    ULONG propertyId = 0;
    ULONG propertyFlags = 0;
    std::optional<ULONG> pinId;  // of KSP_PIN requests and pin creations
    bool succeeded = false;
    DWORD lastError = ERROR_SUCCESS;  // the error the call reported (its return value for KsCreatePin)
    DWORD bytesReturned = 0;
};

struct RequestCounters {
    std::array<unsigned, OperationCount> calls{};
    unsigned failures = 0;
    unsigned openDeviceInfoSets = 0;
    unsigned openHandles = 0;

    unsigned Calls(Operation operation) const { return calls[std::size_t(operation)]; }
};

class RequestLog {
public:
    void Add(const LogEntry& entry);
    void Clear();
    const std::vector<LogEntry>& Entries() const { return entries_; }
    // The counters of the calls; the open handle and set counts are left to the caller.
    RequestCounters Counters() const;

private:
    std::vector<LogEntry> entries_;
};

// Copies taken under the simulator's lock.
std::vector<LogEntry> LoggedRequests();
RequestCounters Counters();
void ClearRequestLog();

}  // namespace hardware_simulator
