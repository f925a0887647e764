// The simulated Windows audio of the QORDA-8 for tests and the demo: the machine's
// devices as WinMM mixers and Core Audio endpoints, behind the volume panel's
// audio_services layer. It keeps each line's level and mute, can lack a control, can
// be unplugged and replugged, can fail any call on demand, delivers endpoint change
// notifications from a thread of its own, and logs the calls it answers.
#pragma once

#include "volume_panel/backend/direction.h"

#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

namespace simulated_audio {

using volume::Direction;

// One direction of a device: its WinMM mixer line and its Core Audio endpoint.
struct Line
{
    float level = 0.5f;   // 0.0 to 1.0; the mixer shows level × 65535, rounded
    DWORD muteValue = 0;  // as the mixer's mute control and GetMute report it
    bool hasVolumeControl = true;
    bool hasMuteControl = true;
    bool endpointEnabled = true;  // a disabled endpoint is not among the active ones
};

struct Device
{
    std::string mixerName;  // the mixer's product name, at most 31 characters
    std::wstring captureEndpointName;
    std::wstring renderEndpointName;
    bool plugged = true;
    Line lines[2];  // indexed by Direction
};

struct WindowsVersion
{
    DWORD platformId;
    DWORD majorVersion;
    DWORD minorVersion;
};

inline constexpr WindowsVersion windows98 { VER_PLATFORM_WIN32_WINDOWS, 4, 10 };
inline constexpr WindowsVersion windows2000 { VER_PLATFORM_WIN32_NT, 5, 0 };
inline constexpr WindowsVersion windowsXP { VER_PLATFORM_WIN32_NT, 5, 1 };
inline constexpr WindowsVersion windowsVista { VER_PLATFORM_WIN32_NT, 6, 0 };
inline constexpr WindowsVersion windows7 { VER_PLATFORM_WIN32_NT, 6, 1 };
// What Windows 8 and later report to a program whose manifest lists no systems.
inline constexpr WindowsVersion windows8OrLater { VER_PLATFORM_WIN32_NT, 6, 2 };

struct Machine
{
    WindowsVersion version = windows7;
    std::vector<Device> devices;  // mixers and endpoints are listed in this order
};

Device qorda8();
Device onboardCodec();
// The onboard codec, then the QORDA-8; the simulated program starts with this machine
// running the Windows version that the system it runs on reports.
Machine standardMachine(WindowsVersion version = windows7);
WindowsVersion versionOfThisSystem();

// Replaces the machine; interfaces handed out before answer as for a removed device.
// Clears the failures, the log and the notification counters.
void installMachine(const Machine& machine);
Machine currentMachine();

// Changes made outside the program (the Windows volume control, the device's knobs):
// the endpoint notifies the callbacks registered on it.
void changeLine(std::size_t device, Direction direction, float level, DWORD muteValue);
void setPlugged(std::size_t device, bool plugged);
void setEndpointEnabled(std::size_t device, Direction direction, bool enabled);

// From now on every call of this name fails ("mixerOpen", "SetMute", "Activate", ...).
void failCall(const std::string& name);
void clearFailures();

// One line per call answered, such as "SetMute Speakers (Velmora QORDA-8) 1". When the
// environment variable VOLUME_PANEL_SIMULATOR_LOG names a file, every line is appended
// to it too, so that a test can watch a running program.
std::vector<std::string> callLog();
// The logged calls that begin with prefix.
std::vector<std::string> callsStartingWith(const std::string& prefix);
void clearCallLog();

// Blocks until every notification queued so far has been delivered.
void waitForNotifications();
int notificationsDelivered();

// Book-keeping that shows leaks and unsafe tear-down.
int liveComObjects();
int openMixers();
int registeredCallbacks();
// Registrations whose endpoint interface was released first: the callback would still
// be called after its owner let go of the endpoint.
int registrationsOnReleasedEndpoints();

}  // namespace simulated_audio
