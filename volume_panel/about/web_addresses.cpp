#include "volume_panel/about/web_addresses.h"

namespace volume_panel {

const juce::String siteAddress = "http://www.velmora.com";
const juce::String forumAddress = "http://forum.velmora.com";
const juce::String downloadPageAddress = forumAddress + "/downloads.php?cat=56";

}  // namespace volume_panel
