// Linked into the simulated builds only: the hardware simulator's default machine is
// plugged in while the DLL is loaded, before any host can create the driver object,
// and unplugged (with its registry keys) when the DLL unloads. The driver's own
// process-detach work runs first, so it still finds the devices it closes.
//
// No request log is kept: hosts stream through it for as long as they like.
//
// Both devices' outputs are looped back to their inputs 32 frames later (0.7 ms at
// 44.1 kHz), about what a USB interface's converters and FIFOs add, and their clock
// runs from the first filter a host opens, so that it sees its outputs come back on
// its inputs.
//
// The environment of the host process chooses what is plugged in:
//   KASKADE_SIM_QORDA8=uac2   the QORDA-8 on the USB Audio 2.0 class driver (looped
//                             pins), instead of the USB Audio 1.0 one (packet pins)
//   KASKADE_SIM_HELD=1        the Windows audio engine holds every streaming pin of
//                             both devices, as when other programs play through them
#include <cstring>

#include "hardware_simulator/hardware_simulator.h"

namespace {

constexpr ULONG LoopbackLatencyFrames = 32;

bool EnvironmentSays(const char* name, const char* value)
{
    char text[16] = {};
    DWORD length = GetEnvironmentVariableA(name, text, sizeof(text));
    return length != 0 && length < sizeof(text) && std::strcmp(text, value) == 0;
}

// An unknown QORDA-8 variant plugs in none: the host sees the driver without it.
hardware_simulator::Machine ChosenMachine()
{
    hardware_simulator::Machine machine;
    hardware_simulator::Device qorda8;
    if (hardware_simulator::ChosenQorda8(&qorda8)) machine.devices.push_back(qorda8);
    machine.devices.push_back(hardware_simulator::QordaDeskPro());
    return machine;
}

struct DefaultMachine {
    // A machine whose registry keys could not be written shows no device, which is what
    // a host would see on such a system: the driver runs on without it.
    DefaultMachine()
    {
        static_cast<void>(hardware_simulator::Install(ChosenMachine()));
        hardware_simulator::KeepRequestLog(false);
        hardware_simulator::AnalogueSide loopback;
        loopback.inputs = hardware_simulator::InputSource::Loopback;
        loopback.loopbackLatencyFrames = LoopbackLatencyFrames;
        bool held = EnvironmentSays("KASKADE_SIM_HELD", "1");
        std::size_t devices = hardware_simulator::InstalledMachine().devices.size();
        for (std::size_t device = 0; device < devices; ++device) {
            hardware_simulator::SetAnalogueSide(device, loopback);
            for (ULONG pin : {hardware_simulator::UsbRenderPin, hardware_simulator::UsbCapturePin})
                hardware_simulator::HoldInAudioEngine(device, 0, pin, held);
        }
        hardware_simulator::StartDeviceClockAtFirstUse();
    }
    // Runs under the loader lock, where the clock needs stopping its own way.
    ~DefaultMachine()
    {
        hardware_simulator::StopDeviceClockInDllUnload();
        hardware_simulator::Clear();
    }
};

const DefaultMachine PluggedIn;

}  // namespace
