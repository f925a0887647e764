#include "driver/core/settings.h"

#include "driver/core/hash_name.h"
#include "driver/core/host_buffers.h"
#include "driver/core/module.h"
#include "driver/core/module_path.h"
#include "driver/core/oem_block.h"
#include "driver/core/oem_values.h"

static_assert(SmallestBufferSize == MinimumHostBufferSize && LargestBufferSize == MaximumHostBufferSize,
              "an OEM default buffer size is one that hosts are offered");

DWORD GlobalSettingsFlags = 0;
DWORD GlobalSampleRate = DefaultSampleRate;
DWORD ControlPanelPosition = DefaultControlPanelPosition;
bool SetupModeSwitch;

namespace {

constexpr char SettingsRoot[] = "SOFTWARE\\";
constexpr char DefaultsLayer[] = "Defaults";
constexpr SIZE_T HexPartLength = 1 + 8;  // "\" and 8 digits

// "SOFTWARE\", the longest driver name the OEM field holds, the layer and the device,
// filter and pin parts, each at most "\" and 8 characters, and the NUL.
constexpr SIZE_T SettingsPathSize = (sizeof(SettingsRoot) - 1) + (OemTextSize - 1) + 4 * HexPartLength + 1;

struct SettingsPath {
    char text[SettingsPathSize];
    SIZE_T length;
};

// The buffer is sized for the longest path, so the limit only matters for a driver
// name that a patch left without its NUL.
void AppendText(SettingsPath* path, const char* text, SIZE_T limit)
{
    for (SIZE_T i = 0; i < limit && text[i] != '\0'; ++i) path->text[path->length++] = text[i];
    path->text[path->length] = '\0';
}

void AppendHexPart(SettingsPath* path, DWORD number)
{
    static const char digits[] = "0123456789ABCDEF";
    path->text[path->length++] = '\\';
    for (int shift = 28; shift >= 0; shift -= 4) path->text[path->length++] = digits[(number >> shift) & 0xF];
    path->text[path->length] = '\0';
}

// The key of the shared layer (`sharedLayer`) or of this host's, for the global
// settings or for the record that the innermost present owner names.
void BuildSettingsPath(SettingsPath* path, bool sharedLayer, DeviceRecord* device, FilterRecord* filter, PinRecord* pin)
{
    path->length = 0;
    AppendText(path, SettingsRoot, sizeof(SettingsRoot) - 1);
    AppendText(path, OemConfig.driverName.text, OemTextSize - 1);
    if (sharedLayer) {
        path->text[path->length++] = '\\';
        AppendText(path, DefaultsLayer, sizeof(DefaultsLayer) - 1);
    } else {
        AppendHexPart(path, HostHash);
    }
    if (device == nullptr) return;
    AppendHexPart(path, device->deviceId);
    if (filter == nullptr) return;
    AppendHexPart(path, HashName(filter->detail != nullptr ? filter->detail->DevicePath : nullptr));
    if (pin == nullptr) return;
    AppendHexPart(path, pin->pinId);
}

bool OpenSettingsKey(const SettingsPath* path, HKEY* key)
{
    return RegCreateKeyExA(HKEY_CURRENT_USER, path->text, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key, nullptr) ==
           ERROR_SUCCESS;
}

// Only a REG_DWORD of 4 bytes counts: a value of another type or size (a hand edit, a
// text) is ignored as if missing. The query goes through a copy because a failed query
// may leave its buffer undefined.
bool QueryLayerValue(const SettingsPath* path, const char* name, DWORD* value)
{
    HKEY key;
    if (!OpenSettingsKey(path, &key)) return false;
    DWORD type = REG_NONE;
    DWORD stored = 0;
    DWORD size = sizeof(stored);
    bool found =
        RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&stored), &size) == ERROR_SUCCESS &&
        type == REG_DWORD && size == sizeof(stored);
    RegCloseKey(key);
    if (found) *value = stored;
    return found;
}

// Two-layer read in which a value above `highest` counts as missing.
void ReadLayers(DeviceRecord* device, FilterRecord* filter, PinRecord* pin, const char* name, DWORD* value,
                DWORD highest)
{
    SettingsPath path;
    DWORD stored;
    BuildSettingsPath(&path, true, device, filter, pin);
    if (QueryLayerValue(&path, name, &stored) && stored <= highest) *value = stored;
    if (SetupModeSwitch) return;
    BuildSettingsPath(&path, false, device, filter, pin);
    if (QueryLayerValue(&path, name, &stored) && stored <= highest) *value = stored;
}

void WriteLayerValue(bool sharedLayer, DeviceRecord* device, FilterRecord* filter, PinRecord* pin, const char* name,
                     const DWORD* value)
{
    SettingsPath path;
    BuildSettingsPath(&path, sharedLayer, device, filter, pin);
    HKEY key;
    if (!OpenSettingsKey(&path, &key)) return;
    RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(value), sizeof(DWORD));
    RegCloseKey(key);
}

// A host layer is named by a hash of the program's path; the path itself, kept beside
// the values, lets support see whose layer it is.
void NameHostLayer()
{
    ModulePath program;
    ReadModulePath(nullptr, &program);
    if (!program.complete) return;
    SettingsPath path;
    BuildSettingsPath(&path, false, nullptr, nullptr, nullptr);
    HKEY key;
    if (!OpenSettingsKey(&path, &key)) return;
    RegSetValueExA(key, HostProgramValueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(program.text),
                   program.length + 1);
    RegCloseKey(key);
}

// The five numbers of a device's settings.
struct DeviceValues {
    DWORD kernelBuffers;
    DWORD bufferPosition;
    DWORD latencyIn;
    DWORD latencyOut;
    DWORD bufferSize;
};

// What a device's numbers are before any layer has a say.
DeviceValues DefaultDeviceValues(const DeviceRecord* device)
{
    if (device->flags & RecordRealTime)
        return {OemConfig.kernelBuffers.value, RealTimeBufferPosition, 0, 0, RealTimeBufferSize};
    auto usableLatency = [](DWORD samples) { return samples <= LongestExtraLatency ? samples : 0; };
    return {OemConfig.kernelBuffers.value, DefaultBufferPosition, usableLatency(OemConfig.inputLatency.value),
            usableLatency(OemConfig.outputLatency.value), OemConfig.bufferSize.value};
}

// Each field changes once, from its old value to its new one: a streaming thread that
// restarts a pin meanwhile reads one or the other, never a default passing through.
void StoreDeviceValues(DeviceRecord* device, const DeviceValues& values)
{
    device->kernelBuffers = values.kernelBuffers;
    device->bufferPosition = values.bufferPosition;
    device->latencyIn = values.latencyIn;
    device->latencyOut = values.latencyOut;
    device->bufferSize = values.bufferSize;
}

}  // namespace

void ReadSettingValue(DeviceRecord* device, FilterRecord* filter, PinRecord* pin, const char* name, DWORD* value)
{
    ReadLayers(device, filter, pin, name, value, 0xFFFFFFFF);
}

void WriteSettingValue(DeviceRecord* device, FilterRecord* filter, PinRecord* pin, const char* name, const DWORD* value)
{
    WriteLayerValue(SetupModeSwitch, device, filter, pin, name, value);
    if (!SetupModeSwitch) NameHostLayer();
}

void ReadHostLayerValue(const char* name, DWORD* value)
{
    SettingsPath path;
    BuildSettingsPath(&path, false, nullptr, nullptr, nullptr);
    QueryLayerValue(&path, name, value);
}

void WriteHostLayerValue(const char* name, const DWORD* value)
{
    WriteLayerValue(false, nullptr, nullptr, nullptr, name, value);
    NameHostLayer();
}

void LoadGlobalSettings()
{
    // Every load starts from the built-in values, so that a value missing from both
    // layers is never what an earlier session in this process left. The crash marker
    // belongs to host layers: one in "Defaults" would warn every host new to this user.
    SettingsPath path;
    GlobalSettingsFlags = 0;
    BuildSettingsPath(&path, true, nullptr, nullptr, nullptr);
    if (QueryLayerValue(&path, "Flags", &GlobalSettingsFlags)) GlobalSettingsFlags &= ~GlobalFlagCrashMarker;
    if (!SetupModeSwitch) {
        BuildSettingsPath(&path, false, nullptr, nullptr, nullptr);
        QueryLayerValue(&path, "Flags", &GlobalSettingsFlags);
    }
    GlobalSampleRate = DefaultSampleRate;
    ReadSettingValue(nullptr, nullptr, nullptr, "SampleRate", &GlobalSampleRate);
    ControlPanelPosition = DefaultControlPanelPosition;
    ReadSettingValue(nullptr, nullptr, nullptr, "WndPos", &ControlPanelPosition);
}

void SaveGlobalSettings()
{
    const DWORD flags = SetupModeSwitch ? GlobalSettingsFlags & ~GlobalFlagCrashMarker : GlobalSettingsFlags;
    WriteLayerValue(SetupModeSwitch, nullptr, nullptr, nullptr, "WndPos", &ControlPanelPosition);
    WriteLayerValue(SetupModeSwitch, nullptr, nullptr, nullptr, "Flags", &flags);
    WriteLayerValue(SetupModeSwitch, nullptr, nullptr, nullptr, "SampleRate", &GlobalSampleRate);
    if (!SetupModeSwitch) NameHostLayer();
}

void LoadRecordSettings(TreeRecord* record)
{
    DeviceRecord* device;
    FilterRecord* filter;
    PinRecord* pin;
    FindRecordOwners(record, &device, &filter, &pin);
    // Outside the tree the path would fall back to the global key and its "Flags".
    if (device == nullptr) return;

    // An absent "Flags" keeps the record's own: the enabled bit is then the selection's.
    DWORD stored = record->flags;
    ReadSettingValue(device, filter, pin, "Flags", &stored);
    record->flags =
        (stored & ~(PinInstanceFree | RecordRunTimeMarks)) | (record->flags & (PinInstanceFree | RecordRealTime));

    if (record->level != DeviceLevel) return;
    DeviceValues values = DefaultDeviceValues(device);
    ReadSettingValue(device, nullptr, nullptr, "KernelBuffers", &values.kernelBuffers);
    ReadSettingValue(device, nullptr, nullptr, "BufferPosition", &values.bufferPosition);
    ReadLayers(device, nullptr, nullptr, "LtcyIn", &values.latencyIn, LongestExtraLatency);
    ReadLayers(device, nullptr, nullptr, "LtcyOut", &values.latencyOut, LongestExtraLatency);
    ReadSettingValue(device, nullptr, nullptr, "BufferSize", &values.bufferSize);
    StoreDeviceValues(device, values);
}

void SaveRecordSettings(TreeRecord* record)
{
    DeviceRecord* device;
    FilterRecord* filter;
    PinRecord* pin;
    FindRecordOwners(record, &device, &filter, &pin);
    if (device == nullptr) return;

    DWORD persistent = record->flags & ~RecordRunTimeFlags;
    WriteLayerValue(SetupModeSwitch, device, filter, pin, "Flags", &persistent);
    if (record->level == DeviceLevel) {
        WriteLayerValue(SetupModeSwitch, device, nullptr, nullptr, "KernelBuffers", &device->kernelBuffers);
        WriteLayerValue(SetupModeSwitch, device, nullptr, nullptr, "BufferPosition", &device->bufferPosition);
        WriteLayerValue(SetupModeSwitch, device, nullptr, nullptr, "LtcyIn", &device->latencyIn);
        WriteLayerValue(SetupModeSwitch, device, nullptr, nullptr, "LtcyOut", &device->latencyOut);
        WriteLayerValue(SetupModeSwitch, device, nullptr, nullptr, "BufferSize", &device->bufferSize);
    }
    if (!SetupModeSwitch) NameHostLayer();
}

void ApplyDeviceDefaults(DeviceRecord* device)
{
    device->flags &= (OemConfig.defaultFlags.value & OemKeptDeviceFlags) | RecordRealTime;
    StoreDeviceValues(device, DefaultDeviceValues(device));
}
