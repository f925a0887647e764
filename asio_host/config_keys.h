// The settings that the configuration command may change, by record level: their
// names, setup-interface keys and the values it accepts.
#pragma once

#include <windows.h>

enum class RecordLevel { Device, Filter, Pin };

struct ConfigKey {
    const char* name;
    LONG key;  // setup-interface key of the level
    DWORD lowest;
    DWORD highest;
    const char* meaning;
};

// The writable key of `level` called `name`; null when there is none.
const ConfigKey* FindConfigKey(RecordLevel level, const char* name);
// Writable keys of `level`, ended by an entry with a null name.
const ConfigKey* ConfigKeysOf(RecordLevel level);
