#include "driver/core/registration.h"

#include <olectl.h>

#include "driver/core/com_objects.h"
#include "driver/core/module.h"
#include "driver/core/module_path.h"
#include "driver/core/oem_block.h"
#include "driver/core/oem_values.h"

namespace {

const char AsioKeyPrefix[] = "SOFTWARE\\ASIO\\";
const char InprocServerSuffix[] = "\\InprocServer32";

void BuildInprocServerPath(char (&path)[ClassKeyPathSize + sizeof(InprocServerSuffix)])
{
    lstrcpyA(path, ClassKeyPath);
    lstrcatA(path, InprocServerSuffix);
}

void BuildAsioKeyPath(char (&path)[sizeof(AsioKeyPrefix) + OemTextSize])
{
    lstrcpyA(path, AsioKeyPrefix);
    lstrcpynA(path + sizeof(AsioKeyPrefix) - 1, OemConfig.driverName.text, OemTextSize);
}

LONG SetText(HKEY key, const char* name, const char* text)
{
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), DWORD(lstrlenA(text) + 1));
}

// Creates or opens `path` under HKEY_LOCAL_MACHINE and writes one or two text values
// (a null name is the key's default value).
LONG WriteKey(const char* path, const char* name1, const char* text1, const char* name2 = nullptr,
              const char* text2 = nullptr)
{
    HKEY key;
    LONG error = RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (error != ERROR_SUCCESS) return error;
    error = SetText(key, name1, text1);
    if (error == ERROR_SUCCESS && text2 != nullptr) error = SetText(key, name2, text2);
    RegCloseKey(key);
    return error;
}

// The block may have been written by any tool. A name that is no registry key name
// would register as nested keys or onto SOFTWARE\ASIO itself, and unregistering under
// it would delete keys that are not the driver's; a class id that is malformed or an
// interface id of ours would make a host create the wrong object.
bool RegistrationIdentityUsable()
{
    return DriverNameFault(OemConfig.driverName.text, OemTextSize) == nullptr &&
           ClassIdFault(OemConfig.classId.text) == nullptr;
}

}  // namespace

HRESULT RegisterDriver()
{
    if (!RegistrationIdentityUsable()) return SELFREG_E_CLASS;
    const char* driverName = OemConfig.driverName.text;
    ModulePath modulePath;
    ReadModulePath(ModuleInstance, &modulePath);
    // A cut path would register a driver that no host can load.
    if (!modulePath.complete) return SELFREG_E_CLASS;

    char inprocPath[ClassKeyPathSize + sizeof(InprocServerSuffix)];
    BuildInprocServerPath(inprocPath);
    char asioPath[sizeof(AsioKeyPrefix) + OemTextSize];
    BuildAsioKeyPath(asioPath);

    LONG error = WriteKey(ClassKeyPath, nullptr, driverName);
    if (error == ERROR_SUCCESS) error = WriteKey(inprocPath, "ThreadingModel", "Apartment", nullptr, modulePath.text);
    if (error == ERROR_SUCCESS) error = WriteKey(asioPath, "CLSID", ClassIdText(), "Description", driverName);
    if (error == ERROR_SUCCESS) return S_OK;
    // Leave no half registration behind, and tell the installer.
    UnregisterDriver();
    return HRESULT_FROM_WIN32(error);
}

HRESULT UnregisterDriver()
{
    if (!RegistrationIdentityUsable()) return SELFREG_E_CLASS;
    char asioPath[sizeof(AsioKeyPrefix) + OemTextSize];
    BuildAsioKeyPath(asioPath);
    char inprocPath[ClassKeyPathSize + sizeof(InprocServerSuffix)];
    BuildInprocServerPath(inprocPath);

    RegDeleteKeyA(HKEY_LOCAL_MACHINE, asioPath);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, inprocPath);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, ClassKeyPath);
    return S_OK;
}
