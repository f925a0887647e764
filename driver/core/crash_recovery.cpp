#include "driver/core/crash_recovery.h"

#include <windows.h>

#include "driver/core/settings.h"
#include "driver/engine/engine_state.h"

namespace {

// Saves the global settings and forces them to disk, so the marker's state survives a
// crash of the machine that follows.
void PersistGlobalSettings()
{
    SaveGlobalSettings();
    RegFlushKey(HKEY_CURRENT_USER);
}

}  // namespace

void ArmCrashGuard()
{
    if (!(GlobalSettingsFlags & GlobalFlagCrashGuard)) return;
    if (GlobalSettingsFlags & GlobalFlagCrashMarker) {
        AudioDisabled = true;
        MessageBoxA(nullptr, "Improper shutdown detected! Audio disabled! Please check the ASIO Driver control panel!",
                    "ASIO Driver Crash Recovery", MB_OK);
    }
    GlobalSettingsFlags |= GlobalFlagCrashMarker;
    PersistGlobalSettings();
}

void DisarmCrashGuard()
{
    if (!(GlobalSettingsFlags & GlobalFlagCrashGuard)) return;
    GlobalSettingsFlags &= ~GlobalFlagCrashMarker;
    PersistGlobalSettings();
}

void ClearAudioDisabled()
{
    AudioDisabled = false;
}
