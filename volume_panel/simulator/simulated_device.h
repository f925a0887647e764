// The Core Audio device objects of the simulated machine: the enumerator, a collection
// of endpoints, one endpoint device and its read-only property store.
#pragma once

#include "volume_panel/simulator/com_object.h"

#include <mmdeviceapi.h>
#include <propsys.h>

#include <vector>

namespace simulated_audio {

class SimulatedEnumerator : public ComObject<IMMDeviceEnumerator>
{
public:
    HRESULT STDMETHODCALLTYPE EnumAudioEndpoints(EDataFlow flow, DWORD stateMask,
                                                 IMMDeviceCollection** devices) override;
    HRESULT STDMETHODCALLTYPE GetDefaultAudioEndpoint(EDataFlow flow, ERole role, IMMDevice** device) override;
    HRESULT STDMETHODCALLTYPE GetDevice(LPCWSTR id, IMMDevice** device) override;
    HRESULT STDMETHODCALLTYPE RegisterEndpointNotificationCallback(IMMNotificationClient* client) override;
    HRESULT STDMETHODCALLTYPE UnregisterEndpointNotificationCallback(IMMNotificationClient* client) override;
};

class SimulatedCollection : public ComObject<IMMDeviceCollection>
{
public:
    explicit SimulatedCollection(std::vector<EndpointAddress> endpoints);

    HRESULT STDMETHODCALLTYPE GetCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE Item(UINT index, IMMDevice** device) override;

private:
    const std::vector<EndpointAddress> endpoints;
};

class SimulatedDevice : public ComObject<IMMDevice>
{
public:
    explicit SimulatedDevice(const EndpointAddress& address);

    HRESULT STDMETHODCALLTYPE Activate(REFIID interfaceId, DWORD context, PROPVARIANT* parameters,
                                       void** object) override;
    HRESULT STDMETHODCALLTYPE OpenPropertyStore(DWORD access, IPropertyStore** properties) override;
    HRESULT STDMETHODCALLTYPE GetId(LPWSTR* id) override;
    HRESULT STDMETHODCALLTYPE GetState(DWORD* state) override;

    static std::wstring idOf(const EndpointAddress& address);

private:
    const EndpointAddress address;
};

class SimulatedPropertyStore : public ComObject<IPropertyStore>
{
public:
    explicit SimulatedPropertyStore(std::wstring friendlyName);

    HRESULT STDMETHODCALLTYPE GetCount(DWORD* count) override;
    HRESULT STDMETHODCALLTYPE GetAt(DWORD index, PROPERTYKEY* key) override;
    HRESULT STDMETHODCALLTYPE GetValue(REFPROPERTYKEY key, PROPVARIANT* value) override;
    HRESULT STDMETHODCALLTYPE SetValue(REFPROPERTYKEY key, REFPROPVARIANT value) override;
    HRESULT STDMETHODCALLTYPE Commit() override;

private:
    const std::wstring friendlyName;
};

}  // namespace simulated_audio
