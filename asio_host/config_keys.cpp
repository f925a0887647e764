#include "asio_host/config_keys.h"

#include <cstring>

#include "driver/core/setup_contract.h"

namespace {

// Ranges: the kernel-buffer counts the driver uses (2, 3 or 4); positions within a
// 100 ms block; latencies within reason; buffer sizes the driver offers hosts.
const ConfigKey DeviceKeys[] = {
    {"flags", SetupDeviceFlags, 0, 0xFFFFFFFF, "flag set; bit 31 enables the device"},
    {"kernel-buffers", SetupDeviceKernelBuffers, 2, 4, "packets in flight per stream"},
    {"buffer-position", SetupDeviceBufferPosition, 0, 100, "milliseconds"},
    {"latency-in", SetupDeviceLatencyIn, 0, 8192, "extra input latency, samples"},
    {"latency-out", SetupDeviceLatencyOut, 0, 8192, "extra output latency, samples"},
    {"buffer-size", SetupDeviceBufferSize, 64, 2048, "preferred buffer size, samples"},
    {nullptr, 0, 0, 0, nullptr},
};

const ConfigKey FlagsOnly[] = {
    {"flags", SetupFlagsKey, 0, 0xFFFFFFFF, "flag set; bit 31 enables the record"},
    {nullptr, 0, 0, 0, nullptr},
};

}  // namespace

const ConfigKey* ConfigKeysOf(RecordLevel level)
{
    return level == RecordLevel::Device ? DeviceKeys : FlagsOnly;
}

const ConfigKey* FindConfigKey(RecordLevel level, const char* name)
{
    for (const ConfigKey* key = ConfigKeysOf(level); key->name != nullptr; ++key)
        if (std::strcmp(key->name, name) == 0) return key;
    return nullptr;
}
