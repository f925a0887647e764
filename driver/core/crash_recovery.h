// Improper-shutdown guard: while a host holds the driver initialised, a marker bit in
// the global "Flags" setting is kept on disk; a clean shutdown clears it. A marker
// found at the first init of a process means the last session died: the user is
// warned once and audio stays off until the control panel has been closed. The marker
// is kept in the layer of the program that holds the driver, configuration programs in
// setup mode included, so that only that program's next session reports it.
#pragma once

// At the first init, after the global settings were loaded. Shows the warning (and
// blocks until it is dismissed) when the last session left the marker set.
void ArmCrashGuard();

// At the end of a session, after the streams were closed: clears the marker.
void DisarmCrashGuard();

// The control panel was closed: the next stream set-up opens the pins again.
void ClearAudioDisabled();
