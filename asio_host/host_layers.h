// The per-host layers of a driver's settings, as the configuration command shows them:
// under HKEY_CURRENT_USER\SOFTWARE\<driver name>, every key beside "Defaults" is the
// layer of one host program, named by a hash of its path. The values a layer holds
// override "Defaults" for that program.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// One value of a layer; `where` is empty for the layer's global key, else "device D",
// "device D filter F" or "device D filter F pin P" with the key names of the path.
struct LayerValue {
    std::string where;
    std::string name;
    std::string text;  // a number as shown to support, or why the driver ignores it
};

struct HostLayer {
    std::string hash;     // the layer's key name
    std::string program;  // the path the driver recorded; empty when none was
    std::vector<LayerValue> values;
};

// The layers that hold at least one setting, in the registry's order. Layers without
// one (the driver creates the keys of every host it reads for) are left out.
std::vector<HostLayer> ReadHostLayers(const std::string& driverName);

// The setting `name` as the layer stores it at `where`, or null.
const LayerValue* FindLayerValue(const HostLayer& layer, const std::string& where, const std::string& name);

// "device 0000ABCD": the `where` of a device's own values.
std::string DeviceWhere(DWORD deviceId);
