// Hundreds of host sessions in one process, through the production build and the
// simulated one: create, init, createBuffers, start, stop, disposeBuffers, release.
// Whatever a session takes it gives back: the process's threads and handles stay flat
// and its committed memory grows by less than 1 KiB a session.
#include <gtest/gtest.h>
#include <objbase.h>

#include <atomic>
#include <cstdio>
#include <string>

#include "driver/tests/simulated_host.h"
#include "test_support/process_holdings.h"
#include "test_support/windows_test_support.h"

namespace {

constexpr int WarmUpSessions = 10;
constexpr int Sessions = 200;
constexpr std::size_t GrowthPerSessionBytes = 1024;

std::atomic<int> Switches;

void CountSwitch(long, ASIOBool)
{
    ++Switches;
}

long AnswerNoMessage(long, long, void*, double*)
{
    return 0;
}

typedef HRESULT(WINAPI* GetClassObjectFunction)(REFCLSID, REFIID, void**);

// A build loaded as COM loads it, its driver created through its class factory as
// CoCreateInstance would (no registration needed, so both builds can be used in turn).
class LoadedBuild {
public:
    explicit LoadedBuild(const std::string& path) : module_(LoadLibraryA(path.c_str()))
    {
        CLSIDFromString(std::wstring(classIdText_.begin(), classIdText_.end()).c_str(), &classId_);
    }
    ~LoadedBuild()
    {
        if (module_ != nullptr) FreeLibrary(module_);
    }
    bool Loaded() const { return module_ != nullptr; }

    IAsioDriver* Create() const
    {
        auto getClassObject = reinterpret_cast<GetClassObjectFunction>(
            reinterpret_cast<void*>(GetProcAddress(module_, "DllGetClassObject")));
        IClassFactory* factory = nullptr;
        if (getClassObject == nullptr ||
            FAILED(getClassObject(classId_, IID_IClassFactory, reinterpret_cast<void**>(&factory))))
            return nullptr;
        void* driver = nullptr;
        factory->CreateInstance(nullptr, classId_, &driver);
        factory->Release();
        return static_cast<IAsioDriver*>(driver);
    }

private:
    HMODULE module_;
    std::string classIdText_ = SimulatedBuild().registration.classId;  // both builds carry the shipped id
    CLSID classId_ = {};
};

// One whole session; false, with the step in `failure`, when a step fails.
bool RunSession(const LoadedBuild& build, std::string& failure)
{
    IAsioDriver* driver = build.Create();
    if (driver == nullptr) {
        failure = "create";
        return false;
    }
    bool streamed = false;
    if (driver->init(nullptr) != ASIOTrue) {
        failure = "init";
    } else {
        long inputs = 0, outputs = 0;
        driver->getChannels(&inputs, &outputs);
        ASIOBufferInfo infos[32];
        long count = 0;
        for (long channel = 0; channel < inputs && count < 32; ++channel) infos[count++] = {ASIOTrue, channel, {}};
        for (long channel = 0; channel < outputs && count < 32; ++channel) infos[count++] = {ASIOFalse, channel, {}};
        ASIOCallbacks callbacks = {CountSwitch, nullptr, AnswerNoMessage, nullptr};
        Switches = 0;
        if (driver->createBuffers(infos, count, 64, &callbacks) != ASE_OK) {
            failure = "createBuffers";
        } else if (driver->start() != ASE_OK) {
            failure = "start";
        } else {
            DWORD started = GetTickCount();
            while (Switches.load() < 2 && GetTickCount() - started < 3000) Sleep(1);
            streamed = Switches.load() >= 2;
            if (!streamed) failure = "no switches within 3 s";
        }
        driver->stop();
        driver->disposeBuffers();
    }
    driver->Release();
    return streamed;
}

void ExpectFlatAcrossSessions(const std::string& dllPath)
{
    LoadedBuild build(dllPath);
    ASSERT_TRUE(build.Loaded()) << dllPath;
    std::string failure;
    // What the first sessions make once (the registry's cached keys, Wine's first-use
    // objects) is there before anything is counted.
    for (int session = 0; session < WarmUpSessions; ++session)
        ASSERT_TRUE(RunSession(build, failure)) << "warm-up session " << session << ": " << failure;
    const ProcessHoldings before = SettledHoldings();
    const DWORD start = GetTickCount();
    for (int session = 0; session < Sessions; ++session)
        ASSERT_TRUE(RunSession(build, failure)) << "session " << session << ": " << failure;
    const DWORD took = GetTickCount() - start;
    const ProcessHoldings after = SettledHoldings();

    EXPECT_EQ(after.threads, before.threads) << "threads";
    EXPECT_EQ(after.handles, before.handles) << "handles";
    const long long growth =
        static_cast<long long>(after.committedBytes) - static_cast<long long>(before.committedBytes);
    EXPECT_LT(growth, static_cast<long long>(Sessions * GrowthPerSessionBytes)) << growth << " bytes more committed";
    std::printf("[ sessions ] %d in %lu ms (%.1f ms each); committed memory %+lld bytes, %zu handles, %zu threads\n",
                Sessions, took, double(took) / Sessions, growth, after.handles, after.threads);
}

class SessionCycles : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
        RegDeleteTreeA(HKEY_CURRENT_USER, SettingsKey(SimulatedBuild()).c_str());
    }
    void TearDown() override
    {
        RegDeleteTreeA(HKEY_CURRENT_USER, SettingsKey(SimulatedBuild()).c_str());
        CoUninitialize();
    }
};

TEST_F(SessionCycles, ProductionBuildWithoutADevice)
{
    ExpectFlatAcrossSessions(ExecutableDirectory() + KASKADE_DLL_FILE);
}

TEST_F(SessionCycles, SimulatedBuildStreamingItsDevices)
{
    ExpectFlatAcrossSessions(SimulatedBuild().dllPath);
}

}  // namespace
