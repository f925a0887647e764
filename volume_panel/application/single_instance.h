// Keeps the volume panel to one instance: a named inter-process lock, "velmoraAppLock_"
// followed by the application name, and the broadcast through which a second start
// hands its arguments to the running instance before it exits.
#pragma once

#include <juce_events/juce_events.h>

#include <functional>

namespace volume_panel {

class SingleInstance : private juce::ActionListener
{
public:
    explicit SingleInstance(const juce::String& applicationName);
    ~SingleInstance() override;

    // Takes the lock. If another instance holds it, sends it the message made of the
    // application name, "/" and the arguments joined with single spaces, and returns true.
    bool forwardToRunningInstance(const juce::StringArray& arguments);

    // From now on, calls handler with the arguments that each later start forwards.
    void listenForLaterStarts(std::function<void(const juce::String&)> handler);

private:
    void actionListenerCallback(const juce::String& message) override;

    const juce::String applicationName;
    juce::InterProcessLock lock;
    std::function<void(const juce::String&)> onLaterStart;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR(SingleInstance)
};

}  // namespace volume_panel
