// The 32-bit name hash that keys per-host settings and device ids.
#pragma once

#include <cstdint>

// 0 for an absent or empty text.
std::uint32_t HashName(const char* text);
