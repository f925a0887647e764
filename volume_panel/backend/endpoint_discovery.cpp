#include "volume_panel/backend/endpoint_discovery.h"

#include "volume_panel/backend/ansi_text.h"
#include "volume_panel/backend/audio_services.h"
#include "volume_panel/backend/com_pointer.h"
#include "volume_panel/backend/core_audio_ids.h"

#include <mmdeviceapi.h>
#include <propidl.h>

namespace volume {
namespace {

// What one endpoint of the collection holds while it is looked at; freed on every way out.
struct EndpointCandidate
{
    EndpointCandidate() { PropVariantInit(&friendlyName); }

    ~EndpointCandidate()
    {
        CoTaskMemFree(id);
        PropVariantClear(&friendlyName);
    }

    EndpointCandidate(const EndpointCandidate&) = delete;
    EndpointCandidate& operator=(const EndpointCandidate&) = delete;

    bool nameContains(const std::string& wanted) const
    {
        return friendlyName.vt == VT_LPWSTR && friendlyName.pwszVal != nullptr
               && toAnsi(friendlyName.pwszVal).find(wanted) != std::string::npos;
    }

    ComPointer<IMMDevice> device;
    LPWSTR id = nullptr;
    ComPointer<IPropertyStore> properties;
    PROPVARIANT friendlyName;
};

IAudioEndpointVolume* failDiscovery()
{
    OutputDebugStringA("Error!\n");
    return nullptr;
}

}  // namespace

IAudioEndpointVolume* discoverEndpoint(const juce::String& deviceName, Direction direction,
                                       IAudioEndpointVolumeCallback* callback)
{
    ComPointer<IMMDeviceEnumerator> enumerator;
    if (FAILED(audio_services::CoCreateInstance(mmDeviceEnumeratorClassId, nullptr, CLSCTX_ALL,
                                                mmDeviceEnumeratorInterfaceId, enumerator.putVoid())))
        return failDiscovery();

    ComPointer<IMMDeviceCollection> collection;
    const EDataFlow flow = direction == Direction::input ? eCapture : eRender;
    if (FAILED(enumerator->EnumAudioEndpoints(flow, DEVICE_STATE_ACTIVE, collection.put())))
        return failDiscovery();

    UINT count = 0;
    if (FAILED(collection->GetCount(&count)))
        return failDiscovery();
    if (count == 0)
        OutputDebugStringA("No endpoints found.\n");

    const std::string wanted = toAnsi(deviceName);
    for (UINT index = 0; index < count; ++index)
    {
        EndpointCandidate candidate;
        if (FAILED(collection->Item(index, candidate.device.put())) || FAILED(candidate.device->GetId(&candidate.id))
            || FAILED(candidate.device->OpenPropertyStore(STGM_READ, candidate.properties.put()))
            || FAILED(candidate.properties->GetValue(deviceFriendlyNameKey, &candidate.friendlyName)))
            return failDiscovery();

        if (! candidate.nameContains(wanted))
            continue;

        ComPointer<IAudioEndpointVolume> endpoint;
        if (FAILED(candidate.device->Activate(audioEndpointVolumeInterfaceId, CLSCTX_INPROC_SERVER, nullptr,
                                              endpoint.putVoid())))
            return failDiscovery();
        candidate.device.reset();

        // An endpoint the callback could not be registered on is not kept.
        if (FAILED(endpoint->RegisterControlChangeNotify(callback)))
            return failDiscovery();

        return endpoint.release();
    }

    return nullptr;
}

}  // namespace volume
