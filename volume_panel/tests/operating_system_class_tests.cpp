// Which Windows versions take which back-end mode.
#include "volume_panel/backend/operating_system_class.h"
#include "volume_panel/backend/traverser.h"
#include "volume_panel/simulator/simulated_audio.h"

#include <gtest/gtest.h>

namespace {

using volume::OperatingSystemClass;

TEST(OperatingSystemClass, ClassesTheReportedVersion)
{
    struct Case
    {
        DWORD platform, major, minor;
        OperatingSystemClass expected;
    };
    const Case cases[] {
        { VER_PLATFORM_WIN32_WINDOWS, 4, 10, OperatingSystemClass::windows98 },
        { VER_PLATFORM_WIN32_NT, 4, 0, OperatingSystemClass::unclassified },
        { VER_PLATFORM_WIN32_NT, 5, 0, OperatingSystemClass::windows2000 },
        { VER_PLATFORM_WIN32_NT, 5, 1, OperatingSystemClass::windowsXP },
        { VER_PLATFORM_WIN32_NT, 5, 2, OperatingSystemClass::windowsXP },
        { VER_PLATFORM_WIN32_NT, 6, 0, OperatingSystemClass::windowsVista },
        { VER_PLATFORM_WIN32_NT, 6, 1, OperatingSystemClass::windows7 },
        { VER_PLATFORM_WIN32_NT, 6, 2, OperatingSystemClass::windows7 },
        { VER_PLATFORM_WIN32_NT, 6, 3, OperatingSystemClass::windows7 },
        { VER_PLATFORM_WIN32_NT, 10, 0, OperatingSystemClass::unclassified },
        { VER_PLATFORM_WIN32s, 3, 1, OperatingSystemClass::unclassified },
    };
    for (const Case& c : cases)
        EXPECT_EQ(volume::classifyOperatingSystem(c.platform, c.major, c.minor), c.expected)
            << c.platform << " " << c.major << "." << c.minor;
}

TEST(OperatingSystemClass, OnlyVistaAndSevenUseTheEndpointService)
{
    EXPECT_TRUE(volume::usesEndpointVolume(OperatingSystemClass::windowsVista));
    EXPECT_TRUE(volume::usesEndpointVolume(OperatingSystemClass::windows7));
    for (const auto osClass : { OperatingSystemClass::windows98, OperatingSystemClass::windows2000,
                                OperatingSystemClass::windowsXP, OperatingSystemClass::unclassified })
        EXPECT_FALSE(volume::usesEndpointVolume(osClass));
}

// The mode shows in which services the back-end calls.
bool discoversThroughEndpoints(const simulated_audio::WindowsVersion& version)
{
    simulated_audio::installMachine(simulated_audio::standardMachine(version));
    volume::Traverser traverser("Velmora QORDA-8");
    bool inputAvailable, outputAvailable;
    EXPECT_TRUE(traverser.findDevice(inputAvailable, outputAvailable));
    const bool endpoints = ! simulated_audio::callsStartingWith("CoCreateInstance").empty();
    const bool mixers = ! simulated_audio::callsStartingWith("mixerOpen").empty();
    EXPECT_NE(endpoints, mixers);
    return endpoints;
}

TEST(OperatingSystemClass, TheBackEndTakesItsModeFromTheReportedVersion)
{
    EXPECT_FALSE(discoversThroughEndpoints(simulated_audio::windows2000));
    EXPECT_FALSE(discoversThroughEndpoints(simulated_audio::windowsXP));
    EXPECT_TRUE(discoversThroughEndpoints(simulated_audio::windowsVista));
    EXPECT_TRUE(discoversThroughEndpoints(simulated_audio::windows7));
    EXPECT_TRUE(discoversThroughEndpoints(simulated_audio::windows8OrLater));
}

}  // namespace
