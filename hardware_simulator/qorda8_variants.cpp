// Which QORDA-8 the simulated builds, the demo and the benchmark plug in.
#include <string>

#include "hardware_simulator/profiles.h"

namespace hardware_simulator {

bool ChosenQorda8(Device* device)
{
    char variant[16] = {};
    DWORD length = GetEnvironmentVariableA("KASKADE_SIM_QORDA8", variant, sizeof(variant));
    std::string name = length < sizeof(variant) ? variant : "?";
    if (name.empty() || name == "uac1") {
        *device = Qorda8();
        return true;
    }
    if (name != "uac2") return false;
    *device = Qorda8UsbAudio2();
    return true;
}

}  // namespace hardware_simulator
