// The back-end's endpoint mode (Windows Vista and later) against the simulated endpoints:
// discovery, reads and writes, dropped endpoints, and the change callback's life.
#include "volume_panel/backend/traverser.h"
#include "volume_panel/simulator/simulated_audio.h"
#include "volume_panel/tests/support/debug_output_capture.h"
#include "volume_panel/tests/support/juce_test_environment.h"

#include <gtest/gtest.h>
#include <juce_events/juce_events.h>

#include <atomic>
#include <thread>

namespace {

using simulated_audio::Direction;

constexpr auto input = static_cast<int>(Direction::input);
constexpr auto output = static_cast<int>(Direction::output);

class EndpointBackend : public testing::Test
{
protected:
    void SetUp() override
    {
        simulated_audio::installMachine(simulated_audio::standardMachine(simulated_audio::windows7));
    }

    void TearDown() override
    {
        simulated_audio::waitForNotifications();
        EXPECT_EQ(simulated_audio::liveComObjects(), 0) << "every interface obtained was released";
        EXPECT_EQ(simulated_audio::registeredCallbacks(), 0) << "every callback was unregistered";
    }

    static void install(std::vector<simulated_audio::Device> devices)
    {
        simulated_audio::Machine machine;
        machine.version = simulated_audio::windows8OrLater;
        machine.devices = std::move(devices);
        simulated_audio::installMachine(machine);
    }

    static simulated_audio::Line lineOf(std::size_t device, Direction direction)
    {
        return simulated_audio::currentMachine().devices[device].lines[static_cast<int>(direction)];
    }
};

TEST_F(EndpointBackend, FindsBothEndpointsByFriendlyNameAndRegistersOnThem)
{
    volume::Traverser traverser("Velmora QORDA-8");
    bool inputAvailable = false, outputAvailable = false;
    EXPECT_TRUE(traverser.findDevice(inputAvailable, outputAvailable));
    EXPECT_TRUE(inputAvailable);
    EXPECT_TRUE(outputAvailable);
    EXPECT_EQ(simulated_audio::registeredCallbacks(), 2);

    bool mute = true;
    EXPECT_FLOAT_EQ(traverser.getOutputLevel(mute), 0.8f);
    EXPECT_FALSE(mute);
    EXPECT_FLOAT_EQ(traverser.getInputLevel(mute), 0.6f);

    simulated_audio::clearCallLog();
    EXPECT_TRUE(traverser.setOutputLevel(0.37f, true));
    EXPECT_FLOAT_EQ(lineOf(1, Direction::output).level, 0.37f);
    EXPECT_EQ(lineOf(1, Direction::output).muteValue, 1u);
    EXPECT_TRUE(simulated_audio::callsStartingWith("EnumAudioEndpoints").empty())
        << "only findDevice discovers endpoints";
}

TEST_F(EndpointBackend, OfTwoMatchingRenderEndpointsTheFirstIsUsed)
{
    simulated_audio::Device second = simulated_audio::qorda8();
    second.renderEndpointName = L"Speakers (2- Velmora QORDA-8)";
    second.lines[output].level = 0.1f;
    install({ simulated_audio::onboardCodec(), simulated_audio::qorda8(), second });

    volume::Traverser traverser("Velmora QORDA-8");
    bool inputAvailable, outputAvailable;
    ASSERT_TRUE(traverser.findDevice(inputAvailable, outputAvailable));
    bool mute = false;
    EXPECT_FLOAT_EQ(traverser.getOutputLevel(mute), 0.8f);
}

TEST_F(EndpointBackend, ADisabledCaptureEndpointLeavesOnlyTheOutput)
{
    simulated_audio::setEndpointEnabled(1, Direction::input, false);
    volume::Traverser traverser("Velmora QORDA-8");
    bool inputAvailable = true, outputAvailable = false;
    EXPECT_TRUE(traverser.findDevice(inputAvailable, outputAvailable));
    EXPECT_FALSE(inputAvailable);
    EXPECT_TRUE(outputAvailable);

    bool mute = false;
    EXPECT_EQ(traverser.getInputLevel(mute), 0.0f);
    EXPECT_FALSE(traverser.setInputLevel(0.5f, false));
}

TEST_F(EndpointBackend, NoActiveEndpointOfADirectionIsReportedToTheDebugger)
{
    simulated_audio::Device device = simulated_audio::qorda8();
    device.lines[input].endpointEnabled = false;
    install({ device });

    const DebugOutputCapture debugOutput;
    volume::Traverser traverser("Velmora QORDA-8");
    bool inputAvailable = true, outputAvailable = false;
    EXPECT_TRUE(traverser.findDevice(inputAvailable, outputAvailable));
    EXPECT_FALSE(inputAvailable);
    EXPECT_TRUE(outputAvailable);
    EXPECT_EQ(debugOutput.text(), "No endpoints found.\n");
}

TEST_F(EndpointBackend, AFailingCallDuringDiscoveryKeepsNothing)
{
    const DebugOutputCapture debugOutput;
    volume::Traverser traverser("Velmora QORDA-8");

    for (const char* call :
         { "CoCreateInstance", "EnumAudioEndpoints", "GetValue", "Activate", "RegisterControlChangeNotify" })
    {
        simulated_audio::failCall(call);
        bool inputAvailable = true, outputAvailable = true;
        EXPECT_FALSE(traverser.findDevice(inputAvailable, outputAvailable)) << call;
        EXPECT_EQ(simulated_audio::liveComObjects(), 0) << call;
        EXPECT_EQ(simulated_audio::registeredCallbacks(), 0) << call;
        simulated_audio::clearFailures();
    }
    // Discovery runs once per direction, so each failing call reports twice.
    std::string expected;
    for (int failure = 0; failure < 10; ++failure)
        expected += "Error!\n";
    EXPECT_EQ(debugOutput.text(), expected);

    bool inputAvailable, outputAvailable;
    EXPECT_TRUE(traverser.findDevice(inputAvailable, outputAvailable)) << "the next discovery finds it again";
}

TEST_F(EndpointBackend, AFailingSetMuteDropsTheEndpointAfterTheLevelWasWritten)
{
    volume::Traverser traverser("Velmora QORDA-8");
    bool inputAvailable, outputAvailable;
    ASSERT_TRUE(traverser.findDevice(inputAvailable, outputAvailable));

    simulated_audio::failCall("SetMute");
    EXPECT_FALSE(traverser.setOutputLevel(0.2f, true));
    EXPECT_FLOAT_EQ(lineOf(1, Direction::output).level, 0.2f);
    EXPECT_EQ(lineOf(1, Direction::output).muteValue, 0u);
    EXPECT_EQ(simulated_audio::registeredCallbacks(), 1) << "unregistered before it was released";
    EXPECT_EQ(simulated_audio::registrationsOnReleasedEndpoints(), 0);

    simulated_audio::clearFailures();
    simulated_audio::clearCallLog();
    bool mute = false;
    EXPECT_EQ(traverser.getOutputLevel(mute), 0.0f) << "unavailable until the next discovery";
    EXPECT_FALSE(traverser.setOutputLevel(0.5f, false));
    EXPECT_TRUE(simulated_audio::callLog().empty());

    EXPECT_TRUE(traverser.findDevice(inputAvailable, outputAvailable));
    EXPECT_TRUE(outputAvailable);
    EXPECT_FLOAT_EQ(traverser.getOutputLevel(mute), 0.2f);
}

TEST_F(EndpointBackend, ALevelOfZeroIsWrittenNotRead)
{
    volume::Traverser traverser("Velmora QORDA-8");
    bool inputAvailable, outputAvailable;
    ASSERT_TRUE(traverser.findDevice(inputAvailable, outputAvailable));

    simulated_audio::clearCallLog();
    EXPECT_TRUE(traverser.setInputLevel(0.0f, false));
    const std::vector<std::string> expected { "SetMasterVolumeLevelScalar Line (Velmora QORDA-8) 0.0000",
                                              "SetMute Line (Velmora QORDA-8) 0" };
    EXPECT_EQ(simulated_audio::callLog(), expected);
    EXPECT_EQ(lineOf(1, Direction::input).level, 0.0f);
}

TEST_F(EndpointBackend, UnplugDropsBothDirectionsAndReplugBringsThemBack)
{
    volume::Traverser traverser("Velmora QORDA-8");
    bool inputAvailable, outputAvailable;
    ASSERT_TRUE(traverser.findDevice(inputAvailable, outputAvailable));

    simulated_audio::setPlugged(1, false);
    bool mute = false;
    EXPECT_EQ(traverser.getOutputLevel(mute), 0.0f) << "the held endpoint is invalidated";
    EXPECT_FALSE(traverser.findDevice(inputAvailable, outputAvailable));
    EXPECT_FALSE(inputAvailable || outputAvailable);
    EXPECT_EQ(simulated_audio::registeredCallbacks(), 0);

    simulated_audio::setPlugged(1, true);
    EXPECT_TRUE(traverser.findDevice(inputAvailable, outputAvailable));
    EXPECT_TRUE(inputAvailable && outputAvailable);
    EXPECT_EQ(simulated_audio::registeredCallbacks(), 2);
    EXPECT_EQ(simulated_audio::registrationsOnReleasedEndpoints(), 0);
}

TEST_F(EndpointBackend, RediscoveryUnregistersFromTheEndpointsItReplaces)
{
    volume::Traverser traverser("Velmora QORDA-8");
    bool inputAvailable, outputAvailable;
    for (int refresh = 0; refresh < 3; ++refresh)
        ASSERT_TRUE(traverser.findDevice(inputAvailable, outputAvailable));

    EXPECT_EQ(simulated_audio::registeredCallbacks(), 2);
    EXPECT_EQ(simulated_audio::registrationsOnReleasedEndpoints(), 0);
    EXPECT_EQ(simulated_audio::liveComObjects(), 2);
}

// Records where change messages arrive.
class ChangeRecorder : public juce::ChangeListener
{
public:
    void changeListenerCallback(juce::ChangeBroadcaster*) override
    {
        ++changes;
        onMessageThread = onMessageThread && juce::MessageManager::getInstance()->isThisTheMessageThread();
    }

    int changes = 0;
    bool onMessageThread = true;
};

TEST_F(EndpointBackend, ChangesMadeElsewhereArriveOnTheMessageThread)
{
    volume::Traverser traverser("Velmora QORDA-8");
    ChangeRecorder recorder;
    traverser.addChangeListener(&recorder);
    bool inputAvailable, outputAvailable;
    ASSERT_TRUE(traverser.findDevice(inputAvailable, outputAvailable));

    simulated_audio::changeLine(1, Direction::output, 0.1f, 1);
    simulated_audio::waitForNotifications();
    EXPECT_EQ(simulated_audio::notificationsDelivered(), 1) << "delivered on the simulator's own thread";
    EXPECT_EQ(recorder.changes, 0) << "nothing runs on the message thread until it dispatches";

    EXPECT_TRUE(pumpMessagesUntil([&] { return recorder.changes > 0; }));
    EXPECT_TRUE(recorder.onMessageThread);
    traverser.removeChangeListener(&recorder);
}

TEST_F(EndpointBackend, TheProgramsOwnWritesNotifyToo)
{
    volume::Traverser traverser("Velmora QORDA-8");
    ChangeRecorder recorder;
    traverser.addChangeListener(&recorder);
    bool inputAvailable, outputAvailable;
    ASSERT_TRUE(traverser.findDevice(inputAvailable, outputAvailable));

    EXPECT_TRUE(traverser.setInputLevel(0.3f, false));
    simulated_audio::waitForNotifications();
    EXPECT_TRUE(pumpMessagesUntil([&] { return recorder.changes > 0; }));
    traverser.removeChangeListener(&recorder);
}

TEST_F(EndpointBackend, NoNotificationReachesABackEndOnceItIsDeleted)
{
    std::atomic<bool> changing { true };
    std::thread outsideChanges([&changing] {
        for (float level = 0.0f; changing; level = level >= 1.0f ? 0.0f : level + 0.01f)
        {
            simulated_audio::changeLine(1, Direction::output, level, 0);
            simulated_audio::changeLine(1, Direction::input, level, 1);
            Sleep(1);
        }
    });

    for (int round = 0; round < 50; ++round)
    {
        auto* traverser = new volume::Traverser("Velmora QORDA-8");
        bool inputAvailable, outputAvailable;
        traverser->findDevice(inputAvailable, outputAvailable);
        simulated_audio::changeLine(1, Direction::output, 0.5f, 0);
        if (round % 10 == 0)
            simulated_audio::waitForNotifications();
        delete traverser;
        EXPECT_EQ(simulated_audio::registeredCallbacks(), 0);
    }

    changing = false;
    outsideChanges.join();
    simulated_audio::waitForNotifications();
    EXPECT_GT(simulated_audio::notificationsDelivered(), 0) << "notifications were flowing meanwhile";
    pumpMessagesFor(50);
}

}  // namespace
