// The devices' sample clock: a thread that every millisecond (one USB frame) moves
// every running pin of every present device on by the frames its clock produced.
// Standard pins consume queued render requests and fill queued capture requests,
// completing each when it is whole; looped pins advance their position, register and
// notifications. It is off until started, so that tests which step pins by hand stay
// deterministic; Clear() stops it.
#pragma once

namespace hardware_simulator {

// Does nothing when the clock already runs. Must not be called holding the simulator's lock.
void StartDeviceClock();
// Does nothing when the clock is not running. Completions still held back for later are
// delivered once the clock has stopped. Must not be called holding the simulator's lock,
// nor the loader lock (see below).
void StopDeviceClock();
// The same from a DLL's unload, where the loader lock is held: a clock thread that has
// not started yet cannot start then, and is ended before it runs any of the DLL's code.
void StopDeviceClockInDllUnload();
// Whether the clock runs: only then can completions come later than the call that
// caused them.
bool DeviceClockRunning();

}  // namespace hardware_simulator
