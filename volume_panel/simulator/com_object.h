// The IUnknown part of every simulated Core Audio object: real reference counting, and
// a count of the objects alive so that tests can see leaks.
#pragma once

#include "volume_panel/simulator/simulator_state.h"

#include <atomic>

namespace simulated_audio {

template <typename Interface>
class ComObject : public Interface
{
public:
    ComObject() { ++SimulatorState::instance().liveComObjects; }
    virtual ~ComObject() { --SimulatorState::instance().liveComObjects; }

    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID interfaceId, void** object) override
    {
        if (object == nullptr)
            return E_POINTER;

        if (IsEqualIID(interfaceId, __uuidof(IUnknown)) || IsEqualIID(interfaceId, __uuidof(Interface)))
        {
            *object = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }

        *object = nullptr;
        return E_NOINTERFACE;
    }

    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }

    ULONG STDMETHODCALLTYPE Release() override
    {
        const ULONG left = --references;
        if (left == 0)
            delete this;
        return left;
    }

private:
    std::atomic<ULONG> references { 1 };
};

}  // namespace simulated_audio
