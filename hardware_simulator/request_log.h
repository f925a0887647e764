// Introspection: every call the driver made through the device-access layer, in order,
// with what it asked and what it got, so that a test asserts on exactly what was sent.
#pragma once

#include <windows.h>

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "hardware_simulator/pin_format.h"

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

// What a KsCreatePin asked for.
struct LoggedConnection {
    ULONG interfaceId = 0;  // KSINTERFACE_STANDARD_STREAMING or _LOOPED_STREAMING
    ACCESS_MASK access = 0;
    PinFormat format;
};

// The KSSTREAM_HEADER of a stream request as it was submitted.
struct LoggedStreamHeader {
    ULONG size = 0;
    const void* data = nullptr;
    ULONG frameExtent = 0;
    ULONG dataUsed = 0;
};

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
    std::optional<ULONG> pinId;                  // of KSP_PIN requests and pin creations
    std::optional<LoggedConnection> connection;  // of pin creations
    ULONG_PTR createdPin = 0;                    // the pin handle KsCreatePin made
    // On pin handles: the value a SET carries (the KSSTATE, the hint), or the
    // RequestedBufferSize of an RTAUDIO buffer request.
    std::optional<ULONG> value;
    std::optional<LoggedStreamHeader> stream;  // of IOCTL_KS_READ_STREAM and _WRITE_STREAM
    bool leftEventRegistered = false;          // a pin closed with a notification event still registered
    bool succeeded = false;
    // The error the call reported (its return value for KsCreatePin); ERROR_IO_PENDING
    // for a queued stream request.
    DWORD lastError = ERROR_SUCCESS;
    DWORD bytesReturned = 0;
};

struct RequestCounters {
    std::array<unsigned, OperationCount> calls{};
    unsigned failures = 0;  // calls that failed; a pending stream request has not
    unsigned openDeviceInfoSets = 0;
    unsigned openHandles = 0;  // filters
    unsigned openPins = 0;

    unsigned Calls(Operation operation) const { return calls[std::size_t(operation)]; }
};

class RequestLog {
public:
    // Adds the entry while the log is kept.
    void Add(const LogEntry& entry);
    void Clear();
    void Keep(bool keep) { kept_ = keep; }
    const std::vector<LogEntry>& Entries() const { return entries_; }
    // The counters of the calls; the open handle and set counts are left to the caller.
    RequestCounters Counters() const;

private:
    std::vector<LogEntry> entries_;
    bool kept_ = true;
};

// Copies taken under the simulator's lock.
std::vector<LogEntry> LoggedRequests();
RequestCounters Counters();
void ClearRequestLog();
// Whether requests are logged from now on (they are until told otherwise). A simulated
// build that hosts stream through for hours keeps no log: nobody reads it, and it would
// grow with every request.
void KeepRequestLog(bool keep);

}  // namespace hardware_simulator
