// The endpoint-change callback of the endpoint mode. Windows calls OnNotify on a thread
// of its own whenever a level or mute of an endpoint it is registered on changes
// (this program's own writes included); it only asks its owner to send a change
// message, which the panel receives on the message thread.
#pragma once

#include <juce_events/juce_events.h>

#include <windows.h>
#include <endpointvolume.h>

class VistaCallback : public IAudioEndpointVolumeCallback
{
public:
    explicit VistaCallback(juce::ChangeBroadcaster& owner);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID interfaceId, void** object) override;
    // The back-end alone owns the object: no reference counting.
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE OnNotify(AUDIO_VOLUME_NOTIFICATION_DATA* notification) override;

    virtual ~VistaCallback() = default;

private:
    juce::ChangeBroadcaster& owner;

    JUCE_DECLARE_NON_COPYABLE(VistaCallback)
};
