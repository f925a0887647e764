// printf-style formatting into a fixed buffer that touches neither the heap nor the C
// runtime's locale, so that any thread may format, the streaming thread included.
#pragma once

#include <cstdarg>
#include <cstddef>

// Formats into `out` (always terminated, cut to `size` - 1 characters) and returns the
// length written. Conversions: %s %c %d %i %u %x %X %p %f %%; flags '-' and '0'; a
// width; a precision for %s and %f (6 for %f when absent); length modifiers l, ll, z.
// An unknown conversion is copied as it stands.
std::size_t FormatLine(char* out, std::size_t size, const char* format, std::va_list args);
