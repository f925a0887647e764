// Under Wine, JUCE's windows stop repainting after their first paint: JUCE flushes
// repaints from a thread that waits for the display's vertical blank, which Wine does
// not deliver. While the program runs under Wine, this timer flushes every window's
// pending repaints itself. On Windows it never starts.
#pragma once

#include <juce_events/juce_events.h>

namespace volume_panel {

class WineRepaintPump : private juce::Timer
{
public:
    WineRepaintPump();
    ~WineRepaintPump() override;

    static bool runningUnderWine();

private:
    void timerCallback() override;

    JUCE_DECLARE_NON_COPYABLE(WineRepaintPump)
};

}  // namespace volume_panel
