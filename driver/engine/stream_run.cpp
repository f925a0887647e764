#include "driver/engine/stream_run.h"

StreamRun Stream;
