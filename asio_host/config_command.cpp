#include "asio_host/config_command.h"

#include <objbase.h>
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "asio_host/config_keys.h"
#include "asio_host/driver_setup.h"
#include "asio_host/host_layers.h"
#include "asio_host/installed_drivers.h"
#include "driver/core/flag_words.h"
#include "driver/core/hex_digits.h"

namespace {

int Usage(std::FILE* err)
{
    std::fprintf(err,
                 "usage: kaskade-config DRIVER show\n"
                 "       kaskade-config DRIVER rescan\n"
                 "       kaskade-config DRIVER set device D KEY VALUE\n"
                 "       kaskade-config DRIVER set filter D F KEY VALUE\n"
                 "       kaskade-config DRIVER set pin D F P KEY VALUE\n"
                 "       kaskade-config DRIVER hosts\n"
                 "Values go to the \"Defaults\" layer that every host of this user starts from. A host\n"
                 "program that saved values of its own keeps them over \"Defaults\" (choosing a buffer\n"
                 "size in its control panel saves them); \"hosts\" lists those programs and values.\n"
                 "Device keys: flags, kernel-buffers (2-4), buffer-position (0-100 ms),\n"
                 "  latency-in, latency-out (0-8192 samples), buffer-size (64-2048 samples).\n"
                 "Filter and pin keys: flags. Every level: enabled (on or off).\n"
                 "Numbers are decimal or 0x-prefixed hexadecimal.\n");
    return 2;
}

// The driver in setup mode and its setup interface.
struct SetupSession {
    IAsioDriver* driver = nullptr;
    IDriverSetup* setup = nullptr;
};

bool OpenSession(const char* name, SetupSession* session, std::FILE* err)
{
    for (const InstalledDriver& installed : ListInstalledDrivers()) {
        if (installed.name != name) continue;
        long error = 0;
        session->driver = CreateDriver(installed, error);
        if (session->driver == nullptr) {
            std::fprintf(err, "kaskade-config: \"%s\" cannot be created (0x%08lX)\n", name,
                         static_cast<unsigned long>(error));
            return false;
        }
        void* setup = nullptr;
        if (FAILED(session->driver->QueryInterface(IID_IDriverSetup, &setup))) {
            std::fprintf(err, "kaskade-config: \"%s\" has no setup interface\n", name);
            return false;
        }
        session->setup = static_cast<IDriverSetup*>(setup);
        session->driver->init(reinterpret_cast<void*>(UINT_PTR(SetupModeHandle)));
        return true;
    }
    std::fprintf(err, "kaskade-config: no ASIO driver named \"%s\" is registered for %d-bit hosts\n", name,
                 int(sizeof(void*) * 8));
    return false;
}

void CloseSession(SetupSession* session)
{
    if (session->setup != nullptr) session->setup->Release();
    if (session->driver != nullptr) session->driver->Release();
}

// Reads one key of the record that the first one, two or three indexes name.
HRESULT GetValue(IDriverSetup* setup, RecordLevel level, LONG key, const LONG* indexes, void* value, ULONG size)
{
    switch (level) {
    case RecordLevel::Device: return setup->GetDeviceValue(key, indexes[0], value, size);
    case RecordLevel::Filter: return setup->GetFilterValue(key, indexes[0], indexes[1], value, size);
    default: return setup->GetPinValue(key, indexes[0], indexes[1], indexes[2], value, size);
    }
}

HRESULT SetValue(IDriverSetup* setup, RecordLevel level, LONG key, const LONG* indexes, DWORD value)
{
    switch (level) {
    case RecordLevel::Device: return setup->SetDeviceValue(key, indexes[0], &value, sizeof(value));
    case RecordLevel::Filter: return setup->SetFilterValue(key, indexes[0], indexes[1], &value, sizeof(value));
    default: return setup->SetPinValue(key, indexes[0], indexes[1], indexes[2], &value, sizeof(value));
    }
}

bool Exists(IDriverSetup* setup, RecordLevel level, const LONG* indexes)
{
    DWORD flags = 0;
    return GetValue(setup, level, SetupFlagsKey, indexes, &flags, sizeof(flags)) == S_OK;
}

// Number of records at `level` under the parents that `indexes` names, counting through
// indexes[position].
LONG CountRecords(IDriverSetup* setup, RecordLevel level, LONG* indexes, int position)
{
    LONG count = 0;
    for (indexes[position] = 0; Exists(setup, level, indexes); ++indexes[position]) ++count;
    return count;
}

// The names of the keys, in key order.
const char* const DeviceKeyNames[] = {"Flags",      "FriendlyName", "Manufacturer",  "Service",        "Location",
                                      "HardwareId", "Enumerator",   "KernelBuffers", "BufferPosition", "LtcyIn",
                                      "LtcyOut",    "BufferSize",   "DeviceId",      "DevInst"};
const char* const FilterKeyNames[] = {"Flags", "FriendlyName", "DevicePath", "NodeClasses"};
const char* const PinKeyNames[] = {"Flags", "DataFlow", "Channels", "Bits", "LowestRate", "HighestRate"};
static_assert(sizeof(DeviceKeyNames) / sizeof(DeviceKeyNames[0]) == SetupDeviceKeyCount, "a name per device key");
static_assert(sizeof(FilterKeyNames) / sizeof(FilterKeyNames[0]) == SetupFilterKeyCount, "a name per filter key");
static_assert(sizeof(PinKeyNames) / sizeof(PinKeyNames[0]) == SetupPinKeyCount, "a name per pin key");

// Keys whose value is a pointer to text (device path: 4 bytes into the detail record).
bool IsTextKey(RecordLevel level, LONG key)
{
    return (level == RecordLevel::Device && key >= SetupDeviceFriendlyName && key <= SetupDeviceHardwareId) ||
           (level == RecordLevel::Filter && (key == SetupFilterFriendlyName || key == SetupFilterInterfaceDetail));
}

void ShowRecord(IDriverSetup* setup, RecordLevel level, const LONG* indexes, std::FILE* out)
{
    const char* const* names = level == RecordLevel::Device   ? DeviceKeyNames
                               : level == RecordLevel::Filter ? FilterKeyNames
                                                              : PinKeyNames;
    const LONG count = level == RecordLevel::Device   ? LONG(SetupDeviceKeyCount)
                       : level == RecordLevel::Filter ? LONG(SetupFilterKeyCount)
                                                      : LONG(SetupPinKeyCount);
    const char* indent = level == RecordLevel::Device ? "    " : level == RecordLevel::Filter ? "      " : "        ";
    for (LONG key = 0; key < count; ++key) {
        if (IsTextKey(level, key)) {
            const char* text = nullptr;
            if (GetValue(setup, level, key, indexes, &text, sizeof(text)) != S_OK) continue;
            if (text != nullptr && level == RecordLevel::Filter && key == SetupFilterInterfaceDetail) text += 4;
            std::fprintf(out, "%s%-15s %s\n", indent, names[key], text != nullptr ? text : "");
        } else {
            DWORD value = 0;
            if (GetValue(setup, level, key, indexes, &value, sizeof(value)) != S_OK) continue;
            if (key == SetupFlagsKey)
                std::fprintf(out, "%s%-15s 0x%08lX (%s)\n", indent, names[key], static_cast<unsigned long>(value),
                             (value & RecordEnabled) ? "enabled" : "disabled");
            else
                std::fprintf(out, "%s%-15s %lu\n", indent, names[key], static_cast<unsigned long>(value));
        }
    }
}

std::string LayerOwner(const HostLayer& layer)
{
    return layer.program.empty() ? "layer " + layer.hash + " (its program was not recorded)" : layer.program;
}

// Says plainly that hosts with values of their own keep them, and which hosts hold the
// device value just written when `where` names one.
void PrintHostLayerNote(const char* name, const std::string& where, const char* valueName, std::FILE* out)
{
    const std::vector<HostLayer> layers = ReadHostLayers(name);
    if (layers.empty()) {
        std::fprintf(out, "No host program has values of its own yet: every host starts from \"Defaults\".\n");
        return;
    }
    std::fprintf(out,
                 "%zu host program(s) saved values of their own and keep them over \"Defaults\" "
                 "(kaskade-config \"%s\" hosts lists them).\n",
                 layers.size(), name);
    if (valueName == nullptr) return;
    for (const HostLayer& layer : layers)
        if (const LayerValue* value = FindLayerValue(layer, where, valueName))
            std::fprintf(out, "  %s keeps its own %s of %s for this device\n", LayerOwner(layer).c_str(), valueName,
                         value->text.c_str());
}

int ShowTree(IDriverSetup* setup, const char* name, std::FILE* out)
{
    LONG indexes[3] = {0, 0, 0};
    const LONG devices = CountRecords(setup, RecordLevel::Device, indexes, 0);
    std::fprintf(out, "%ld device(s); values as hosts without values of their own see them (\"Defaults\")\n",
                 static_cast<long>(devices));
    PrintHostLayerNote(name, "", nullptr, out);
    for (LONG device = 0; device < devices; ++device) {
        indexes[0] = device;
        std::fprintf(out, "device %ld\n", static_cast<long>(device));
        ShowRecord(setup, RecordLevel::Device, indexes, out);
        const LONG filters = CountRecords(setup, RecordLevel::Filter, indexes, 1);
        for (LONG filter = 0; filter < filters; ++filter) {
            indexes[1] = filter;
            std::fprintf(out, "  filter %ld.%ld\n", static_cast<long>(device), static_cast<long>(filter));
            ShowRecord(setup, RecordLevel::Filter, indexes, out);
            const LONG pins = CountRecords(setup, RecordLevel::Pin, indexes, 2);
            for (LONG pin = 0; pin < pins; ++pin) {
                indexes[2] = pin;
                std::fprintf(out, "    pin %ld.%ld.%ld\n", static_cast<long>(device), static_cast<long>(filter),
                             static_cast<long>(pin));
                ShowRecord(setup, RecordLevel::Pin, indexes, out);
            }
        }
    }
    return 0;
}

const char* LevelName(RecordLevel level)
{
    return level == RecordLevel::Device ? "device" : level == RecordLevel::Filter ? "filter" : "pin";
}

// "set LEVEL INDEXES... KEY VALUE": every index must name an existing record (the
// interface would take a negative one as the first), the key must be writable at the
// level and the value in its range.
int SetSetting(IDriverSetup* setup, const char* driverName, int argc, char** argv, std::FILE* out, std::FILE* err)
{
    RecordLevel level;
    int indexCount;
    if (std::strcmp(argv[0], "device") == 0) {
        level = RecordLevel::Device;
        indexCount = 1;
    } else if (std::strcmp(argv[0], "filter") == 0) {
        level = RecordLevel::Filter;
        indexCount = 2;
    } else if (std::strcmp(argv[0], "pin") == 0) {
        level = RecordLevel::Pin;
        indexCount = 3;
    } else {
        return Usage(err);
    }
    if (argc != 1 + indexCount + 2) return Usage(err);

    LONG indexes[3] = {0, 0, 0};
    static const RecordLevel levels[] = {RecordLevel::Device, RecordLevel::Filter, RecordLevel::Pin};
    for (int position = 0; position < indexCount; ++position) {
        std::uint32_t index = 0;
        if (!ParseUnsigned32(argv[1 + position], &index) || index > 0x7FFFFFFF) {
            std::fprintf(err, "kaskade-config: \"%s\" is not a %s index\n", argv[1 + position],
                         LevelName(levels[position]));
            return 1;
        }
        indexes[position] = LONG(index);
        if (!Exists(setup, levels[position], indexes)) {
            LONG probe[3] = {indexes[0], indexes[1], indexes[2]};
            const LONG count = CountRecords(setup, levels[position], probe, position);
            std::fprintf(err, "kaskade-config: there is no %s %lu; ", LevelName(levels[position]),
                         static_cast<unsigned long>(index));
            if (count == 0)
                std::fprintf(err, "there are none\n");
            else
                std::fprintf(err, "%ss are numbered 0 to %ld\n", LevelName(levels[position]),
                             static_cast<long>(count - 1));
            return 1;
        }
    }

    const char* name = argv[1 + indexCount];
    const char* text = argv[2 + indexCount];
    DWORD current = 0;
    GetValue(setup, level, SetupFlagsKey, indexes, &current, sizeof(current));
    LONG key = SetupFlagsKey;
    DWORD value = 0;
    if (std::strcmp(name, "enabled") == 0) {
        const bool on = std::strcmp(text, "on") == 0;
        if (!on && std::strcmp(text, "off") != 0) {
            std::fprintf(err, "kaskade-config: enabled takes on or off, not \"%s\"\n", text);
            return 1;
        }
        value = on ? current | RecordEnabled : current & ~RecordEnabled;
    } else {
        const ConfigKey* config = FindConfigKey(level, name);
        if (config == nullptr) {
            std::fprintf(err, "kaskade-config: a %s has no setting \"%s\" that can be changed\n", LevelName(level),
                         name);
            return 1;
        }
        std::uint32_t number = 0;
        if (!ParseUnsigned32(text, &number) || number < config->lowest || number > config->highest) {
            std::fprintf(err, "kaskade-config: %s takes a number from %lu to %lu (%s), not \"%s\"\n", config->name,
                         static_cast<unsigned long>(config->lowest), static_cast<unsigned long>(config->highest),
                         config->meaning, text);
            return 1;
        }
        value = number;
        key = config->key;
        // The run-time bits describe the machine, not a choice: the record keeps its own.
        if (key == SetupFlagsKey) value = (value & ~RecordRunTimeFlags) | (current & RecordRunTimeFlags);
    }
    HRESULT result = SetValue(setup, level, key, indexes, value);
    if (result != S_OK) {
        std::fprintf(err, "kaskade-config: the driver refused the value (0x%08lX)\n",
                     static_cast<unsigned long>(result));
        return 1;
    }
    std::fprintf(out, "%s %s set to %lu (0x%08lX) in \"Defaults\"\n", LevelName(level), name,
                 static_cast<unsigned long>(value), static_cast<unsigned long>(value));
    DWORD deviceId = 0;
    const bool deviceValue = level == RecordLevel::Device &&
                             GetValue(setup, level, SetupDeviceId, indexes, &deviceId, sizeof(deviceId)) == S_OK;
    PrintHostLayerNote(driverName, DeviceWhere(deviceId), deviceValue ? DeviceKeyNames[key] : nullptr, out);
    return 0;
}

int ShowHostLayers(const char* name, std::FILE* out, std::FILE* err)
{
    bool registered = false;
    for (const InstalledDriver& installed : ListInstalledDrivers()) registered |= installed.name == name;
    if (!registered) {
        std::fprintf(err, "kaskade-config: no ASIO driver named \"%s\" is registered for %d-bit hosts\n", name,
                     int(sizeof(void*) * 8));
        return 1;
    }
    const std::vector<HostLayer> layers = ReadHostLayers(name);
    if (layers.empty()) {
        std::fprintf(out, "No host program has values of its own: every host starts from \"Defaults\".\n");
        return 0;
    }
    std::fprintf(out,
                 "%zu host program(s) keep values of their own over \"Defaults\" "
                 "(HKEY_CURRENT_USER\\SOFTWARE\\%s, one layer per program, named by a hash of its path):\n",
                 layers.size(), name);
    for (const HostLayer& layer : layers) {
        std::fprintf(out, "%s\n", LayerOwner(layer).c_str());
        if (!layer.program.empty()) std::fprintf(out, "  layer %s\n", layer.hash.c_str());
        std::string where = "-";
        for (const LayerValue& value : layer.values) {
            if (value.where != where) {
                where = value.where;
                std::fprintf(out, "  %s\n", where.empty() ? "global" : where.c_str());
            }
            std::fprintf(out, "    %-15s %s\n", value.name.c_str(), value.text.c_str());
        }
    }
    return 0;
}

int Rescan(IDriverSetup* setup, std::FILE* out, std::FILE* err)
{
    HRESULT result = setup->Rescan();
    if (result == SETUP_E_BUSY || result == SETUP_E_ACTIVE) {
        std::fprintf(err, "kaskade-config: the driver is %s; try again later\n",
                     result == SETUP_E_BUSY ? "scanning" : "streaming");
        return 1;
    }
    if (result != S_OK) {
        std::fprintf(err, "kaskade-config: rescan failed (0x%08lX)\n", static_cast<unsigned long>(result));
        return 1;
    }
    LONG indexes[3] = {0, 0, 0};
    std::fprintf(out, "rescanned: %ld device(s)\n",
                 static_cast<long>(CountRecords(setup, RecordLevel::Device, indexes, 0)));
    return 0;
}

}  // namespace

int RunConfigCommand(int argc, char** argv, std::FILE* out, std::FILE* err)
{
    if (argc < 3) return Usage(err);
    const char* command = argv[2];
    if (std::strcmp(command, "hosts") == 0 && argc == 3) return ShowHostLayers(argv[1], out, err);
    const bool known = (std::strcmp(command, "show") == 0 && argc == 3) ||
                       (std::strcmp(command, "rescan") == 0 && argc == 3) ||
                       (std::strcmp(command, "set") == 0 && argc >= 4);
    if (!known) return Usage(err);
    SetupSession session;
    int result = 1;
    if (OpenSession(argv[1], &session, err)) {
        if (command[0] == 's' && command[1] == 'h')
            result = ShowTree(session.setup, argv[1], out);
        else if (command[0] == 'r')
            result = Rescan(session.setup, out, err);
        else
            result = SetSetting(session.setup, argv[1], argc - 3, argv + 3, out, err);
    }
    CloseSession(&session);
    return result;
}
