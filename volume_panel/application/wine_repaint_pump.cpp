#include "volume_panel/application/wine_repaint_pump.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <windows.h>

namespace volume_panel {
namespace {

constexpr int flushIntervalMilliseconds = 15;

}  // namespace

WineRepaintPump::WineRepaintPump()
{
    if (runningUnderWine())
        startTimer(flushIntervalMilliseconds);
}

WineRepaintPump::~WineRepaintPump()
{
    stopTimer();
}

bool WineRepaintPump::runningUnderWine()
{
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

void WineRepaintPump::timerCallback()
{
    for (int index = juce::ComponentPeer::getNumPeers(); --index >= 0;)
        juce::ComponentPeer::getPeer(index)->performAnyPendingRepaintsNow();
}

}  // namespace volume_panel
