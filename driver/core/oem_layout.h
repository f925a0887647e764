// Layout of the OEM configuration block: the per-vendor values that a patch tool
// rewrites in the finished DLL. The block starts with an 8-byte magic and continues
// with tagged fields; each field is a 4-byte tag, a 32-bit little-endian length that
// counts itself plus the value, and the value. No Windows types here: the patch tool
// builds natively too.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr char OemMagic[] = "oEmCoNfG";  // 8 bytes in the file, no NUL
constexpr std::size_t OemMagicSize = 8;
constexpr std::size_t OemTextSize = 260;    // NUL-terminated text fields
constexpr std::size_t OemClassIdSize = 38;  // "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", no NUL
constexpr std::size_t OemBlockSize = 698;   // from the magic to the end of the last field
constexpr std::size_t OemFieldHeaderSize = 8;

enum class OemValueKind { Text, Number, ClassId };

struct OemFieldLayout {
    char tag[5];  // "$" and three upper-case letters, NUL-terminated here only
    OemValueKind kind;
    std::uint32_t offset;  // of the tag, from the first byte of the magic
    std::uint32_t valueSize;
};

// Fields in block order. A patch may change values, never order or sizes.
constexpr OemFieldLayout OemFields[] = {
    {"$HID", OemValueKind::Text, 8, OemTextSize},         // hardware-id pattern
    {"$OEM", OemValueKind::Text, 276, OemTextSize},       // driver name
    {"$LIS", OemValueKind::Number, 544, 4},               // default extra input latency
    {"$LOS", OemValueKind::Number, 556, 4},               // default extra output latency
    {"$LIM", OemValueKind::Number, 568, 4},               // input latency margin, ms
    {"$LOM", OemValueKind::Number, 580, 4},               // output latency margin, ms
    {"$BSK", OemValueKind::Number, 592, 4},               // default kernel buffers
    {"$DFL", OemValueKind::Number, 604, 4},               // default flags
    {"$INS", OemValueKind::Number, 616, 4},               // treat every device as enabled
    {"$BSZ", OemValueKind::Number, 628, 4},               // default buffer size, samples
    {"$CPL", OemValueKind::Number, 640, 4},               // control panel dialog template
    {"$CLS", OemValueKind::ClassId, 652, OemClassIdSize}  // COM class id text
};

constexpr std::size_t OemFieldCount = sizeof(OemFields) / sizeof(OemFields[0]);

// Margin value that leaves the latency margin to the device's quirk row.
constexpr std::uint32_t OemMarginFromQuirkTable = 0xFFFFFFFFu;
// Bit of the default flags that enables the tray icon.
constexpr std::uint32_t OemFlagTrayIcon = 0x1000u;
