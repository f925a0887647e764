// The program's version, read by the C++ code and by the version resource.
#pragma once

#define VOLUME_PANEL_VERSION_MAJOR 1
#define VOLUME_PANEL_VERSION_MINOR 0
#define VOLUME_PANEL_VERSION_BUILD 4
