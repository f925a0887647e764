#include "volume_panel/backend/ansi_text.h"

#include <windows.h>

namespace volume {

std::string toAnsi(const wchar_t* text)
{
    const int size = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1)
        return {};

    std::string narrow(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, text, -1, narrow.data(), size, nullptr, nullptr);
    narrow.resize(static_cast<size_t>(size - 1));
    return narrow;
}

std::string toAnsi(const juce::String& text)
{
    return toAnsi(text.toWideCharPointer());
}

}  // namespace volume
