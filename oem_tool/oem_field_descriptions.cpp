#include "oem_tool/oem_field_descriptions.h"

constexpr OemFieldDescription OemFieldDescriptions[OemFieldCount] = {
    {"$HID", "hardware-id pattern", "hardware-id"},
    {"$OEM", "driver name", "name"},
    {"$LIS", "default extra input latency, samples", "input-latency"},
    {"$LOS", "default extra output latency, samples", "output-latency"},
    {"$LIM", "input latency margin, ms", "input-margin"},
    {"$LOM", "output latency margin, ms", "output-margin"},
    {"$BSK", "default kernel buffers", "kernel-buffers"},
    {"$DFL", "default flags", "default-flags"},
    {"$INS", "every device enabled if nonzero", "all-devices"},
    {"$BSZ", "default buffer size, samples", "buffer-size"},
    {"$CPL", "control panel dialog template id", "control-panel"},
    {"$CLS", "COM class id", "class-id"},
};

namespace {

constexpr bool TagsEqual(const char* left, const char* right)
{
    for (int i = 0; i < 4; ++i) {
        if (left[i] != right[i]) {
            return false;
        }
    }
    return true;
}

constexpr bool DescriptionsFollowLayout()
{
    for (std::size_t i = 0; i < OemFieldCount; ++i) {
        if (!TagsEqual(OemFieldDescriptions[i].tag, OemFields[i].tag)) {
            return false;
        }
    }
    return true;
}
static_assert(DescriptionsFollowLayout(), "field descriptions must follow OemFields");

}  // namespace

const OemFieldDescription* FindOemFieldByOption(const std::string& option)
{
    for (const OemFieldDescription& description : OemFieldDescriptions) {
        if (option == description.option) {
            return &description;
        }
    }
    return nullptr;
}
