// Linked into the simulated builds only: the hardware simulator's default machine is
// plugged in while the DLL is loaded, before any host can create the driver object,
// and unplugged (with its registry keys) when the DLL unloads. The driver's own
// process-detach work runs first, so it still finds the devices it closes.
#include "hardware_simulator/hardware_simulator.h"

namespace {

struct DefaultMachine {
    // A machine whose registry keys could not be written shows no device, which is what
    // a host would see on such a system: the driver runs on without it.
    DefaultMachine() { static_cast<void>(hardware_simulator::InstallDefaultMachine()); }
    ~DefaultMachine() { hardware_simulator::Clear(); }
};

const DefaultMachine PluggedIn;

}  // namespace
