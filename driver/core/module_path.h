// The path of a module's file in one buffer size for the whole driver: the host
// program's path names its settings layer, its tooltip and its log; the driver's own
// path goes into its registration.
#pragma once

#include <windows.h>

constexpr DWORD ModulePathSize = 264;

struct ModulePath {
    char text[ModulePathSize];  // ends in a NUL; a longer path is cut to fit
    DWORD length;               // characters in text
    bool complete;              // false when the path was cut or could not be read
};

// The path of `module`'s file; a null module stands for the host program.
void ReadModulePath(HMODULE module, ModulePath* path);
