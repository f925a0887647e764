#include "hardware_simulator/device_registry_property.h"

#include <setupapi.h>

#include "hardware_simulator/device_path.h"

namespace hardware_simulator {

namespace {

DWORD Text(const std::string& text, DWORD* type, std::vector<BYTE>* value)
{
    if (text.empty()) return ERROR_INVALID_DATA;
    *type = REG_SZ;
    value->assign(text.begin(), text.end());
    value->push_back(0);
    return ERROR_SUCCESS;
}

DWORD TextList(const std::vector<std::string>& texts, DWORD* type, std::vector<BYTE>* value)
{
    if (texts.empty()) return ERROR_INVALID_DATA;
    *type = REG_MULTI_SZ;
    value->clear();
    for (const std::string& text : texts) {
        value->insert(value->end(), text.begin(), text.end());
        value->push_back(0);
    }
    value->push_back(0);
    return ERROR_SUCCESS;
}

}  // namespace

DWORD ReadRegistryProperty(const Device& device, DWORD property, DWORD* type, std::vector<BYTE>* value)
{
    switch (property) {
    case SPDRP_DEVICEDESC: return Text(device.description, type, value);
    case SPDRP_HARDWAREID: return TextList(device.hardwareIds, type, value);
    case SPDRP_COMPATIBLEIDS: return TextList(device.compatibleIds, type, value);
    case SPDRP_SERVICE: return Text(device.service, type, value);
    case SPDRP_CLASSGUID: return Text(GuidText(device.setupClass), type, value);
    case SPDRP_MFG: return Text(device.manufacturer, type, value);
    case SPDRP_FRIENDLYNAME: return Text(device.friendlyName, type, value);
    case SPDRP_LOCATION_INFORMATION: return Text(device.location, type, value);
    case SPDRP_ENUMERATOR_NAME: return Text(device.enumerator, type, value);
    default: return property < SPDRP_MAXIMUM_PROPERTY ? ERROR_INVALID_DATA : ERROR_INVALID_REG_PROPERTY;
    }
}

}  // namespace hardware_simulator
