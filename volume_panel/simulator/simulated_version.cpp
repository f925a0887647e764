// GetVersionExA as the simulated machine answers it: the version its Windows reports
// to a program whose manifest lists no supported systems.
#include "volume_panel/backend/audio_services.h"
#include "volume_panel/simulator/simulator_state.h"

#include <cstring>

namespace audio_services {

BOOL GetVersionExA(OSVERSIONINFOA* version)
{
    auto& state = simulated_audio::SimulatorState::instance();
    const std::lock_guard<std::mutex> lock(state.mutex);
    state.answer("GetVersionExA");

    if (version == nullptr
        || (version->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA)
            && version->dwOSVersionInfoSize != sizeof(OSVERSIONINFOEXA)))
    {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }

    const simulated_audio::WindowsVersion& reported = state.machine.version;
    version->dwMajorVersion = reported.majorVersion;
    version->dwMinorVersion = reported.minorVersion;
    version->dwPlatformId = reported.platformId;
    version->dwBuildNumber = reported.majorVersion >= 6 ? 6000 + reported.minorVersion * 1600 : 2600;
    std::memset(version->szCSDVersion, 0, sizeof(version->szCSDVersion));
    return TRUE;
}

}  // namespace audio_services
