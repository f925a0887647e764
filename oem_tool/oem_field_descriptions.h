// What each OEM field means to a person, and the `set` option that changes it.
#pragma once

#include <string>

#include "driver/core/oem_layout.h"

struct OemFieldDescription {
    const char* tag;
    const char* meaning;
    const char* option;  // long option name without the leading "--"
};

// In the order of OemFields, one for each.
extern const OemFieldDescription OemFieldDescriptions[OemFieldCount];

// The description whose option is `option` (without "--"), or nullptr.
const OemFieldDescription* FindOemFieldByOption(const std::string& option);
