// IAudioEndpointVolume of one simulated endpoint: the master level and mute of its
// line, and the registration of change callbacks. Once its endpoint is removed
// (unplugged, disabled) every call answers AUDCLNT_E_DEVICE_INVALIDATED.
#pragma once

#include "volume_panel/simulator/com_object.h"

#include <endpointvolume.h>

namespace simulated_audio {

class SimulatedEndpointVolume : public ComObject<IAudioEndpointVolume>
{
public:
    explicit SimulatedEndpointVolume(const EndpointAddress& address);
    ~SimulatedEndpointVolume() override;

    HRESULT STDMETHODCALLTYPE RegisterControlChangeNotify(IAudioEndpointVolumeCallback* callback) override;
    HRESULT STDMETHODCALLTYPE UnregisterControlChangeNotify(IAudioEndpointVolumeCallback* callback) override;
    HRESULT STDMETHODCALLTYPE GetChannelCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE SetMasterVolumeLevel(float levelDecibels, LPCGUID eventContext) override;
    HRESULT STDMETHODCALLTYPE SetMasterVolumeLevelScalar(float level, LPCGUID eventContext) override;
    HRESULT STDMETHODCALLTYPE GetMasterVolumeLevel(float* levelDecibels) override;
    HRESULT STDMETHODCALLTYPE GetMasterVolumeLevelScalar(float* level) override;
    HRESULT STDMETHODCALLTYPE SetChannelVolumeLevel(UINT channel, float levelDecibels, LPCGUID eventContext) override;
    HRESULT STDMETHODCALLTYPE SetChannelVolumeLevelScalar(UINT channel, float level, LPCGUID eventContext) override;
    HRESULT STDMETHODCALLTYPE GetChannelVolumeLevel(UINT channel, float* levelDecibels) override;
    HRESULT STDMETHODCALLTYPE GetChannelVolumeLevelScalar(UINT channel, float* level) override;
    HRESULT STDMETHODCALLTYPE SetMute(WINBOOL mute, LPCGUID eventContext) override;
    HRESULT STDMETHODCALLTYPE GetMute(WINBOOL* mute) override;
    HRESULT STDMETHODCALLTYPE GetVolumeStepInfo(UINT* step, UINT* stepCount) override;
    HRESULT STDMETHODCALLTYPE VolumeStepUp(LPCGUID eventContext) override;
    HRESULT STDMETHODCALLTYPE VolumeStepDown(LPCGUID eventContext) override;
    HRESULT STDMETHODCALLTYPE QueryHardwareSupport(DWORD* hardwareSupport) override;
    HRESULT STDMETHODCALLTYPE GetVolumeRange(float* minimumDecibels, float* maximumDecibels,
                                             float* incrementDecibels) override;

private:
    // Logs the call; with the state's mutex held, gives the endpoint's line or the failure.
    HRESULT begin(const char* call, const std::string& arguments = {});
    HRESULT setLevel(float level, LPCGUID eventContext);
    HRESULT getLevel(float* level);

    const EndpointAddress address;
    const std::string name;
};

}  // namespace simulated_audio
