// The command line's say over whether the panel shows at start.
#include "volume_panel/application/start_options.h"

#include <gtest/gtest.h>

namespace {

bool showsPanelWith(const juce::StringArray& arguments)
{
    volume_panel::showPanelAtStart = true;
    volume_panel::scanCommandLine(arguments);
    return volume_panel::showPanelAtStart;
}

TEST(StartOptions, TheFirstOptionDecides)
{
    EXPECT_TRUE(showsPanelWith({}));
    EXPECT_FALSE(showsPanelWith({ "-m" }));
    EXPECT_TRUE(showsPanelWith({ "-M" }));
    EXPECT_FALSE(showsPanelWith({ "-m", "-M" }));
    EXPECT_TRUE(showsPanelWith({ "-M", "-m" }));
    EXPECT_FALSE(showsPanelWith({ "/tray", "-m" })) << "other arguments are skipped";
}

TEST(StartOptions, TheScanStopsAtAnEmptyArgumentAndComparesExactly)
{
    EXPECT_TRUE(showsPanelWith({ "", "-m" }));
    EXPECT_TRUE(showsPanelWith({ "-minimised" }));
    EXPECT_TRUE(showsPanelWith({ " -m" }));
}

}  // namespace
