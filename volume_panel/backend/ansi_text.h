// Device names are compared as narrow text in the system's ANSI code page, the form in
// which WinMM reports mixer names.
#pragma once

#include <juce_core/juce_core.h>

#include <string>

namespace volume {

std::string toAnsi(const wchar_t* text);
std::string toAnsi(const juce::String& text);

}  // namespace volume
