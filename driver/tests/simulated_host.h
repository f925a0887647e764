// A host's side of the simulated driver builds: found in the registry after regsvr32,
// created through COM, and called back on the driver's streaming thread. The callbacks
// record what they saw for the tests to examine.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <functional>
#include <string>

#include "asio_host/asio_driver.h"
#include "asio_host/installed_drivers.h"

struct DriverUnderTest {
    std::string dllPath;
    InstalledDriver registration;
};

// The simulated build beside the test, with the shipped OEM block.
DriverUnderTest SimulatedBuild();
// A copy of the simulated build whose hardware id matches no device, with a name and
// class id of its own. Made on first use.
DriverUnderTest NoDeviceBuild();

// The driver's settings under HKEY_CURRENT_USER: "SOFTWARE\<driver name>".
std::string SettingsKey(const DriverUnderTest& driver);

// Registers with the regsvr32 of this bitness; false when that fails.
bool Register(const DriverUnderTest& driver);
// Removes the registration and the driver's settings under HKEY_CURRENT_USER.
void RemoveRegistrationAndSettings(const DriverUnderTest& driver);
// Stores a global setting in the driver's "Defaults" layer.
void StoreDefaultsValue(const DriverUnderTest& driver, const char* name, DWORD value);

// Creates the driver as hosts do; null when COM refuses.
IAsioDriver* CreateThroughCom(const DriverUnderTest& driver);

// Registers a build once for all the tests of an executable, and removes it afterwards.
class BuildRegistration : public testing::Environment {
public:
    explicit BuildRegistration(std::function<DriverUnderTest()> build) : build_(std::move(build)) {}
    void SetUp() override
    {
        RemoveRegistrationAndSettings(build_());
        ASSERT_TRUE(Register(build_()));
    }
    void TearDown() override { RemoveRegistrationAndSettings(build_()); }

private:
    std::function<DriverUnderTest()> build_;
};

unsigned long long SamplesOf(const ASIOSamples& samples);

// What one bufferSwitch saw.
struct SwitchRecord {
    long index;
    ASIOBool directProcess;
    unsigned long long samplePosition;  // from getSamplePosition inside the callback
    ASIOError outputReadyResult;        // when the host calls outputReady in the callback
};

// Habits of the recording host, set before start.
extern std::atomic<bool> CallOutputReadyInSwitch;
extern std::atomic<bool> StopInFirstSwitch;

// Forgets what was recorded; the callbacks then ask `driver` for its sample position.
void ResetRecorder(IAsioDriver* driver);
ASIOCallbacks RecordingCallbacks();
int RecordedSwitches();
const SwitchRecord& RecordedSwitch(int number);
// Waits until `count` switches were recorded; false when `timeoutMs` passed first.
bool WaitForSwitches(int count, DWORD timeoutMs);
// Switches recorded during the next `milliseconds`.
int CountSwitchesDuring(DWORD milliseconds);

// Expected switches in a second at this buffer size and rate, with generous bounds
// for a loaded test machine.
int SwitchesPerSecond(long bufferSize, double rate);
bool IsPlausibleSwitchCount(int counted, long bufferSize, double rate);
