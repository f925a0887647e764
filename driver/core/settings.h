// User settings in the registry under HKEY_CURRENT_USER\SOFTWARE\<driver name>: a
// "Defaults" layer shared by every host and a layer per host program, named by its
// HostHash. Reads take "Defaults" first and let the host layer override it; writes go
// to the host layer. In setup mode both go to "Defaults" alone. Only REG_DWORD values
// of 4 bytes are read; anything else stored under a setting's name counts as missing.
#pragma once

#include <windows.h>

#include "driver/core/device_tree.h"
#include "driver/core/flag_words.h"

constexpr DWORD DefaultSampleRate = 44100;
constexpr DWORD DefaultControlPanelPosition = 0x00060006;

// Device settings a new device record starts with; a real-time device has its own.
constexpr DWORD DefaultBufferPosition = 10;  // milliseconds
constexpr DWORD RealTimeBufferPosition = 4;
constexpr DWORD RealTimeBufferSize = 512;  // samples

// REG_SZ value of a host layer's own key: the path of the program the layer belongs to.
constexpr char HostProgramValueName[] = "Program";

// The global settings ("Flags", "SampleRate", "WndPos").
extern DWORD GlobalSettingsFlags;
extern DWORD GlobalSampleRate;
extern DWORD ControlPanelPosition;

// True while the driver is initialised by a configuration program in setup mode.
extern bool SetupModeSwitch;

// Starts from the built-in values, then "Defaults", then the host layer (not in setup
// mode). The crash marker is taken from the host layer only.
void LoadGlobalSettings();
// In setup mode the crash marker is left out: "Defaults" never carries it.
void SaveGlobalSettings();

// `record` must be linked into the device tree: its key path comes from the device,
// filter and pin that contain it. A record outside the tree is left alone. A device's
// numbers start every load from its defaults; a stored "LtcyIn" or "LtcyOut" beyond
// LongestExtraLatency counts as missing. A record's "Flags" missing from both layers
// keeps the record's own.
void LoadRecordSettings(TreeRecord* record);
void SaveRecordSettings(TreeRecord* record);

// One 32-bit value of the key of `device`, `filter` and `pin` (trailing ones may be
// null; all null for the global key). A value missing from both layers, or not a
// 4-byte REG_DWORD, leaves `*value` as it was.
void ReadSettingValue(DeviceRecord* device, FilterRecord* filter, PinRecord* pin, const char* name, DWORD* value);
void WriteSettingValue(DeviceRecord* device, FilterRecord* filter, PinRecord* pin, const char* name,
                       const DWORD* value);

// One global value of this program's own layer, in setup mode too.
void ReadHostLayerValue(const char* name, DWORD* value);
void WriteHostLayerValue(const char* name, const DWORD* value);

// OEM defaults of a device record that enumeration has just built, before its
// settings are loaded.
void ApplyDeviceDefaults(DeviceRecord* device);
