#include "oem_tool/oem_edit.h"

#include <algorithm>
#include <cstdint>

#include "driver/core/hex_digits.h"
#include "driver/core/oem_layout.h"
#include "driver/core/oem_values.h"
#include "oem_tool/little_endian.h"
#include "oem_tool/oem_block.h"

namespace {

// Hosts copy the driver name into a 32-byte buffer: 31 characters and the NUL.
constexpr std::size_t HostVisibleNameLength = 31;
const char DriverNameTag[] = "$OEM";

// Numbers the driver can use, by field; fields not listed take any 32-bit value.
struct NumberRange {
    const char* tag;
    std::uint32_t lowest;
    std::uint32_t highest;
    const char* unit;
};

constexpr NumberRange NumberRanges[] = {
    {"$LIS", 0, LongestExtraLatency, "samples"},
    {"$LOS", 0, LongestExtraLatency, "samples"},
    {"$LIM", 0, LongestLatencyMargin, "ms"},
    {"$LOM", 0, LongestLatencyMargin, "ms"},
    {"$BSK", FewestKernelBuffers, MostKernelBuffers, "packets"},
    {"$BSZ", SmallestBufferSize, LargestBufferSize, "samples"},
};

// Why the driver cannot use `number` in the field `tag`; empty when it can.
std::string NumberFault(const std::string& tag, std::uint32_t number)
{
    const bool isMargin = tag == "$LIM" || tag == "$LOM";
    if (isMargin && number == OemMarginFromQuirkTable) {
        return "";
    }
    for (const NumberRange& range : NumberRanges) {
        if (tag == range.tag && (number < range.lowest || number > range.highest)) {
            return "value for " + tag + " " + std::to_string(number) + " is outside " + std::to_string(range.lowest) +
                   " to " + std::to_string(range.highest) + " " + range.unit + ", the range the driver works with" +
                   (isMargin ? " (or 0xFFFFFFFF for the device quirk table)" : "");
        }
    }
    return "";
}

// Why a driver name cannot be the name of the driver's registry keys; empty when it can.
std::string DriverNameProblem(const std::string& text)
{
    if (const char* fault = DriverNameFault(text.c_str(), text.size() + 1)) {
        return std::string("driver name ") + fault + "; it names the driver's registry keys";
    }
    if (text.size() > LongestKeyName) {
        return "driver name is " + std::to_string(text.size()) + " characters; a registry key name holds at most " +
               std::to_string(LongestKeyName);
    }
    return "";
}

// Turns an edit's text into the exact bytes of its field value.
bool EncodeValue(const OemFieldLayout& layout, const std::string& text, std::vector<std::uint8_t>& value,
                 std::string& error, std::vector<std::string>& warnings)
{
    const std::string tag = layout.tag;
    value.assign(layout.valueSize, 0);
    switch (layout.kind) {
    case OemValueKind::Text:
        if (text.find('\0') != std::string::npos) {
            error = "value for " + tag + " contains a NUL character";
            return false;
        }
        if (text.size() >= layout.valueSize) {
            error = "value for " + tag + " is " + std::to_string(text.size()) +
                    " characters; the field holds at most " + std::to_string(layout.valueSize - 1);
            return false;
        }
        if (tag == DriverNameTag) {
            error = DriverNameProblem(text);
            if (!error.empty()) {
                error = "value for " + tag + ": " + error;
                return false;
            }
        }
        if (tag == DriverNameTag && text.size() > HostVisibleNameLength) {
            warnings.push_back("driver name \"" + text + "\" is " + std::to_string(text.size()) +
                               " characters; hosts show only the first " + std::to_string(HostVisibleNameLength));
        }
        std::copy(text.begin(), text.end(), value.begin());
        return true;
    case OemValueKind::ClassId: {
        const char* fault = text.size() == OemClassIdSize
                                ? ClassIdFault(text.c_str())
                                : "is not a class id of the form {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}";
        if (fault != nullptr) {
            error = "value for " + tag + " \"" + text + "\" " + fault;
            return false;
        }
        std::copy(text.begin(), text.end(), value.begin());
        return true;
    }
    case OemValueKind::Number: {
        std::uint32_t number = 0;
        if (!ParseUnsigned32(text.c_str(), &number)) {
            error =
                "value for " + tag + " \"" + text + "\" is not an unsigned 32-bit number (decimal or 0x hexadecimal)";
            return false;
        }
        error = NumberFault(tag, number);
        if (!error.empty()) {
            return false;
        }
        WriteLittleEndian32(value.data(), number);
        return true;
    }
    }
    return false;
}

std::string LayoutList()
{
    std::string list;
    for (std::uint32_t layout : ControlPanelLayouts) {
        list += (list.empty() ? "" : ", ") + std::to_string(layout);
    }
    return list;
}

// Values the driver accepts but that leave a build not working as a vendor would mean.
void AddBlockWarnings(const std::vector<std::uint8_t>& image, std::size_t blockOffset,
                      std::vector<std::string>& warnings)
{
    const auto value = [&](const char* tag) {
        return &image[blockOffset + FindOemField(tag)->offset + OemFieldHeaderSize];
    };
    const std::uint32_t dialog = ReadLittleEndian32(value("$CPL"));
    if (!IsControlPanelLayout(dialog)) {
        warnings.push_back("control panel dialog " + std::to_string(dialog) +
                           " ($CPL) is none of the driver's layouts (" + LayoutList() +
                           "): the control panel will not open");
    }
    if (*value("$HID") == 0) {
        warnings.push_back("the hardware-id pattern ($HID) is empty: every audio device matches");
    }
}

struct EncodedEdit {
    const OemFieldLayout* layout;
    std::vector<std::uint8_t> value;
};

}  // namespace

bool ApplyOemEdits(std::vector<std::uint8_t>& image, std::size_t blockOffset, const std::vector<OemEdit>& edits,
                   std::string& error, std::vector<std::string>* warnings)
{
    std::vector<EncodedEdit> encoded;
    std::vector<std::string> newWarnings;
    for (const OemEdit& edit : edits) {
        const OemFieldLayout* layout = FindOemField(edit.tag);
        if (layout == nullptr) {
            error = "no OEM field is tagged \"" + edit.tag + "\"";
            return false;
        }
        const bool alreadyEdited = std::any_of(
            encoded.begin(), encoded.end(), [layout](const EncodedEdit& earlier) { return earlier.layout == layout; });
        if (alreadyEdited) {
            error = "field " + edit.tag + " is given more than one new value";
            return false;
        }
        EncodedEdit next{layout, {}};
        if (!EncodeValue(*layout, edit.value, next.value, error, newWarnings)) {
            return false;
        }
        encoded.push_back(std::move(next));
    }
    for (const EncodedEdit& edit : encoded) {
        std::copy(edit.value.begin(), edit.value.end(),
                  image.begin() + static_cast<std::ptrdiff_t>(blockOffset + edit.layout->offset + OemFieldHeaderSize));
    }
    AddBlockWarnings(image, blockOffset, newWarnings);
    if (warnings != nullptr) {
        warnings->insert(warnings->end(), newWarnings.begin(), newWarnings.end());
    }
    return true;
}
