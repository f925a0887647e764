#include "asio_host/host_layers.h"

#include <cstdio>
#include <cstring>

namespace {

// Set by the driver beside a host layer's values: the program the layer belongs to.
const char ProgramValueName[] = "Program";
const char SharedLayerName[] = "Defaults";
const char* const LevelWords[] = {"device ", " filter ", " pin "};

std::string ValueText(const char* name, DWORD type, const BYTE* data, DWORD size)
{
    if (type != REG_DWORD || size != 4) return "(not a 4-byte number: the driver ignores it)";
    DWORD number = 0;
    std::memcpy(&number, data, 4);
    char text[32];
    if (std::strcmp(name, "Flags") == 0)
        std::snprintf(text, sizeof(text), "0x%08lX", static_cast<unsigned long>(number));
    else
        std::snprintf(text, sizeof(text), "%lu", static_cast<unsigned long>(number));
    return text;
}

// Adds the values of `key` and of the keys below it, `depth` levels under the layer.
void ReadValues(HKEY key, const std::string& where, int depth, HostLayer* layer)
{
    char name[16384];
    BYTE data[1024];
    for (DWORD index = 0;; ++index) {
        DWORD nameLength = sizeof(name);
        DWORD size = sizeof(data);
        DWORD type = REG_NONE;
        LONG result = RegEnumValueA(key, index, name, &nameLength, nullptr, &type, data, &size);
        if (result == ERROR_NO_MORE_ITEMS) break;
        if (result != ERROR_SUCCESS && result != ERROR_MORE_DATA) continue;
        if (depth == 0 && std::strcmp(name, ProgramValueName) == 0) {
            if (result == ERROR_SUCCESS && type == REG_SZ && size > 0)
                layer->program.assign(reinterpret_cast<const char*>(data),
                                      strnlen(reinterpret_cast<const char*>(data), size));
            continue;
        }
        layer->values.push_back(
            {where, name,
             result == ERROR_SUCCESS ? ValueText(name, type, data, size) : ValueText(name, REG_NONE, data, 0)});
    }
    if (depth == 3) return;
    for (DWORD index = 0;; ++index) {
        char subkey[256];
        DWORD length = sizeof(subkey);
        if (RegEnumKeyExA(key, index, subkey, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        HKEY child;
        if (RegOpenKeyExA(key, subkey, 0, KEY_READ, &child) != ERROR_SUCCESS) continue;
        ReadValues(child, where + LevelWords[depth] + subkey, depth + 1, layer);
        RegCloseKey(child);
    }
}

}  // namespace

std::vector<HostLayer> ReadHostLayers(const std::string& driverName)
{
    std::vector<HostLayer> layers;
    HKEY settings;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, ("SOFTWARE\\" + driverName).c_str(), 0, KEY_READ, &settings) != ERROR_SUCCESS)
        return layers;
    for (DWORD index = 0;; ++index) {
        char name[256];
        DWORD length = sizeof(name);
        if (RegEnumKeyExA(settings, index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        if (lstrcmpiA(name, SharedLayerName) == 0) continue;
        HKEY key;
        if (RegOpenKeyExA(settings, name, 0, KEY_READ, &key) != ERROR_SUCCESS) continue;
        HostLayer layer;
        layer.hash = name;
        ReadValues(key, "", 0, &layer);
        RegCloseKey(key);
        if (!layer.values.empty()) layers.push_back(std::move(layer));
    }
    RegCloseKey(settings);
    return layers;
}

const LayerValue* FindLayerValue(const HostLayer& layer, const std::string& where, const std::string& name)
{
    for (const LayerValue& value : layer.values)
        if (lstrcmpiA(value.where.c_str(), where.c_str()) == 0 && lstrcmpiA(value.name.c_str(), name.c_str()) == 0)
            return &value;
    return nullptr;
}

std::string DeviceWhere(DWORD deviceId)
{
    char text[32];
    std::snprintf(text, sizeof(text), "%s%08lX", LevelWords[0], static_cast<unsigned long>(deviceId));
    return text;
}
