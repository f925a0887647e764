// The host tool's stream command: options, the run, and its report, WAV and SVG files.
#pragma once

// `arguments` follow the word "stream": NAME [options]. Returns the exit code: 0 done,
// 1 failed (with the reason on stderr), 2 usage.
int StreamCommand(int count, char** arguments);

extern const char StreamUsage[];
