// How the program classes the Windows it runs on. The class chooses the back-end's mode
// (the endpoint-volume service on Vista and 7, WinMM everywhere else) and the wording of
// the panel's advice for a level it cannot control.
#pragma once

#include <windows.h>

namespace volume {

enum class OperatingSystemClass { windows98, windows2000, windowsXP, windowsVista, windows7, unclassified };

// Classes the version Windows reports: NT 5.0 is 2000, other 5.x XP, 6.0 Vista, other
// 6.x 7, any other NT version unclassified; the 9x platform is 98.
OperatingSystemClass classifyOperatingSystem(DWORD platformId, DWORD majorVersion, DWORD minorVersion);

// The class of the running system, from the version Windows reports to this program.
// Without a list of supported systems in the manifest, Windows 8 and later report 6.2.
OperatingSystemClass currentOperatingSystemClass();

bool usesEndpointVolume(OperatingSystemClass osClass);

}  // namespace volume
