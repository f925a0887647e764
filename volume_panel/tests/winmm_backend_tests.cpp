// The back-end's WinMM mode (Windows XP) against the simulated mixers.
#include "volume_panel/backend/traverser.h"
#include "volume_panel/simulator/simulated_audio.h"

#include <gtest/gtest.h>

namespace {

using simulated_audio::Direction;

constexpr auto input = static_cast<int>(Direction::input);
constexpr auto output = static_cast<int>(Direction::output);

class WinmmBackend : public testing::Test
{
protected:
    void SetUp() override
    {
        simulated_audio::installMachine(simulated_audio::standardMachine(simulated_audio::windowsXP));
    }

    void TearDown() override { EXPECT_EQ(simulated_audio::openMixers(), 0) << "every operation closes its mixer"; }

    static void install(std::vector<simulated_audio::Device> devices)
    {
        simulated_audio::Machine machine;
        machine.version = simulated_audio::windowsXP;
        machine.devices = std::move(devices);
        simulated_audio::installMachine(machine);
    }

    static simulated_audio::Line lineOf(std::size_t device, Direction direction)
    {
        return simulated_audio::currentMachine().devices[device].lines[static_cast<int>(direction)];
    }
};

TEST_F(WinmmBackend, FindsTheQorda8AmongOtherMixersAndReadsItsLines)
{
    volume::Traverser traverser("Velmora QORDA-8");
    bool inputAvailable = false, outputAvailable = false;
    EXPECT_TRUE(traverser.findDevice(inputAvailable, outputAvailable));
    EXPECT_TRUE(inputAvailable);
    EXPECT_TRUE(outputAvailable);

    simulated_audio::changeLine(1, Direction::output, 1.0f, 1);
    bool mute = false;
    EXPECT_FLOAT_EQ(traverser.getOutputLevel(mute), 1.0f) << "65535 reads as 1.0";
    EXPECT_TRUE(mute);
    EXPECT_NEAR(traverser.getInputLevel(mute), 0.6f, 1.0f / 65535);
    EXPECT_FALSE(mute);
    EXPECT_TRUE(simulated_audio::callsStartingWith("CoCreateInstance").empty()) << "XP never uses endpoints";
}

TEST_F(WinmmBackend, WithoutAnyMixerNothingIsAvailable)
{
    install({});
    volume::Traverser traverser("Velmora QORDA-8");
    bool inputAvailable = true, outputAvailable = true;
    EXPECT_FALSE(traverser.findDevice(inputAvailable, outputAvailable));
    EXPECT_FALSE(inputAvailable);
    EXPECT_FALSE(outputAvailable);

    bool mute = false;
    EXPECT_EQ(traverser.getOutputLevel(mute), 0.0f);
    EXPECT_FALSE(traverser.setOutputLevel(0.5f, false));
}

TEST_F(WinmmBackend, OfTwoMatchingMixersTheLowerIndexWinsForEachDirectionSeparately)
{
    simulated_audio::Device first = simulated_audio::qorda8();
    first.lines[input].hasMuteControl = false;
    simulated_audio::Device second = simulated_audio::qorda8();
    second.mixerName = "Velmora QORDA-8 #2";
    install({ simulated_audio::onboardCodec(), first, second });

    volume::Traverser traverser("Velmora QORDA-8");
    bool inputAvailable = false, outputAvailable = false;
    ASSERT_TRUE(traverser.findDevice(inputAvailable, outputAvailable));
    ASSERT_TRUE(inputAvailable);
    ASSERT_TRUE(outputAvailable);

    simulated_audio::clearCallLog();
    EXPECT_TRUE(traverser.setOutputLevel(0.25f, true));
    EXPECT_TRUE(traverser.setInputLevel(0.75f, false));
    EXPECT_FLOAT_EQ(lineOf(1, Direction::output).level, 16383.0f / 65535);
    EXPECT_EQ(lineOf(1, Direction::output).muteValue, 1u);
    EXPECT_FLOAT_EQ(lineOf(2, Direction::input).level, 49151.0f / 65535);
    EXPECT_FLOAT_EQ(lineOf(1, Direction::input).level, 0.6f) << "the first mixer's input has no mute control";
}

TEST_F(WinmmBackend, ASpeakersLineWithoutMuteControlLeavesTheOutputUnavailable)
{
    simulated_audio::Device device = simulated_audio::qorda8();
    device.lines[output].hasMuteControl = false;
    install({ device });

    volume::Traverser traverser("Velmora QORDA-8");
    bool inputAvailable = false, outputAvailable = true;
    EXPECT_TRUE(traverser.findDevice(inputAvailable, outputAvailable));
    EXPECT_TRUE(inputAvailable);
    EXPECT_FALSE(outputAvailable);
    EXPECT_FALSE(traverser.setOutputLevel(0.5f, false));
    EXPECT_FLOAT_EQ(lineOf(0, Direction::output).level, 0.8f) << "nothing was written";
}

TEST_F(WinmmBackend, LevelsAreWrittenOnTheMixerScaleTruncated)
{
    volume::Traverser traverser("Velmora QORDA-8");
    simulated_audio::clearCallLog();
    EXPECT_TRUE(traverser.setOutputLevel(0.5f, true));
    EXPECT_TRUE(traverser.setInputLevel(1.0f, false));
    EXPECT_TRUE(traverser.setInputLevel(0.0f, false));

    const std::vector<std::string> writes = simulated_audio::callsStartingWith("mixerSetControlDetails");
    const std::vector<std::string> expected {
        "mixerSetControlDetails Velmora QORDA-8 output volume 32767",
        "mixerSetControlDetails Velmora QORDA-8 output mute 1",
        "mixerSetControlDetails Velmora QORDA-8 input volume 65535",
        "mixerSetControlDetails Velmora QORDA-8 input mute 0",
        "mixerSetControlDetails Velmora QORDA-8 input volume 0",
        "mixerSetControlDetails Velmora QORDA-8 input mute 0",
    };
    EXPECT_EQ(writes, expected);
}

TEST_F(WinmmBackend, AMuteValueOtherThanOneReadsAsNotMuted)
{
    simulated_audio::changeLine(1, Direction::input, 0.5f, 2);
    volume::Traverser traverser("Velmora QORDA-8");
    bool mute = true;
    traverser.getInputLevel(mute);
    EXPECT_FALSE(mute);
}

TEST_F(WinmmBackend, FailingMixerCallsReportFailureAndCloseTheMixer)
{
    volume::Traverser traverser("Velmora QORDA-8");

    simulated_audio::failCall("mixerSetControlDetails");
    EXPECT_FALSE(traverser.setOutputLevel(0.5f, false));

    simulated_audio::clearFailures();
    simulated_audio::failCall("mixerGetControlDetailsA");
    bool inputAvailable = true, outputAvailable = true;
    EXPECT_FALSE(traverser.findDevice(inputAvailable, outputAvailable));
    bool mute = true;
    EXPECT_EQ(traverser.getOutputLevel(mute), 0.0f);
    EXPECT_TRUE(mute) << "a direction that cannot be found leaves the mute as it came in";

    simulated_audio::clearFailures();
    simulated_audio::failCall("mixerGetDevCapsA");
    EXPECT_FALSE(traverser.findDevice(inputAvailable, outputAvailable)) << "mixers whose caps fail are skipped";
}

TEST_F(WinmmBackend, AnUnpluggedDeviceStopsMatchingUntilReplugged)
{
    volume::Traverser traverser("Velmora QORDA-8");
    bool inputAvailable, outputAvailable;
    simulated_audio::setPlugged(1, false);
    EXPECT_FALSE(traverser.findDevice(inputAvailable, outputAvailable));
    simulated_audio::setPlugged(1, true);
    EXPECT_TRUE(traverser.findDevice(inputAvailable, outputAvailable));
    EXPECT_TRUE(inputAvailable && outputAvailable);
}

}  // namespace
