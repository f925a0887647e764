#include "volume_panel/backend/traverser.h"

#include "volume_panel/backend/backend_state.h"
#include "volume_panel/backend/endpoint_discovery.h"
#include "volume_panel/backend/operating_system_class.h"
#include "volume_panel/backend/winmm_mixer.h"

namespace volume {
namespace {

// Asks accessEndpoint for a read rather than a write.
constexpr float readRequest = -1.0f;

}  // namespace

Traverser::Traverser(const juce::String& deviceName)
    : state(new BackendState())
{
    state->deviceName = deviceName;

    if (usesEndpointVolume(currentOperatingSystemClass()))
        state->callback = new VistaCallback(*this);
}

Traverser::~Traverser()
{
    if (inEndpointMode())
    {
        releaseEndpoint(Direction::input);
        releaseEndpoint(Direction::output);
        delete state->callback;
    }

    delete state;
}

bool Traverser::inEndpointMode() const
{
    return state->callback != nullptr;
}

bool Traverser::findDevice(bool& inputAvailable, bool& outputAvailable)
{
    inputAvailable = false;
    outputAvailable = false;

    if (inEndpointMode())
    {
        float level = readRequest;
        bool mute = false;
        outputAvailable = accessEndpoint(level, mute, Direction::output, true);
        level = readRequest;
        inputAvailable = accessEndpoint(level, mute, Direction::input, true);
    }
    else
    {
        outputAvailable = winmm::findMixer(state->deviceName, Direction::output).has_value();
        inputAvailable = winmm::findMixer(state->deviceName, Direction::input).has_value();
    }

    return inputAvailable || outputAvailable;
}

float Traverser::getInputLevel(bool& mute)
{
    return getLevel(Direction::input, mute);
}

float Traverser::getOutputLevel(bool& mute)
{
    return getLevel(Direction::output, mute);
}

bool Traverser::setInputLevel(float level, bool mute)
{
    return setLevel(Direction::input, level, mute);
}

bool Traverser::setOutputLevel(float level, bool mute)
{
    return setLevel(Direction::output, level, mute);
}

float Traverser::getLevel(Direction direction, bool& mute)
{
    if (inEndpointMode())
    {
        float level = readRequest;
        return accessEndpoint(level, mute, direction, false) ? level : 0.0f;
    }

    const auto mixer = winmm::findMixer(state->deviceName, direction);
    if (! mixer)
        return 0.0f;

    float level;
    winmm::readMixerLine(*mixer, direction, level, mute);
    return level;
}

bool Traverser::setLevel(Direction direction, float level, bool mute)
{
    if (inEndpointMode())
        return accessEndpoint(level, mute, direction, false);

    const auto mixer = winmm::findMixer(state->deviceName, direction);
    return mixer && winmm::writeMixerLine(*mixer, level, mute, direction);
}

bool Traverser::accessEndpoint(float& level, bool& mute, Direction direction, bool rediscover)
{
    IAudioEndpointVolume*& endpoint = endpointOf(direction);

    if (rediscover)
    {
        releaseEndpoint(direction);
        endpoint = discoverEndpoint(state->deviceName, direction, state->callback);
    }

    if (endpoint == nullptr)
        return false;

    BOOL muteFlag = mute ? TRUE : FALSE;
    HRESULT result;
    if (level < 0.0f)
    {
        result = endpoint->GetMasterVolumeLevelScalar(&level);
        if (SUCCEEDED(result))
            result = endpoint->GetMute(&muteFlag);
    }
    else
    {
        result = endpoint->SetMasterVolumeLevelScalar(level, nullptr);
        if (SUCCEEDED(result))
            result = endpoint->SetMute(muteFlag, nullptr);
    }

    // A failing endpoint is dropped; the next discovery looks for it again.
    if (FAILED(result))
        releaseEndpoint(direction);

    mute = muteFlag == 1;
    return endpoint != nullptr;
}

IAudioEndpointVolume*& Traverser::endpointOf(Direction direction)
{
    return direction == Direction::input ? state->captureEndpoint : state->renderEndpoint;
}

void Traverser::releaseEndpoint(Direction direction)
{
    IAudioEndpointVolume*& endpoint = endpointOf(direction);
    if (endpoint == nullptr)
        return;

    // Unregistered first, so that no notification can reach the callback once the
    // endpoint is gone, nor after the callback and this object are deleted.
    endpoint->UnregisterControlChangeNotify(state->callback);
    endpoint->Release();
    endpoint = nullptr;
}

}  // namespace volume
