#include "driver/core/crash_recovery.h"

#include <windows.h>

#include "driver/core/settings.h"
#include "driver/engine/engine_state.h"

namespace {

// The marker belongs to the layer of the program holding the driver. Outside setup mode
// the global settings are saved there anyway; in setup mode they go to "Defaults",
// which every host reads, so the marker is kept in the program's own layer apart.
bool MarkerSet()
{
    if (!SetupModeSwitch) return (GlobalSettingsFlags & GlobalFlagCrashMarker) != 0;
    DWORD flags = 0;
    ReadHostLayerValue("Flags", &flags);
    return (flags & GlobalFlagCrashMarker) != 0;
}

// Stores the marker and forces it to disk, so that its state survives a crash of the
// machine that follows.
void StoreMarker(bool set)
{
    if (SetupModeSwitch) {
        DWORD flags = GlobalSettingsFlags;  // what the layer starts from when it has no flags yet
        ReadHostLayerValue("Flags", &flags);
        flags = set ? flags | GlobalFlagCrashMarker : flags & ~GlobalFlagCrashMarker;
        WriteHostLayerValue("Flags", &flags);
    } else {
        GlobalSettingsFlags =
            set ? GlobalSettingsFlags | GlobalFlagCrashMarker : GlobalSettingsFlags & ~GlobalFlagCrashMarker;
        SaveGlobalSettings();
    }
    RegFlushKey(HKEY_CURRENT_USER);
}

}  // namespace

void ArmCrashGuard()
{
    if (!(GlobalSettingsFlags & GlobalFlagCrashGuard)) return;
    if (MarkerSet()) {
        AudioDisabled = true;
        MessageBoxA(nullptr, "Improper shutdown detected! Audio disabled! Please check the ASIO Driver control panel!",
                    "ASIO Driver Crash Recovery", MB_OK);
    }
    StoreMarker(true);
}

void DisarmCrashGuard()
{
    if (!(GlobalSettingsFlags & GlobalFlagCrashGuard)) return;
    StoreMarker(false);
}

void ClearAudioDisabled()
{
    AudioDisabled = false;
}
