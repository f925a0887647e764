// Linked into the simulated builds only: the hardware simulator's default machine is
// plugged in while the DLL is loaded, before any host can create the driver object,
// and unplugged (with its registry keys) when the DLL unloads. The driver's own
// process-detach work runs first, so it still finds the devices it closes.
//
// No request log is kept: hosts stream through it for as long as they like.
//
// Both devices' outputs are looped back to their inputs 32 frames later (0.7 ms at
// 44.1 kHz), about what a USB interface's converters and FIFOs add, and their clock
// runs, so that a host sees its outputs come back on its inputs.
#include "hardware_simulator/hardware_simulator.h"

namespace {

constexpr ULONG LoopbackLatencyFrames = 32;

struct DefaultMachine {
    // A machine whose registry keys could not be written shows no device, which is what
    // a host would see on such a system: the driver runs on without it.
    DefaultMachine()
    {
        static_cast<void>(hardware_simulator::InstallDefaultMachine());
        hardware_simulator::KeepRequestLog(false);
        hardware_simulator::AnalogueSide loopback;
        loopback.inputs = hardware_simulator::InputSource::Loopback;
        loopback.loopbackLatencyFrames = LoopbackLatencyFrames;
        std::size_t devices = hardware_simulator::InstalledMachine().devices.size();
        for (std::size_t device = 0; device < devices; ++device) hardware_simulator::SetAnalogueSide(device, loopback);
        hardware_simulator::StartDeviceClock();
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
