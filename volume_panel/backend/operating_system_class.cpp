#include "volume_panel/backend/operating_system_class.h"

#include "volume_panel/backend/audio_services.h"

namespace volume {

OperatingSystemClass classifyOperatingSystem(DWORD platformId, DWORD majorVersion, DWORD minorVersion)
{
    if (platformId == VER_PLATFORM_WIN32_WINDOWS)
        return OperatingSystemClass::windows98;

    if (platformId != VER_PLATFORM_WIN32_NT)
        return OperatingSystemClass::unclassified;

    if (majorVersion == 5)
        return minorVersion == 0 ? OperatingSystemClass::windows2000 : OperatingSystemClass::windowsXP;

    if (majorVersion == 6)
        return minorVersion == 0 ? OperatingSystemClass::windowsVista : OperatingSystemClass::windows7;

    return OperatingSystemClass::unclassified;
}

OperatingSystemClass currentOperatingSystemClass()
{
    OSVERSIONINFOA version {};
    version.dwOSVersionInfoSize = sizeof(version);

    if (! audio_services::GetVersionExA(&version))
        return OperatingSystemClass::unclassified;

    return classifyOperatingSystem(version.dwPlatformId, version.dwMajorVersion, version.dwMinorVersion);
}

bool usesEndpointVolume(OperatingSystemClass osClass)
{
    return osClass == OperatingSystemClass::windowsVista || osClass == OperatingSystemClass::windows7;
}

}  // namespace volume
