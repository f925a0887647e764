// The volume panel's back-end: finds the QORDA-8 among the system's audio devices and
// reads and writes the level (0.0 to 1.0) and mute of its input and output. The mode is
// chosen once, at construction: the endpoint-volume service on Windows Vista and 7 (and
// every system that reports 6.x), WinMM's mixer API everywhere else. Only the endpoint
// mode sends change messages, when an endpoint's level or mute changes anywhere.
// Every operation runs on the message thread.
#pragma once

#include "volume_panel/backend/direction.h"

#include <juce_events/juce_events.h>

struct IAudioEndpointVolume;

namespace volume {

struct BackendState;

class Traverser : public juce::ChangeBroadcaster
{
public:
    explicit Traverser(const juce::String& deviceName);
    ~Traverser() override;

    // Looks for the device in both directions (rediscovering the endpoints in the
    // endpoint mode); true if either is available.
    bool findDevice(bool& inputAvailable, bool& outputAvailable);

    // The direction's level; 0.0 when it cannot be read, with the mute then left as it
    // came in or set to false.
    float getInputLevel(bool& mute);
    float getOutputLevel(bool& mute);

    // True when level and mute were both written.
    bool setInputLevel(float level, bool mute);
    bool setOutputLevel(float level, bool mute);

private:
    bool inEndpointMode() const;
    float getLevel(Direction direction, bool& mute);
    bool setLevel(Direction direction, float level, bool mute);

    // The one routine of the endpoint mode: a negative level reads, any other writes.
    // Returns whether an endpoint for the direction is held when it returns.
    bool accessEndpoint(float& level, bool& mute, Direction direction, bool rediscover);
    IAudioEndpointVolume*& endpointOf(Direction direction);
    void releaseEndpoint(Direction direction);

    BackendState* state;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR(Traverser)
};

}  // namespace volume
