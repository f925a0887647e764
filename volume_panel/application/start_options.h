// What the command line sets: "-m" starts the program with its panel hidden (only the
// tray icon shows), "-M" with it shown.
#pragma once

#include <juce_core/juce_core.h>

namespace volume_panel {

// True unless the command line asked otherwise; also the tray's initial panelVisible.
extern bool showPanelAtStart;

// Scans the arguments from the first: the first "-m" or "-M" (exact, case-sensitive)
// decides; the scan also stops at the first empty argument; anything else is skipped.
void scanCommandLine(const juce::StringArray& arguments);

}  // namespace volume_panel
