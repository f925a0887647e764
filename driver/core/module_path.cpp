#include "driver/core/module_path.h"

void ReadModulePath(HMODULE module, ModulePath* path)
{
    DWORD length = GetModuleFileNameA(module, path->text, ModulePathSize);
    // A cut path fills the buffer, and Windows XP leaves it without a NUL.
    path->complete = length != 0 && length < ModulePathSize;
    path->length = length < ModulePathSize ? length : ModulePathSize - 1;
    path->text[path->length] = '\0';
}
