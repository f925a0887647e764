#include "volume_panel/application/start_options.h"

namespace volume_panel {

bool showPanelAtStart = true;

void scanCommandLine(const juce::StringArray& arguments)
{
    for (const juce::String& argument : arguments)
    {
        if (argument.isEmpty())
            return;
        if (argument == "-m" || argument == "-M")
        {
            showPanelAtStart = argument == "-M";
            return;
        }
    }
}

}  // namespace volume_panel
