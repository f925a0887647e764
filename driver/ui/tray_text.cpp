#include "driver/ui/tray_text.h"

void AppendText(TextCursor* cursor, const char* source)
{
    if (cursor->size == 0) return;
    while (*source != '\0' && cursor->length + 1 < cursor->size) cursor->text[cursor->length++] = *source++;
    cursor->text[cursor->length] = '\0';
}

void AppendDecimal(TextCursor* cursor, long value)
{
    char digits[24];
    char* end = digits + sizeof(digits);
    char* start = end;
    *--start = '\0';
    // Through the unsigned magnitude, so that the most negative value is written too.
    unsigned long magnitude = value < 0 ? 0ul - static_cast<unsigned long>(value) : static_cast<unsigned long>(value);
    do {
        *--start = char('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0) *--start = '-';
    AppendText(cursor, start);
}

void HostDisplayName(const char* path, char* name, std::size_t size)
{
    if (size == 0) return;
    const char* component = path;
    const char* lastDot = nullptr;
    for (const char* c = path; *c != '\0'; ++c) {
        if (*c == '\\') {
            component = c + 1;
            lastDot = nullptr;
        } else if (*c == '.') {
            lastDot = c;
        }
    }
    std::size_t length = 0;
    for (const char* c = component; *c != '\0' && c != lastDot && length + 1 < size; ++c) name[length++] = *c;
    name[length] = '\0';
    if (name[0] >= 'a' && name[0] <= 'z') name[0] = char(name[0] - 'a' + 'A');
}
