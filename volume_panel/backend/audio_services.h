// The back-end's one door to the Windows mixer services: WinMM's mixer functions, the
// creation of the Core Audio device enumerator (whose objects then carry every further
// endpoint call), and the Windows version the program is told. The shipped program links
// the real system calls (audio_services_windows.cpp); tests and the demo link the
// simulated QORDA-8 (volume_panel/simulator), which answers these calls as Windows does.
//
// Each function behaves as the system function of the same name: same arguments,
// results and error codes.
#pragma once

#include <windows.h>
#include <mmsystem.h>
#include <unknwn.h>

namespace audio_services {

UINT mixerGetNumDevs();
MMRESULT mixerGetDevCapsA(UINT_PTR mixerId, MIXERCAPSA* caps, UINT capsSize);
MMRESULT mixerOpen(HMIXER* mixer, UINT mixerId, DWORD_PTR callback, DWORD_PTR instance, DWORD flags);
MMRESULT mixerGetLineInfoA(HMIXEROBJ mixer, MIXERLINEA* line, DWORD flags);
MMRESULT mixerGetLineControlsA(HMIXEROBJ mixer, MIXERLINECONTROLSA* controls, DWORD flags);
MMRESULT mixerGetControlDetailsA(HMIXEROBJ mixer, MIXERCONTROLDETAILS* details, DWORD flags);
MMRESULT mixerSetControlDetails(HMIXEROBJ mixer, MIXERCONTROLDETAILS* details, DWORD flags);
MMRESULT mixerClose(HMIXER mixer);

HRESULT CoCreateInstance(REFCLSID classId, IUnknown* outer, DWORD context, REFIID interfaceId, void** object);

BOOL GetVersionExA(OSVERSIONINFOA* version);

}  // namespace audio_services
