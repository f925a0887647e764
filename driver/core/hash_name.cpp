#include "driver/core/hash_name.h"

std::uint32_t HashName(const char* text)
{
    std::uint32_t hash = 0;
    if (text == nullptr) return 0;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p != 0; ++p) {
        std::uint32_t low = hash & 0xFF;
        std::uint32_t rotation = ((low - *p) & 0xFF) % 32;
        hash = (hash & ~0xFFu) | (low ^ *p);
        if (rotation != 0) hash = (hash >> rotation) | (hash << (32 - rotation));
    }
    return hash;
}
