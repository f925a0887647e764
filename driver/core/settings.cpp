#include "driver/core/settings.h"

#include "driver/core/hash_name.h"
#include "driver/core/module.h"
#include "driver/core/oem_block.h"

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
void BuildSettingsPath(SettingsPath* path, bool sharedLayer, DeviceRecord* device, FilterRecord* filter,
                       PinRecord* pin)
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

// Any value of at most 4 bytes is taken whatever its type. The query goes through a
// copy because a failed query may leave its buffer undefined.
void QueryLayerValue(const SettingsPath* path, const char* name, DWORD* value)
{
    HKEY key;
    if (!OpenSettingsKey(path, &key)) return;
    DWORD stored = *value;
    DWORD size = sizeof(stored);
    if (RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&stored), &size) == ERROR_SUCCESS)
        *value = stored;
    RegCloseKey(key);
}

}  // namespace

void ReadSettingValue(DeviceRecord* device, FilterRecord* filter, PinRecord* pin, const char* name, DWORD* value)
{
    SettingsPath path;
    BuildSettingsPath(&path, true, device, filter, pin);
    QueryLayerValue(&path, name, value);
    if (SetupModeSwitch) return;
    BuildSettingsPath(&path, false, device, filter, pin);
    QueryLayerValue(&path, name, value);
}

void WriteSettingValue(DeviceRecord* device, FilterRecord* filter, PinRecord* pin, const char* name,
                       const DWORD* value)
{
    SettingsPath path;
    BuildSettingsPath(&path, SetupModeSwitch, device, filter, pin);
    HKEY key;
    if (!OpenSettingsKey(&path, &key)) return;
    RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(value), sizeof(DWORD));
    RegCloseKey(key);
}

void LoadGlobalSettings()
{
    ReadSettingValue(nullptr, nullptr, nullptr, "Flags", &GlobalSettingsFlags);
    ReadSettingValue(nullptr, nullptr, nullptr, "SampleRate", &GlobalSampleRate);
    ReadSettingValue(nullptr, nullptr, nullptr, "WndPos", &ControlPanelPosition);
}

void SaveGlobalSettings()
{
    WriteSettingValue(nullptr, nullptr, nullptr, "WndPos", &ControlPanelPosition);
    WriteSettingValue(nullptr, nullptr, nullptr, "Flags", &GlobalSettingsFlags);
    WriteSettingValue(nullptr, nullptr, nullptr, "SampleRate", &GlobalSampleRate);
}

void LoadRecordSettings(TreeRecord* record)
{
    DeviceRecord* device;
    FilterRecord* filter;
    PinRecord* pin;
    FindRecordOwners(record, &device, &filter, &pin);
    // Outside the tree the path would fall back to the global key and its "Flags".
    if (device == nullptr) return;

    DWORD stored = record->flags;
    ReadSettingValue(device, filter, pin, "Flags", &stored);
    record->flags = (stored & ~(PinInstanceFree | RecordRunTimeMarks)) |
                    (record->flags & (PinInstanceFree | RecordRealTime));

    if (record->level != DeviceLevel) return;
    ReadSettingValue(device, nullptr, nullptr, "KernelBuffers", &device->kernelBuffers);
    ReadSettingValue(device, nullptr, nullptr, "BufferPosition", &device->bufferPosition);
    ReadSettingValue(device, nullptr, nullptr, "LtcyIn", &device->latencyIn);
    ReadSettingValue(device, nullptr, nullptr, "LtcyOut", &device->latencyOut);
    ReadSettingValue(device, nullptr, nullptr, "BufferSize", &device->bufferSize);
}

void SaveRecordSettings(TreeRecord* record)
{
    DeviceRecord* device;
    FilterRecord* filter;
    PinRecord* pin;
    FindRecordOwners(record, &device, &filter, &pin);
    if (device == nullptr) return;

    DWORD persistent = record->flags & ~RecordRunTimeFlags;
    WriteSettingValue(device, filter, pin, "Flags", &persistent);

    if (record->level != DeviceLevel) return;
    WriteSettingValue(device, nullptr, nullptr, "KernelBuffers", &device->kernelBuffers);
    WriteSettingValue(device, nullptr, nullptr, "BufferPosition", &device->bufferPosition);
    WriteSettingValue(device, nullptr, nullptr, "LtcyIn", &device->latencyIn);
    WriteSettingValue(device, nullptr, nullptr, "LtcyOut", &device->latencyOut);
    WriteSettingValue(device, nullptr, nullptr, "BufferSize", &device->bufferSize);
}

void ApplyDeviceDefaults(DeviceRecord* device)
{
    device->latencyIn = OemConfig.inputLatency.value;
    device->latencyOut = OemConfig.outputLatency.value;
    device->bufferSize = OemConfig.bufferSize.value;
    device->kernelBuffers = OemConfig.kernelBuffers.value;
    device->bufferPosition = DefaultBufferPosition;
    device->flags &= (OemConfig.defaultFlags.value & OemKeptDeviceFlags) | RecordRealTime;
    if ((device->flags & RecordRealTime) == 0) return;
    device->latencyIn = 0;
    device->latencyOut = 0;
    device->bufferSize = RealTimeBufferSize;
    device->bufferPosition = RealTimeBufferPosition;
}
