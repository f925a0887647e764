#include "volume_panel/simulator/simulated_endpoint_volume.h"

#include "volume_panel/simulator/notifier.h"

#include <audioclient.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace simulated_audio {
namespace {

constexpr float minimumDecibels = -96.0f;
constexpr UINT volumeSteps = 50;

SimulatorState& state()
{
    return SimulatorState::instance();
}

std::string levelText(float level)
{
    char text[32];
    std::snprintf(text, sizeof(text), "%.4f", static_cast<double>(level));
    return text;
}

float decibelsOf(float level)
{
    return level <= 0.0f ? minimumDecibels : std::max(minimumDecibels, 20.0f * std::log10(level));
}

float levelOf(float decibels)
{
    return decibels <= minimumDecibels ? 0.0f : std::pow(10.0f, decibels / 20.0f);
}

}  // namespace

SimulatedEndpointVolume::SimulatedEndpointVolume(const EndpointAddress& endpointAddress)
    : address(endpointAddress),
      name(narrow(state().endpointName(endpointAddress)))
{
}

SimulatedEndpointVolume::~SimulatedEndpointVolume()
{
    const std::lock_guard<std::mutex> lock(state().mutex);
    state().answer("Release", name);
    for (Registration& registration : state().registrations)
        if (registration.endpoint == this)
            registration.endpointReleased = true;
}

HRESULT SimulatedEndpointVolume::begin(const char* call, const std::string& arguments)
{
    if (! state().answer(call, arguments.empty() ? name : name + " " + arguments))
        return E_FAIL;
    return state().isActive(address) ? S_OK : AUDCLNT_E_DEVICE_INVALIDATED;
}

HRESULT STDMETHODCALLTYPE SimulatedEndpointVolume::RegisterControlChangeNotify(IAudioEndpointVolumeCallback* callback)
{
    const std::lock_guard<std::mutex> lock(state().mutex);
    if (const HRESULT result = begin("RegisterControlChangeNotify"); FAILED(result))
        return result;
    if (callback == nullptr)
        return E_POINTER;

    state().registrations.push_back({ this, address, callback, false });
    return S_OK;
}

HRESULT STDMETHODCALLTYPE SimulatedEndpointVolume::UnregisterControlChangeNotify(IAudioEndpointVolumeCallback* callback)
{
    // Waits for a delivery in progress: once this returns, the callback is not called again.
    const std::lock_guard<std::mutex> delivery(Notifier::instance().deliveryMutex);
    const std::lock_guard<std::mutex> lock(state().mutex);
    if (! state().answer("UnregisterControlChangeNotify", name))
        return E_FAIL;
    if (callback == nullptr)
        return E_POINTER;

    auto& registrations = state().registrations;
    const auto found = std::find_if(registrations.begin(), registrations.end(), [&](const Registration& registration) {
        return registration.endpoint == this && registration.callback == callback;
    });
    if (found == registrations.end())
        return E_INVALIDARG;

    registrations.erase(found);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE SimulatedEndpointVolume::GetChannelCount(UINT* count)
{
    const std::lock_guard<std::mutex> lock(state().mutex);
    if (const HRESULT result = begin("GetChannelCount"); FAILED(result))
        return result;
    if (count == nullptr)
        return E_POINTER;

    *count = 1;
    return S_OK;
}

HRESULT SimulatedEndpointVolume::setLevel(float level, LPCGUID eventContext)
{
    if (level < 0.0f || level > 1.0f)
        return E_INVALIDARG;

    state().lineAt(address.device, address.direction).level = level;
    state().lineChanged(address.device, address.direction, eventContext != nullptr ? *eventContext : GUID_NULL);
    return S_OK;
}

HRESULT SimulatedEndpointVolume::getLevel(float* level)
{
    if (level == nullptr)
        return E_POINTER;

    *level = state().lineAt(address.device, address.direction).level;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE SimulatedEndpointVolume::SetMasterVolumeLevel(float levelDecibels, LPCGUID eventContext)
{
    const std::lock_guard<std::mutex> lock(state().mutex);
    if (const HRESULT result = begin("SetMasterVolumeLevel", levelText(levelDecibels)); FAILED(result))
        return result;
    return setLevel(levelOf(levelDecibels), eventContext);
}

HRESULT STDMETHODCALLTYPE SimulatedEndpointVolume::SetMasterVolumeLevelScalar(float level, LPCGUID eventContext)
{
    const std::lock_guard<std::mutex> lock(state().mutex);
    if (const HRESULT result = begin("SetMasterVolumeLevelScalar", levelText(level)); FAILED(result))
        return result;
    return setLevel(level, eventContext);
}

HRESULT STDMETHODCALLTYPE SimulatedEndpointVolume::GetMasterVolumeLevel(float* levelDecibels)
{
    const std::lock_guard<std::mutex> lock(state().mutex);
    if (const HRESULT result = begin("GetMasterVolumeLevel"); FAILED(result))
        return result;

    float level;
    const HRESULT result = getLevel(levelDecibels == nullptr ? nullptr : &level);
    if (SUCCEEDED(result))
        *levelDecibels = decibelsOf(level);
    return result;
}

HRESULT STDMETHODCALLTYPE SimulatedEndpointVolume::GetMasterVolumeLevelScalar(float* level)
{
    const std::lock_guard<std::mutex> lock(state().mutex);
    if (const HRESULT result = begin("GetMasterVolumeLevelScalar"); FAILED(result))
        return result;
    return getLevel(level);
}

HRESULT STDMETHODCALLTYPE SimulatedEndpointVolume::SetChannelVolumeLevel(UINT channel, float levelDecibels,
                                                                         LPCGUID eventContext)
{
    const std::lock_guard<std::mutex> lock(state().mutex);
    if (const HRESULT result = begin("SetChannelVolumeLevel", levelText(levelDecibels)); FAILED(result))
        return result;
    return channel == 0 ? setLevel(levelOf(levelDecibels), eventContext) : E_INVALIDARG;
}

HRESULT STDMETHODCALLTYPE SimulatedEndpointVolume::SetChannelVolumeLevelScalar(UINT channel, float level,
                                                                               LPCGUID eventContext)
{
    const std::lock_guard<std::mutex> lock(state().mutex);
    if (const HRESULT result = begin("SetChannelVolumeLevelScalar", levelText(level)); FAILED(result))
        return result;
    return channel == 0 ? setLevel(level, eventContext) : E_INVALIDARG;
}

HRESULT STDMETHODCALLTYPE SimulatedEndpointVolume::GetChannelVolumeLevel(UINT channel, float* levelDecibels)
{
    const std::lock_guard<std::mutex> lock(state().mutex);
    if (const HRESULT result = begin("GetChannelVolumeLevel"); FAILED(result))
        return result;
    if (channel != 0)
        return E_INVALIDARG;

    float level;
    const HRESULT result = getLevel(levelDecibels == nullptr ? nullptr : &level);
    if (SUCCEEDED(result))
        *levelDecibels = decibelsOf(level);
    return result;
}

HRESULT STDMETHODCALLTYPE SimulatedEndpointVolume::GetChannelVolumeLevelScalar(UINT channel, float* level)
{
    const std::lock_guard<std::mutex> lock(state().mutex);
    if (const HRESULT result = begin("GetChannelVolumeLevelScalar"); FAILED(result))
        return result;
    return channel == 0 ? getLevel(level) : E_INVALIDARG;
}

HRESULT STDMETHODCALLTYPE SimulatedEndpointVolume::SetMute(WINBOOL mute, LPCGUID eventContext)
{
    const std::lock_guard<std::mutex> lock(state().mutex);
    if (const HRESULT result = begin("SetMute", mute ? "1" : "0"); FAILED(result))
        return result;

    state().lineAt(address.device, address.direction).muteValue = mute ? 1 : 0;
    state().lineChanged(address.device, address.direction, eventContext != nullptr ? *eventContext : GUID_NULL);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE SimulatedEndpointVolume::GetMute(WINBOOL* mute)
{
    const std::lock_guard<std::mutex> lock(state().mutex);
    if (const HRESULT result = begin("GetMute"); FAILED(result))
        return result;
    if (mute == nullptr)
        return E_POINTER;

    *mute = static_cast<WINBOOL>(state().lineAt(address.device, address.direction).muteValue);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE SimulatedEndpointVolume::GetVolumeStepInfo(UINT* step, UINT* stepCount)
{
    const std::lock_guard<std::mutex> lock(state().mutex);
    if (const HRESULT result = begin("GetVolumeStepInfo"); FAILED(result))
        return result;
    if (step == nullptr || stepCount == nullptr)
        return E_POINTER;

    const float level = state().lineAt(address.device, address.direction).level;
    *step = static_cast<UINT>(std::lround(level * (volumeSteps - 1)));
    *stepCount = volumeSteps;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE SimulatedEndpointVolume::VolumeStepUp(LPCGUID eventContext)
{
    const std::lock_guard<std::mutex> lock(state().mutex);
    if (const HRESULT result = begin("VolumeStepUp"); FAILED(result))
        return result;

    const float level = state().lineAt(address.device, address.direction).level;
    return setLevel(std::min(1.0f, level + 1.0f / (volumeSteps - 1)), eventContext);
}

HRESULT STDMETHODCALLTYPE SimulatedEndpointVolume::VolumeStepDown(LPCGUID eventContext)
{
    const std::lock_guard<std::mutex> lock(state().mutex);
    if (const HRESULT result = begin("VolumeStepDown"); FAILED(result))
        return result;

    const float level = state().lineAt(address.device, address.direction).level;
    return setLevel(std::max(0.0f, level - 1.0f / (volumeSteps - 1)), eventContext);
}

HRESULT STDMETHODCALLTYPE SimulatedEndpointVolume::QueryHardwareSupport(DWORD* hardwareSupport)
{
    const std::lock_guard<std::mutex> lock(state().mutex);
    if (const HRESULT result = begin("QueryHardwareSupport"); FAILED(result))
        return result;
    if (hardwareSupport == nullptr)
        return E_POINTER;

    *hardwareSupport = ENDPOINT_HARDWARE_SUPPORT_VOLUME | ENDPOINT_HARDWARE_SUPPORT_MUTE;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE SimulatedEndpointVolume::GetVolumeRange(float* minimum, float* maximum, float* increment)
{
    const std::lock_guard<std::mutex> lock(state().mutex);
    if (const HRESULT result = begin("GetVolumeRange"); FAILED(result))
        return result;
    if (minimum == nullptr || maximum == nullptr || increment == nullptr)
        return E_POINTER;

    *minimum = minimumDecibels;
    *maximum = 0.0f;
    *increment = 0.5f;
    return S_OK;
}

}  // namespace simulated_audio
