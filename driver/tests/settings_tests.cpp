// Settings through the Wine registry: the two layers and setup mode, the key paths,
// the record flag masks, values of other types or out of range, where every load
// starts, the crash marker's layers, and the defaults of new device records.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "driver/core/hash_name.h"
#include "driver/core/module.h"
#include "driver/core/oem_block.h"
#include "driver/core/oem_values.h"
#include "driver/core/settings.h"
#include "driver/tests/driver_fixture.h"

namespace {

constexpr DWORD TestHostHash = 0xABCDEF01;
constexpr DWORD TestDeviceId = 0x00C0FFEE;
constexpr DWORD TestPinId = 0x1A;
constexpr char TestFilterPath[] =
    "\\\\?\\usb#vid_200c&pid_1002&mi_00#7&2f1a&0&0000#{6994ad04-93ef-11d0-a3cc-00a0c9223196}\\wave";

std::string HexText(DWORD number)
{
    char text[9];
    std::snprintf(text, sizeof(text), "%08lX", static_cast<unsigned long>(number));
    return text;
}

std::string LayerKey(const std::string& layer)
{
    return DriverKey() + "\\" + layer;
}

const std::string HostLayer = "ABCDEF01";
const std::string DeviceKeyPart = "\\00C0FFEE";
const std::string FilterKeyPart = "\\" + HexText(HashName(TestFilterPath));
const std::string PinKeyPart = "\\0000001A";

void StoreValue(const std::string& path, const char* name, DWORD type, const void* data, DWORD size)
{
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
    RegCloseKey(key);
}

void StoreDword(const std::string& path, const char* name, DWORD value)
{
    StoreValue(path, name, REG_DWORD, &value, sizeof(value));
}

// The value as a REG_DWORD, or nothing when it is absent or of another form.
std::optional<DWORD> StoredDword(const std::string& path, const char* name)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return std::nullopt;
    DWORD type = 0, value = 0, size = sizeof(value);
    LONG result = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS || type != REG_DWORD || size != sizeof(value)) return std::nullopt;
    return value;
}

// Subkey names as stored, sorted: the registry compares names without case, so only
// an enumeration shows their spelling.
std::vector<std::string> SubkeyNames(const std::string& path)
{
    std::vector<std::string> names;
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return names;
    char name[256];
    for (DWORD index = 0;; ++index) {
        DWORD length = sizeof(name);
        if (RegEnumKeyExA(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.emplace_back(name, length);
    }
    RegCloseKey(key);
    std::sort(names.begin(), names.end());
    return names;
}

template <typename Record>
Record* NewRecord(RecordLevel level)
{
    auto* record = static_cast<Record*>(AllocateFromArena(sizeof(Record)));
    record->level = level;
    return record;
}

// One device with one filter with one pin, as the first device of the tree.
struct TestTree {
    DeviceRecord* device;
    FilterRecord* filter;
    PinRecord* pin;
};

TestTree BuildTree()
{
    TestTree tree;
    tree.device = NewRecord<DeviceRecord>(DeviceLevel);
    tree.device->deviceId = TestDeviceId;
    tree.filter = NewRecord<FilterRecord>(FilterLevel);
    auto* detail = static_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(
        AllocateFromArena(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) + sizeof(TestFilterPath)));
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    std::memcpy(detail->DevicePath, TestFilterPath, sizeof(TestFilterPath));
    tree.filter->detail = detail;
    tree.pin = NewRecord<PinRecord>(PinLevel);
    tree.pin->pinId = TestPinId;
    tree.device->firstChild = tree.filter;
    tree.filter->firstChild = tree.pin;
    FirstDevice = tree.device;
    return tree;
}

// Every test starts and ends without settings in the registry, with the initial
// globals, a host hash of its own and OEM values it may change.
class Settings : public InProcessDriver {
protected:
    void SetUp() override
    {
        InProcessDriver::SetUp();
        HostHash = TestHostHash;
        SetupModeSwitch = false;
        GlobalSettingsFlags = 0;
        GlobalSampleRate = DefaultSampleRate;
        ControlPanelPosition = DefaultControlPanelPosition;
        ResetArena();
        tree = BuildTree();
    }

    void TearDown() override { InProcessDriver::TearDown(); }

    std::string DeviceKey(const std::string& layer) const { return LayerKey(layer) + DeviceKeyPart; }
    std::string FilterKey(const std::string& layer) const { return DeviceKey(layer) + FilterKeyPart; }
    std::string PinKey(const std::string& layer) const { return FilterKey(layer) + PinKeyPart; }

    TestTree tree;
};

TEST_F(Settings, KeyPathsSpellEveryNumberAsEightUpperCaseHexDigits)
{
    ASSERT_NE(FilterKeyPart.find_first_of("ABCDEF"), std::string::npos) << "the filter hash must show letters";
    const DWORD flags = RecordEnabled | 0x5;
    WriteSettingValue(tree.device, tree.filter, tree.pin, "Flags", &flags);

    EXPECT_EQ(SubkeyNames(DriverKey()), std::vector<std::string>{HostLayer}) << "a write touches one layer";
    EXPECT_EQ(SubkeyNames(LayerKey(HostLayer)), std::vector<std::string>{"00C0FFEE"});
    EXPECT_EQ(SubkeyNames(DeviceKey(HostLayer)), std::vector<std::string>{FilterKeyPart.substr(1)});
    EXPECT_EQ(SubkeyNames(FilterKey(HostLayer)), std::vector<std::string>{"0000001A"});
    EXPECT_EQ(StoredDword(PinKey(HostLayer), "Flags"), flags);

    DWORD value = 0;
    ReadSettingValue(nullptr, nullptr, nullptr, "Flags", &value);
    EXPECT_EQ(SubkeyNames(DriverKey()), (std::vector<std::string>{HostLayer, "Defaults"}))
        << "a read creates the keys of both layers";
}

TEST_F(Settings, HostLayerOverridesDefaultsOnlyWhereItHasTheValue)
{
    StoreDword(DeviceKey("Defaults"), "BufferSize", 128);
    StoreDword(DeviceKey("Defaults"), "LtcyIn", 7);
    StoreDword(DeviceKey(HostLayer), "BufferSize", 64);
    OemConfig.outputLatency.value = 9;
    tree.device->kernelBuffers = 4;
    tree.device->latencyOut = 5;

    LoadRecordSettings(tree.device);
    EXPECT_EQ(tree.device->bufferSize, 64u);
    EXPECT_EQ(tree.device->latencyIn, 7u);
    EXPECT_EQ(tree.device->latencyOut, 9u) << "absent from both layers: the default, not what memory held";
    EXPECT_EQ(tree.device->kernelBuffers, 2u);

    HostHash = 0x12345678;
    LoadRecordSettings(tree.device);
    EXPECT_EQ(tree.device->bufferSize, 128u) << "another host sees the shared value";
}

TEST_F(Settings, SetupModeReadsAndWritesDefaultsOnly)
{
    SetupModeSwitch = true;
    tree.pin->flags = RecordEnabled | 0x3;
    SaveRecordSettings(tree.pin);
    LoadRecordSettings(tree.pin);
    EXPECT_EQ(StoredDword(PinKey("Defaults"), "Flags"), RecordEnabled | 0x3);
    EXPECT_EQ(SubkeyNames(DriverKey()), std::vector<std::string>{"Defaults"}) << "no host key was opened";

    StoreDword(PinKey(HostLayer), "Flags", RecordEnabled | 0x9);
    LoadRecordSettings(tree.pin);
    EXPECT_EQ(tree.pin->flags, RecordEnabled | 0x3) << "the host layer is not read in setup mode";

    SetupModeSwitch = false;
    LoadRecordSettings(tree.pin);
    EXPECT_EQ(tree.pin->flags, RecordEnabled | 0x9);
}

TEST_F(Settings, RunTimeFlagBitsAreNeitherSavedNorTakenFromTheRegistry)
{
    tree.pin->flags = 0xFFFFFFFF;
    SaveRecordSettings(tree.pin);
    EXPECT_EQ(StoredDword(PinKey(HostLayer), "Flags"), 0x8FF7FFFFu);

    StoreDword(PinKey(HostLayer), "Flags", 0x7FFFFFFF);
    tree.pin->flags = 0x40080000;
    LoadRecordSettings(tree.pin);
    EXPECT_EQ(tree.pin->flags, 0x4FFFFFFFu);

    tree.filter->flags = 0xB0080001;
    LoadRecordSettings(tree.filter);
    EXPECT_EQ(tree.filter->flags, 0x80080001u) << "absent value: own bits kept, run-time marks cleared";
}

TEST_F(Settings, DeviceSettingsRoundTripUnderTheirValueNames)
{
    DeviceRecord* device = tree.device;
    const struct {
        const char* name;
        DWORD* field;
        DWORD value;
    } values[] = {{"KernelBuffers", &device->kernelBuffers, 3},
                  {"BufferPosition", &device->bufferPosition, 6},
                  {"LtcyIn", &device->latencyIn, 11},
                  {"LtcyOut", &device->latencyOut, 12},
                  {"BufferSize", &device->bufferSize, 96}};
    device->flags = RecordEnabled | RecordRealTime | 0x10;
    for (const auto& entry : values) *entry.field = entry.value;
    SaveRecordSettings(device);
    SaveRecordSettings(tree.filter);

    EXPECT_EQ(StoredDword(DeviceKey(HostLayer), "Flags"), RecordEnabled | 0x10);
    for (const auto& entry : values) {
        EXPECT_EQ(StoredDword(DeviceKey(HostLayer), entry.name), entry.value) << entry.name;
        EXPECT_EQ(StoredDword(FilterKey(HostLayer), entry.name), std::nullopt) << "filters store flags only";
        *entry.field = 0;
    }
    EXPECT_EQ(StoredDword(FilterKey(HostLayer), "Flags"), 0u);

    device->flags = 0;
    LoadRecordSettings(device);
    EXPECT_EQ(device->flags, RecordEnabled | 0x10);
    for (const auto& entry : values) EXPECT_EQ(*entry.field, entry.value) << entry.name;
}

// A hand edit or an older tool may have stored a setting in another form: only a
// 4-byte REG_DWORD counts, anything else is passed over for the layer below.
TEST_F(Settings, ValuesOfAnotherTypeOrSizeAreIgnoredAsMissing)
{
    const BYTE eightBytes[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    const BYTE twoBytes[2] = {0x40, 0};
    const DWORD number = 512;
    const struct {
        const char* what;
        DWORD type;
        const void* data;
        DWORD size;
    } stored[] = {
        {"a text of four bytes", REG_SZ, "256", 4},
        {"four binary bytes", REG_BINARY, &number, 4},
        {"a big-endian number", REG_DWORD_BIG_ENDIAN, &number, 4},
        {"a longer value", REG_BINARY, eightBytes, sizeof(eightBytes)},
        {"a REG_DWORD of eight bytes", REG_DWORD, eightBytes, sizeof(eightBytes)},
        {"a REG_DWORD of two bytes", REG_DWORD, twoBytes, sizeof(twoBytes)},
    };
    StoreDword(DeviceKey("Defaults"), "BufferSize", 128);
    for (const auto& value : stored) {
        SCOPED_TRACE(value.what);
        StoreValue(DeviceKey(HostLayer), "BufferSize", value.type, value.data, value.size);
        StoreValue(DeviceKey("Defaults"), "LtcyIn", value.type, value.data, value.size);
        tree.device->bufferSize = 0;
        tree.device->latencyIn = 33;
        LoadRecordSettings(tree.device);
        EXPECT_EQ(tree.device->bufferSize, 128u) << "the shared layer's value stands";
        EXPECT_EQ(tree.device->latencyIn, 0u) << "the default stands";
    }
}

// An extra latency near the 32-bit limits would reach hosts as a latency of hours, or
// turn negative and hide the device's own: it counts as missing.
TEST_F(Settings, LatencyOverridesAreTakenOnlyWithinASaneRange)
{
    StoreDword(DeviceKey("Defaults"), "LtcyOut", 100);
    StoreDword(DeviceKey(HostLayer), "LtcyOut", 0x7FFFFFFF);
    StoreDword(DeviceKey(HostLayer), "LtcyIn", 0x80000000);
    OemConfig.inputLatency.value = 12;
    LoadRecordSettings(tree.device);
    EXPECT_EQ(tree.device->latencyOut, 100u);
    EXPECT_EQ(tree.device->latencyIn, 12u);

    StoreDword(DeviceKey(HostLayer), "LtcyIn", LongestExtraLatency);
    LoadRecordSettings(tree.device);
    EXPECT_EQ(tree.device->latencyIn, LongestExtraLatency);

    OemConfig.inputLatency.value = 0xFFFFFFFF;
    OemConfig.outputLatency.value = LongestExtraLatency + 1;
    RegDeleteTreeA(HKEY_CURRENT_USER, DriverKey().c_str());
    ApplyDeviceDefaults(tree.device);
    EXPECT_EQ(tree.device->latencyIn, 0u) << "an OEM default out of range is no default either";
    EXPECT_EQ(tree.device->latencyOut, 0u);
}

TEST_F(Settings, RecordsOutsideTheTreeAreLeftAlone)
{
    StoreDword(LayerKey(HostLayer), "Flags", GlobalFlagCrashGuard);
    auto* stray = NewRecord<PinRecord>(PinLevel);
    stray->flags = RecordEnabled | 0x1;

    LoadRecordSettings(stray);
    EXPECT_EQ(stray->flags, RecordEnabled | 0x1) << "the global flags must not reach a record";
    SaveRecordSettings(stray);
    EXPECT_EQ(StoredDword(LayerKey(HostLayer), "Flags"), GlobalFlagCrashGuard) << "nor a record's the global key";
}

TEST_F(Settings, GlobalSettingsReadBothLayersAndWriteOne)
{
    LoadGlobalSettings();
    EXPECT_EQ(GlobalSettingsFlags, 0u);
    EXPECT_EQ(GlobalSampleRate, 44100u);
    EXPECT_EQ(ControlPanelPosition, 0x00060006u);

    StoreDword(LayerKey("Defaults"), "SampleRate", 48000);
    StoreDword(LayerKey("Defaults"), "WndPos", 0x00200010);
    StoreDword(LayerKey(HostLayer), "Flags", GlobalFlagBalloonsOff);
    LoadGlobalSettings();
    EXPECT_EQ(GlobalSettingsFlags, GlobalFlagBalloonsOff);
    EXPECT_EQ(GlobalSampleRate, 48000u);
    EXPECT_EQ(ControlPanelPosition, 0x00200010u);

    GlobalSampleRate = 96000;
    SaveGlobalSettings();
    EXPECT_EQ(StoredDword(LayerKey(HostLayer), "SampleRate"), 96000u);
    EXPECT_EQ(StoredDword(LayerKey(HostLayer), "WndPos"), 0x00200010u);
    EXPECT_EQ(StoredDword(LayerKey("Defaults"), "SampleRate"), 48000u);
    EXPECT_EQ(StoredDword(LayerKey("Defaults"), "Flags"), std::nullopt);

    SetupModeSwitch = true;
    SaveGlobalSettings();
    EXPECT_EQ(StoredDword(LayerKey("Defaults"), "Flags"), GlobalFlagBalloonsOff);
}

// A process may hold the driver for several sessions, and a setup-mode session after a
// host's: what one session read must not stand in for a value the next finds missing.
TEST_F(Settings, EveryLoadStartsFromTheBuiltInValues)
{
    StoreDword(LayerKey(HostLayer), "SampleRate", 96000);
    StoreDword(LayerKey(HostLayer), "WndPos", 0x00300030);
    StoreDword(LayerKey(HostLayer), "Flags", GlobalFlagCrashGuard);
    StoreDword(DeviceKey(HostLayer), "BufferSize", 1024);
    LoadGlobalSettings();
    LoadRecordSettings(tree.device);
    ASSERT_EQ(GlobalSampleRate, 96000u);
    ASSERT_EQ(tree.device->bufferSize, 1024u);

    SetupModeSwitch = true;
    LoadGlobalSettings();
    LoadRecordSettings(tree.device);
    EXPECT_EQ(GlobalSampleRate, 44100u);
    EXPECT_EQ(ControlPanelPosition, 0x00060006u);
    EXPECT_EQ(GlobalSettingsFlags, 0u);
    EXPECT_EQ(tree.device->bufferSize, OemConfig.bufferSize.value);

    // Saved in setup mode, the host's values must not become everyone's.
    SaveRecordSettings(tree.device);
    SaveGlobalSettings();
    EXPECT_EQ(StoredDword(DeviceKey("Defaults"), "BufferSize"), OemConfig.bufferSize.value);
    EXPECT_EQ(StoredDword(LayerKey("Defaults"), "SampleRate"), 44100u);
}

// "Defaults" never carries the crash marker: it is read by every host, and the marker
// says that one program's session died.
TEST_F(Settings, TheCrashMarkerIsTakenAndKeptInHostLayersOnly)
{
    StoreDword(LayerKey("Defaults"), "Flags", GlobalFlagCrashGuard | GlobalFlagCrashMarker);
    LoadGlobalSettings();
    EXPECT_EQ(GlobalSettingsFlags, GlobalFlagCrashGuard) << "a host without flags of its own";

    StoreDword(LayerKey(HostLayer), "Flags", GlobalFlagCrashGuard | GlobalFlagCrashMarker);
    LoadGlobalSettings();
    EXPECT_EQ(GlobalSettingsFlags, GlobalFlagCrashGuard | GlobalFlagCrashMarker);

    SetupModeSwitch = true;
    GlobalSettingsFlags = GlobalFlagCrashGuard | GlobalFlagCrashMarker;
    SaveGlobalSettings();
    EXPECT_EQ(StoredDword(LayerKey("Defaults"), "Flags"), GlobalFlagCrashGuard);

    DWORD hostFlags = 0;
    ReadHostLayerValue("Flags", &hostFlags);
    EXPECT_EQ(hostFlags, GlobalFlagCrashGuard | GlobalFlagCrashMarker) << "setup mode reaches its own layer";
    hostFlags = GlobalFlagCrashGuard;
    WriteHostLayerValue("Flags", &hostFlags);
    EXPECT_EQ(StoredDword(LayerKey(HostLayer), "Flags"), GlobalFlagCrashGuard);
}

// Support can tell whose layer is whose: every write to a host layer names its program.
TEST_F(Settings, AHostLayerNamesTheProgramItBelongsTo)
{
    char program[MAX_PATH];
    GetModuleFileNameA(nullptr, program, sizeof(program));
    const auto storedProgram = [](const std::string& key) -> std::string {
        char text[MAX_PATH + 1] = {};
        DWORD size = sizeof(text);
        if (RegGetValueA(HKEY_CURRENT_USER, key.c_str(), HostProgramValueName, RRF_RT_REG_SZ, nullptr, text, &size) !=
            ERROR_SUCCESS)
            return "";
        return text;
    };
    SetupModeSwitch = true;
    SaveRecordSettings(tree.device);
    SaveGlobalSettings();
    EXPECT_EQ(storedProgram(LayerKey("Defaults")), "") << "the shared layer belongs to no program";
    EXPECT_EQ(storedProgram(LayerKey(HostLayer)), "");

    SetupModeSwitch = false;
    SaveRecordSettings(tree.pin);
    EXPECT_EQ(storedProgram(LayerKey(HostLayer)), program);
}

TEST_F(Settings, NewDeviceRecordsTakeTheOemDefaults)
{
    OemConfig.inputLatency.value = 17;
    OemConfig.outputLatency.value = 19;
    OemConfig.bufferSize.value = 384;
    OemConfig.kernelBuffers.value = 3;

    tree.device->flags = RecordEnabled | 0x00060001;
    ApplyDeviceDefaults(tree.device);
    LoadRecordSettings(tree.device);
    EXPECT_EQ(tree.device->flags, 0u) << "with $DFL 0 no bit survives but bit 19";
    EXPECT_EQ(tree.device->latencyIn, 17u);
    EXPECT_EQ(tree.device->latencyOut, 19u);
    EXPECT_EQ(tree.device->bufferSize, 384u);
    EXPECT_EQ(tree.device->kernelBuffers, 3u);
    EXPECT_EQ(tree.device->bufferPosition, 10u);

    tree.device->flags = 0xFFFFFFFF;
    ApplyDeviceDefaults(tree.device);
    LoadRecordSettings(tree.device);
    EXPECT_EQ(tree.device->flags, RecordRealTime);
    EXPECT_EQ(tree.device->latencyIn, 0u) << "a real-time device has its own defaults";
    EXPECT_EQ(tree.device->latencyOut, 0u);
    EXPECT_EQ(tree.device->bufferSize, 512u);
    EXPECT_EQ(tree.device->bufferPosition, 4u);
    EXPECT_EQ(tree.device->kernelBuffers, 3u);

    OemConfig.defaultFlags.value = 0x0002FFFF;
    tree.device->flags = RecordEnabled | 0x00060001;
    ApplyDeviceDefaults(tree.device);
    EXPECT_EQ(tree.device->flags, 0x00020000u) << "bits 17 and 18 survive where $DFL has them";
}

}  // namespace
