// The mixer services of the shipped program: straight calls into the system.
#include "volume_panel/backend/audio_services.h"

#include <objbase.h>

namespace audio_services {

UINT mixerGetNumDevs()
{
    return ::mixerGetNumDevs();
}

MMRESULT mixerGetDevCapsA(UINT_PTR mixerId, MIXERCAPSA* caps, UINT capsSize)
{
    return ::mixerGetDevCapsA(mixerId, caps, capsSize);
}

MMRESULT mixerOpen(HMIXER* mixer, UINT mixerId, DWORD_PTR callback, DWORD_PTR instance, DWORD flags)
{
    return ::mixerOpen(mixer, mixerId, callback, instance, flags);
}

MMRESULT mixerGetLineInfoA(HMIXEROBJ mixer, MIXERLINEA* line, DWORD flags)
{
    return ::mixerGetLineInfoA(mixer, line, flags);
}

MMRESULT mixerGetLineControlsA(HMIXEROBJ mixer, MIXERLINECONTROLSA* controls, DWORD flags)
{
    return ::mixerGetLineControlsA(mixer, controls, flags);
}

MMRESULT mixerGetControlDetailsA(HMIXEROBJ mixer, MIXERCONTROLDETAILS* details, DWORD flags)
{
    return ::mixerGetControlDetailsA(mixer, details, flags);
}

MMRESULT mixerSetControlDetails(HMIXEROBJ mixer, MIXERCONTROLDETAILS* details, DWORD flags)
{
    return ::mixerSetControlDetails(mixer, details, flags);
}

MMRESULT mixerClose(HMIXER mixer)
{
    return ::mixerClose(mixer);
}

HRESULT CoCreateInstance(REFCLSID classId, IUnknown* outer, DWORD context, REFIID interfaceId, void** object)
{
    return ::CoCreateInstance(classId, outer, context, interfaceId, object);
}

BOOL GetVersionExA(OSVERSIONINFOA* version)
{
    return ::GetVersionExA(version);
}

}  // namespace audio_services
