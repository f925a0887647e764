#include "volume_panel/simulator/simulated_device.h"

#include "volume_panel/backend/core_audio_ids.h"
#include "volume_panel/simulator/simulated_endpoint_volume.h"

#include <audioclient.h>

#include <cstring>

namespace simulated_audio {
namespace {

SimulatorState& state()
{
    return SimulatorState::instance();
}

LPWSTR copyToTaskMemory(const std::wstring& text)
{
    const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    auto* copy = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
    if (copy != nullptr)
        std::memcpy(copy, text.c_str(), bytes);
    return copy;
}

DWORD stateOf(const EndpointAddress& address)
{
    if (! state().isPresent(address) || ! state().machine.devices[address.device].plugged)
        return DEVICE_STATE_UNPLUGGED;
    return state().isActive(address) ? DEVICE_STATE_ACTIVE : DEVICE_STATE_DISABLED;
}

}  // namespace

HRESULT STDMETHODCALLTYPE SimulatedEnumerator::EnumAudioEndpoints(EDataFlow flow, DWORD stateMask,
                                                                  IMMDeviceCollection** devices)
{
    const std::lock_guard<std::mutex> lock(state().mutex);
    if (! state().answer("EnumAudioEndpoints", flow == eCapture ? "capture" : flow == eRender ? "render" : "all"))
        return E_FAIL;
    if (devices == nullptr)
        return E_POINTER;
    if (flow != eCapture && flow != eRender && flow != eAll)
        return E_INVALIDARG;

    std::vector<EndpointAddress> endpoints;
    for (std::size_t device = 0; device < state().machine.devices.size(); ++device)
        for (const Direction direction : { Direction::output, Direction::input })
        {
            const bool flowMatches = flow == eAll || (flow == eCapture) == (direction == Direction::input);
            const EndpointAddress address = state().addressOf(device, direction);
            if (flowMatches && (stateOf(address) & stateMask) != 0)
                endpoints.push_back(address);
        }

    *devices = new SimulatedCollection(std::move(endpoints));
    return S_OK;
}

HRESULT STDMETHODCALLTYPE SimulatedEnumerator::GetDefaultAudioEndpoint(EDataFlow flow, ERole, IMMDevice** device)
{
    const std::lock_guard<std::mutex> lock(state().mutex);
    if (! state().answer("GetDefaultAudioEndpoint"))
        return E_FAIL;
    if (device == nullptr)
        return E_POINTER;
    if (flow != eCapture && flow != eRender)
        return E_INVALIDARG;

    // The first active endpoint of the flow is the default one.
    const Direction direction = flow == eCapture ? Direction::input : Direction::output;
    for (std::size_t index = 0; index < state().machine.devices.size(); ++index)
    {
        const EndpointAddress address = state().addressOf(index, direction);
        if (state().isActive(address))
        {
            *device = new SimulatedDevice(address);
            return S_OK;
        }
    }
    *device = nullptr;
    return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
}

HRESULT STDMETHODCALLTYPE SimulatedEnumerator::GetDevice(LPCWSTR id, IMMDevice** device)
{
    const std::lock_guard<std::mutex> lock(state().mutex);
    if (! state().answer("GetDevice"))
        return E_FAIL;
    if (id == nullptr || device == nullptr)
        return E_POINTER;

    for (std::size_t index = 0; index < state().machine.devices.size(); ++index)
        for (const Direction direction : { Direction::output, Direction::input })
        {
            const EndpointAddress address = state().addressOf(index, direction);
            if (SimulatedDevice::idOf(address) == id)
            {
                *device = new SimulatedDevice(address);
                return S_OK;
            }
        }
    *device = nullptr;
    return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
}

// Device arrival and removal are not announced: the panel's periodic refresh finds them.
HRESULT STDMETHODCALLTYPE SimulatedEnumerator::RegisterEndpointNotificationCallback(IMMNotificationClient*)
{
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE SimulatedEnumerator::UnregisterEndpointNotificationCallback(IMMNotificationClient*)
{
    return E_NOTIMPL;
}

SimulatedCollection::SimulatedCollection(std::vector<EndpointAddress> endpointsFound)
    : endpoints(std::move(endpointsFound))
{
}

HRESULT STDMETHODCALLTYPE SimulatedCollection::GetCount(UINT* count)
{
    const std::lock_guard<std::mutex> lock(state().mutex);
    if (! state().answer("GetCount"))
        return E_FAIL;
    if (count == nullptr)
        return E_POINTER;

    *count = static_cast<UINT>(endpoints.size());
    return S_OK;
}

HRESULT STDMETHODCALLTYPE SimulatedCollection::Item(UINT index, IMMDevice** device)
{
    const std::lock_guard<std::mutex> lock(state().mutex);
    if (! state().answer("Item", std::to_string(index)))
        return E_FAIL;
    if (device == nullptr)
        return E_POINTER;
    if (index >= endpoints.size())
    {
        *device = nullptr;
        return E_INVALIDARG;
    }

    *device = new SimulatedDevice(endpoints[index]);
    return S_OK;
}

SimulatedDevice::SimulatedDevice(const EndpointAddress& endpointAddress)
    : address(endpointAddress)
{
}

std::wstring SimulatedDevice::idOf(const EndpointAddress& address)
{
    return L"{0.0." + std::to_wstring(address.direction == Direction::input ? 1 : 0) + L".00000000}.{velmora-sim-"
           + std::to_wstring(address.device) + L"}";
}

HRESULT STDMETHODCALLTYPE SimulatedDevice::Activate(REFIID interfaceId, DWORD, PROPVARIANT*, void** object)
{
    const std::lock_guard<std::mutex> lock(state().mutex);
    if (! state().answer("Activate", narrow(state().endpointName(address))))
        return E_FAIL;
    if (object == nullptr)
        return E_POINTER;
    *object = nullptr;
    if (! state().isActive(address))
        return AUDCLNT_E_DEVICE_INVALIDATED;
    if (! IsEqualIID(interfaceId, volume::audioEndpointVolumeInterfaceId))
        return E_NOINTERFACE;

    *object = static_cast<IAudioEndpointVolume*>(new SimulatedEndpointVolume(address));
    return S_OK;
}

HRESULT STDMETHODCALLTYPE SimulatedDevice::OpenPropertyStore(DWORD access, IPropertyStore** properties)
{
    const std::lock_guard<std::mutex> lock(state().mutex);
    if (! state().answer("OpenPropertyStore"))
        return E_FAIL;
    if (properties == nullptr)
        return E_POINTER;
    if (access != STGM_READ)
        return E_ACCESSDENIED;

    *properties = new SimulatedPropertyStore(state().endpointName(address));
    return S_OK;
}

HRESULT STDMETHODCALLTYPE SimulatedDevice::GetId(LPWSTR* id)
{
    const std::lock_guard<std::mutex> lock(state().mutex);
    if (! state().answer("GetId"))
        return E_FAIL;
    if (id == nullptr)
        return E_POINTER;

    *id = copyToTaskMemory(idOf(address));
    return *id != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT STDMETHODCALLTYPE SimulatedDevice::GetState(DWORD* deviceState)
{
    const std::lock_guard<std::mutex> lock(state().mutex);
    if (! state().answer("GetState"))
        return E_FAIL;
    if (deviceState == nullptr)
        return E_POINTER;

    *deviceState = stateOf(address);
    return S_OK;
}

SimulatedPropertyStore::SimulatedPropertyStore(std::wstring name)
    : friendlyName(std::move(name))
{
}

HRESULT STDMETHODCALLTYPE SimulatedPropertyStore::GetCount(DWORD* count)
{
    if (count == nullptr)
        return E_POINTER;
    *count = 1;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE SimulatedPropertyStore::GetAt(DWORD index, PROPERTYKEY* key)
{
    if (key == nullptr)
        return E_POINTER;
    if (index != 0)
        return E_INVALIDARG;
    *key = volume::deviceFriendlyNameKey;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE SimulatedPropertyStore::GetValue(REFPROPERTYKEY key, PROPVARIANT* value)
{
    {
        const std::lock_guard<std::mutex> lock(state().mutex);
        if (! state().answer("GetValue"))
            return E_FAIL;
    }
    if (value == nullptr)
        return E_POINTER;

    PropVariantInit(value);
    if (IsEqualGUID(key.fmtid, volume::deviceFriendlyNameKey.fmtid) && key.pid == volume::deviceFriendlyNameKey.pid)
    {
        value->pwszVal = copyToTaskMemory(friendlyName);
        if (value->pwszVal == nullptr)
            return E_OUTOFMEMORY;
        value->vt = VT_LPWSTR;
    }
    return S_OK;
}

// Opened for reading only.
HRESULT STDMETHODCALLTYPE SimulatedPropertyStore::SetValue(REFPROPERTYKEY, REFPROPVARIANT)
{
    return STG_E_ACCESSDENIED;
}

HRESULT STDMETHODCALLTYPE SimulatedPropertyStore::Commit()
{
    return STG_E_ACCESSDENIED;
}

}  // namespace simulated_audio
