// The program's entry point: the toolkit runs VolumeApplication.
#include "volume_panel/application/volume_application.h"

START_JUCE_APPLICATION(volume_panel::VolumeApplication)
