#include "oem_tool/oem_edit.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "driver/core/oem_layout.h"
#include "oem_tool/little_endian.h"
#include "oem_tool/oem_block.h"

namespace {

// Hosts copy the driver name into a 32-byte buffer: 31 characters and the NUL.
constexpr std::size_t HostVisibleNameLength = 31;
const char DriverNameTag[] = "$OEM";

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// Decimal, or hexadecimal after "0x"; no sign, no spaces, at most 0xFFFFFFFF.
bool ParseUnsigned32(const std::string& text, std::uint32_t& value) {
    const bool isHex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const int base = isHex ? 16 : 10;
    const std::string digits = isHex ? text.substr(2) : text;
    if (digits.empty()) {
        return false;
    }
    std::uint64_t result = 0;
    for (char c : digits) {
        const int digit = HexDigitValue(c);
        if (digit < 0 || digit >= base) {
            return false;
        }
        result = result * base + static_cast<std::uint64_t>(digit);
        if (result > std::numeric_limits<std::uint32_t>::max()) {
            return false;
        }
    }
    value = static_cast<std::uint32_t>(result);
    return true;
}

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" with hexadecimal digits in either case.
bool IsClassIdText(const std::string& text) {
    if (text.size() != OemClassIdSize || text.front() != '{' || text.back() != '}') {
        return false;
    }
    for (std::size_t i = 1; i + 1 < text.size(); ++i) {
        const bool isDashPosition = i == 9 || i == 14 || i == 19 || i == 24;
        if (isDashPosition ? text[i] != '-' : HexDigitValue(text[i]) < 0) {
            return false;
        }
    }
    return true;
}

// Turns an edit's text into the exact bytes of its field value.
bool EncodeValue(const OemFieldLayout& layout, const std::string& text,
                 std::vector<std::uint8_t>& value, std::string& error,
                 std::vector<std::string>& warnings) {
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
                    " characters; the field holds at most " +
                    std::to_string(layout.valueSize - 1);
            return false;
        }
        if (tag == DriverNameTag && text.size() > HostVisibleNameLength) {
            warnings.push_back("driver name \"" + text + "\" is " +
                               std::to_string(text.size()) + " characters; hosts show only the first " +
                               std::to_string(HostVisibleNameLength));
        }
        std::copy(text.begin(), text.end(), value.begin());
        return true;
    case OemValueKind::ClassId:
        if (!IsClassIdText(text)) {
            error = "value for " + tag + " \"" + text +
                    "\" is not a class id of the form {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}";
            return false;
        }
        std::copy(text.begin(), text.end(), value.begin());
        return true;
    case OemValueKind::Number: {
        std::uint32_t number = 0;
        if (!ParseUnsigned32(text, number)) {
            error = "value for " + tag + " \"" + text +
                    "\" is not an unsigned 32-bit number (decimal or 0x hexadecimal)";
            return false;
        }
        WriteLittleEndian32(value.data(), number);
        return true;
    }
    }
    return false;
}

struct EncodedEdit {
    const OemFieldLayout* layout;
    std::vector<std::uint8_t> value;
};

}  // namespace

bool ApplyOemEdits(std::vector<std::uint8_t>& image, std::size_t blockOffset,
                   const std::vector<OemEdit>& edits, std::string& error,
                   std::vector<std::string>* warnings) {
    std::vector<EncodedEdit> encoded;
    std::vector<std::string> newWarnings;
    for (const OemEdit& edit : edits) {
        const OemFieldLayout* layout = FindOemField(edit.tag);
        if (layout == nullptr) {
            error = "no OEM field is tagged \"" + edit.tag + "\"";
            return false;
        }
        const bool alreadyEdited = std::any_of(encoded.begin(), encoded.end(),
            [layout](const EncodedEdit& earlier) { return earlier.layout == layout; });
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
                  image.begin() + static_cast<std::ptrdiff_t>(blockOffset + edit.layout->offset +
                                                               OemFieldHeaderSize));
    }
    if (warnings != nullptr) {
        warnings->insert(warnings->end(), newWarnings.begin(), newWarnings.end());
    }
    return true;
}
