#include "volume_panel/simulator/simulated_audio.h"

namespace simulated_audio {

Device qorda8()
{
    Device device;
    device.mixerName = "Velmora QORDA-8";
    device.captureEndpointName = L"Line (Velmora QORDA-8)";
    device.renderEndpointName = L"Speakers (Velmora QORDA-8)";
    device.lines[static_cast<int>(Direction::input)].level = 0.6f;
    device.lines[static_cast<int>(Direction::output)].level = 0.8f;
    return device;
}

Device onboardCodec()
{
    Device device;
    device.mixerName = "Realtek HD Audio output";
    device.captureEndpointName = L"Microphone (Realtek High Definition Audio)";
    device.renderEndpointName = L"Speakers (Realtek High Definition Audio)";
    device.lines[static_cast<int>(Direction::input)].level = 0.3f;
    device.lines[static_cast<int>(Direction::output)].level = 0.4f;
    return device;
}

WindowsVersion versionOfThisSystem()
{
    OSVERSIONINFOA version {};
    version.dwOSVersionInfoSize = sizeof(version);
    if (! ::GetVersionExA(&version))
        return windows7;
    return { version.dwPlatformId, version.dwMajorVersion, version.dwMinorVersion };
}

Machine standardMachine(WindowsVersion version)
{
    Machine machine;
    machine.version = version;
    machine.devices = { onboardCodec(), qorda8() };
    return machine;
}

}  // namespace simulated_audio
