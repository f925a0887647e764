// CoCreateInstance as the simulated machine answers it: the multimedia device
// enumerator is the only class it serves.
#include "volume_panel/backend/audio_services.h"
#include "volume_panel/backend/core_audio_ids.h"
#include "volume_panel/simulator/simulated_device.h"

namespace audio_services {

HRESULT CoCreateInstance(REFCLSID classId, IUnknown* outer, DWORD, REFIID interfaceId, void** object)
{
    auto& state = simulated_audio::SimulatorState::instance();
    {
        const std::lock_guard<std::mutex> lock(state.mutex);
        if (! state.answer("CoCreateInstance"))
            return E_FAIL;
    }
    if (object == nullptr)
        return E_POINTER;
    *object = nullptr;
    if (! IsEqualCLSID(classId, volume::mmDeviceEnumeratorClassId))
        return REGDB_E_CLASSNOTREG;
    if (outer != nullptr)
        return CLASS_E_NOAGGREGATION;

    auto* enumerator = new simulated_audio::SimulatedEnumerator();
    const HRESULT result = enumerator->QueryInterface(interfaceId, object);
    enumerator->Release();
    return result;
}

}  // namespace audio_services
