// The devices' sample clock: a thread that every millisecond (one USB frame) moves
// every running pin of every present device on by the frames its clock produced.
// Standard pins consume queued render requests and fill queued capture requests,
// completing each when it is whole; looped pins advance their position, register and
// notifications. It is off until started, so that tests which step pins by hand stay
// deterministic; Clear() stops it.
#pragma once

namespace hardware_simulator {

// Does nothing when the clock already runs; returns once the clock's thread runs. Must
// not be called holding the simulator's lock, nor the loader lock.
void StartDeviceClock();
// For a DLL's load, under the loader lock, where no thread can start: the clock starts
// with the first filter a client opens instead.
void StartDeviceClockAtFirstUse();
// Starts the clock if StartDeviceClockAtFirstUse asked for it and it has not started yet.
void StartDeviceClockIfAsked();
// Does nothing when the clock is not running. Completions still held back for later are
// delivered once the clock has stopped. Must not be called holding the simulator's lock,
// nor the loader lock (see below).
void StopDeviceClock();
// The same from a DLL's unload, where the loader lock is held.
void StopDeviceClockInDllUnload();
// Whether the clock runs: only then can completions come later than the call that
// caused them.
bool DeviceClockRunning();

}  // namespace hardware_simulator
