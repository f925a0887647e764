#include "volume_panel/backend/vista_callback.h"

VistaCallback::VistaCallback(juce::ChangeBroadcaster& ownerToNotify)
    : owner(ownerToNotify)
{
}

HRESULT STDMETHODCALLTYPE VistaCallback::QueryInterface(REFIID interfaceId, void** object)
{
    if (object == nullptr)
        return E_POINTER;

    if (IsEqualIID(interfaceId, __uuidof(IUnknown)) || IsEqualIID(interfaceId, __uuidof(IAudioEndpointVolumeCallback)))
    {
        *object = static_cast<IAudioEndpointVolumeCallback*>(this);
        return S_OK;
    }

    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE VistaCallback::AddRef()
{
    return 0;
}

ULONG STDMETHODCALLTYPE VistaCallback::Release()
{
    return 0;
}

HRESULT STDMETHODCALLTYPE VistaCallback::OnNotify(AUDIO_VOLUME_NOTIFICATION_DATA*)
{
    // Safe from any thread: posts one message to the message thread, merging repeats.
    owner.sendChangeMessage();
    return S_OK;
}
