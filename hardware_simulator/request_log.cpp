#include "hardware_simulator/request_log.h"

#include "hardware_simulator/simulator_state.h"

namespace hardware_simulator {

void RequestLog::Add(const LogEntry& entry)
{
    if (kept_) entries_.push_back(entry);
}

void RequestLog::Clear()
{
    entries_.clear();
}

RequestCounters RequestLog::Counters() const
{
    RequestCounters counters;
    for (const LogEntry& entry : entries_) {
        ++counters.calls[std::size_t(entry.operation)];
        if (!entry.succeeded && entry.lastError != ERROR_IO_PENDING) ++counters.failures;
    }
    return counters;
}

std::vector<LogEntry> LoggedRequests()
{
    StateLock guard(State().lock);
    return State().log.Entries();
}

RequestCounters Counters()
{
    StateLock guard(State().lock);
    RequestCounters counters = State().log.Counters();
    counters.openDeviceInfoSets = State().handles.Count<DeviceInfoSet>();
    counters.openHandles = State().handles.Count<OpenFilter>();
    counters.openPins = State().handles.Count<OpenPin>();
    return counters;
}

void ClearRequestLog()
{
    StateLock guard(State().lock);
    State().log.Clear();
}

void KeepRequestLog(bool keep)
{
    StateLock guard(State().lock);
    State().log.Keep(keep);
}

}  // namespace hardware_simulator
