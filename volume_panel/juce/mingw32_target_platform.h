// Force-included into every 32-bit translation unit that sees JUCE. JUCE swaps
// mingw-w64's working __uuidof for a template of its own when JUCE_32BIT is set under
// mingw, which breaks IID_PPV_ARGS and hands out null interface ids. Reading JUCE's
// platform header first and then dropping JUCE_32BIT makes i686 take the x86_64 path;
// nothing else in the modules this program uses depends on JUCE_32BIT.
#pragma once

#include <juce_core/system/juce_TargetPlatform.h>

#undef JUCE_32BIT
