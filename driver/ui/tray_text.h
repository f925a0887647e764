// Bounded text building for the tray's tooltip and balloon fields: whatever the driver
// name, host path or numbers, a field is never overrun and always ends in a NUL.
#pragma once

#include <cstddef>

struct TextCursor {
    char* text;
    std::size_t size;    // of the field, NUL included
    std::size_t length;  // characters written so far
};

// Appends as much of `source` as fits.
void AppendText(TextCursor* cursor, const char* source);
// Appends a signed decimal number without grouping or leading zeros.
void AppendDecimal(TextCursor* cursor, long value);

// The host's name as the tooltip shows it: the last component of `path` up to its
// last dot, its first letter upper-cased ("C:\x\my.audio.host.exe" gives
// "My.audio.host"). `name` has room for `size` characters with the NUL.
void HostDisplayName(const char* path, char* name, std::size_t size);
