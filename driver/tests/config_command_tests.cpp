// The configuration command on the registered simulated build with its product: what
// it shows, what it writes to "Defaults" and how hosts then see it, and what it refuses.
#include <gtest/gtest.h>
#include <objbase.h>

#include <cstdio>
#include <string>
#include <vector>

#include "asio_host/config_command.h"
#include "asio_host/driver_setup.h"
#include "driver/tests/simulated_host.h"

namespace {

const DriverUnderTest& Build()
{
    static const DriverUnderTest build = SimulatedBuild();
    return build;
}

const auto* const registration = testing::AddGlobalTestEnvironment(new BuildRegistration(Build));

std::string ReadAll(std::FILE* file)
{
    std::string text;
    std::rewind(file);
    char buffer[512];
    for (size_t count; (count = std::fread(buffer, 1, sizeof(buffer), file)) > 0;) text.append(buffer, count);
    return text;
}

class ConfigCommand : public testing::Test {
protected:
    void SetUp() override
    {
        RegDeleteTreeA(HKEY_CURRENT_USER, SettingsKey(Build()).c_str());
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    }
    void TearDown() override
    {
        CoUninitialize();
        RegDeleteTreeA(HKEY_CURRENT_USER, SettingsKey(Build()).c_str());
    }

    // Runs "kaskade-config <driver> words..."; keeps what it printed.
    int Run(std::vector<std::string> words)
    {
        std::vector<char*> argv;
        std::string program = "kaskade-config";
        std::string name = Build().registration.name;
        argv.push_back(&program[0]);
        argv.push_back(&name[0]);
        for (auto& word : words) argv.push_back(&word[0]);
        std::FILE* out = std::tmpfile();
        std::FILE* err = std::tmpfile();
        int result = RunConfigCommand(int(argv.size()), argv.data(), out, err);
        printed = ReadAll(out);
        refused = ReadAll(err);
        std::fclose(out);
        std::fclose(err);
        return result;
    }

    // A value of a device as a host without settings of its own reads it.
    DWORD HostDeviceValue(LONG key)
    {
        IAsioDriver* driver = CreateThroughCom(Build());
        EXPECT_NE(driver, nullptr);
        if (driver == nullptr) return 0;
        EXPECT_EQ(driver->init(nullptr), ASIOTrue);
        void* setup = nullptr;
        DWORD value = 0xFFFFFFFF;
        if (SUCCEEDED(driver->QueryInterface(IID_IDriverSetup, &setup))) {
            EXPECT_EQ(static_cast<IDriverSetup*>(setup)->GetDeviceValue(key, 0, &value, sizeof(value)), S_OK);
            static_cast<IDriverSetup*>(setup)->Release();
        }
        driver->Release();
        return value;
    }

    // Sets a device value as a host does for itself, in its own layer.
    void SetAsHost(LONG key, DWORD value)
    {
        IAsioDriver* driver = CreateThroughCom(Build());
        ASSERT_NE(driver, nullptr);
        EXPECT_EQ(driver->init(nullptr), ASIOTrue);
        void* setup = nullptr;
        if (SUCCEEDED(driver->QueryInterface(IID_IDriverSetup, &setup))) {
            EXPECT_EQ(static_cast<IDriverSetup*>(setup)->SetDeviceValue(key, 0, &value, sizeof(value)), S_OK);
            static_cast<IDriverSetup*>(setup)->Release();
        }
        driver->Release();
    }

    // The "Flags" line of pin 0.0.0 as "show" prints it.
    std::string FirstPinFlags()
    {
        EXPECT_EQ(Run({"show"}), 0);
        const size_t pin = printed.find("pin 0.0.0\n");
        if (pin == std::string::npos) return "";
        const size_t line = printed.find('\n', pin) + 1;
        return printed.substr(line, printed.find('\n', line) - line);
    }

    std::string printed;
    std::string refused;
};

TEST_F(ConfigCommand, ShowsEveryLevelOfTheTree)
{
    ASSERT_EQ(Run({"show"}), 0) << refused;
    EXPECT_NE(printed.find("device 0\n"), std::string::npos) << printed;
    EXPECT_NE(printed.find("BufferSize"), std::string::npos);
    EXPECT_NE(printed.find("filter 0.0\n"), std::string::npos);
    EXPECT_NE(printed.find("pin 0.0.0\n"), std::string::npos);
    EXPECT_NE(printed.find("HighestRate"), std::string::npos);
    EXPECT_EQ(Run({"rescan"}), 0) << refused;
    EXPECT_NE(printed.find("rescanned: "), std::string::npos);
}

TEST_F(ConfigCommand, DefaultsReachAHostWithoutSettingsOfItsOwn)
{
    ASSERT_EQ(Run({"set", "device", "0", "buffer-size", "0512"}), 0) << refused;
    ASSERT_EQ(Run({"set", "device", "0", "latency-out", "0x20"}), 0) << refused;
    EXPECT_EQ(HostDeviceValue(11), 512u) << "a number with a leading zero is decimal too";
    EXPECT_EQ(HostDeviceValue(10), 32u);
}

// Support must see that "Defaults" does not reach a host that saved a value of its own,
// and which hosts those are.
TEST_F(ConfigCommand, SaysWhichHostsKeepValuesOfTheirOwnOverDefaults)
{
    ASSERT_EQ(Run({"hosts"}), 0) << refused;
    EXPECT_NE(printed.find("No host program has values of its own"), std::string::npos) << printed;

    SetAsHost(11, 512);
    char program[MAX_PATH];
    GetModuleFileNameA(nullptr, program, sizeof(program));
    ASSERT_EQ(Run({"hosts"}), 0) << refused;
    EXPECT_NE(printed.find(std::string(program) + "\n"), std::string::npos) << printed;
    EXPECT_NE(printed.find("BufferSize      512\n"), std::string::npos) << printed;

    ASSERT_EQ(Run({"set", "device", "0", "buffer-size", "256"}), 0) << refused;
    EXPECT_NE(printed.find("1 host program(s) saved values of their own and keep them over \"Defaults\""),
              std::string::npos)
        << printed;
    EXPECT_NE(printed.find(std::string(program) + " keeps its own BufferSize of 512 for this device"),
              std::string::npos)
        << printed;
    EXPECT_EQ(HostDeviceValue(11), 512u) << "as the command said";
    // A host saving one device value saves them all.
    ASSERT_EQ(Run({"set", "device", "0", "latency-in", "16"}), 0) << refused;
    EXPECT_NE(printed.find(" keeps its own LtcyIn of 0 for this device"), std::string::npos) << printed;

    ASSERT_EQ(Run({"show"}), 0) << refused;
    EXPECT_NE(printed.find("keep them over \"Defaults\""), std::string::npos) << printed;
}

TEST_F(ConfigCommand, EnablingChangesOnlyTheEnabledBit)
{
    ASSERT_EQ(Run({"set", "pin", "0", "0", "0", "enabled", "off"}), 0) << refused;
    EXPECT_NE(FirstPinFlags().find("(disabled)"), std::string::npos) << printed;
    ASSERT_EQ(Run({"set", "pin", "0", "0", "0", "enabled", "on"}), 0) << refused;
    EXPECT_NE(FirstPinFlags().find("(enabled)"), std::string::npos) << printed;
}

TEST_F(ConfigCommand, RefusesWhatItCannotWriteAndWritesNothing)
{
    const std::vector<std::vector<std::string>> refusals = {
        {"set", "device", "0", "buffer-size", "8"},        {"set", "device", "0", "kernel-buffers", "5"},
        {"set", "device", "0", "buffer-position", "ten"},  {"set", "device", "-1", "buffer-size", "512"},
        {"set", "device", "9", "buffer-size", "512"},      {"set", "filter", "0", "99", "flags", "0"},
        {"set", "pin", "0", "0", "999", "enabled", "on"},  {"set", "pin", "0", "0", "0", "kernel-buffers", "4"},
        {"set", "pin", "0", "0", "0", "enabled", "maybe"}, {"set", "device", "0", "buffer-size", "0x100000000"},
    };
    for (const auto& words : refusals) {
        EXPECT_EQ(Run(words), 1) << words[1] << " " << words[words.size() - 2] << " " << words.back();
        EXPECT_NE(refused.find("kaskade-config: "), std::string::npos) << "explains the refusal";
    }
    EXPECT_EQ(Run({"set", "device", "9", "buffer-size", "512"}), 1);
    EXPECT_NE(refused.find("devices are numbered 0 to"), std::string::npos) << refused;
    DWORD stored = 0;
    DWORD size = sizeof(stored);
    std::string defaults = SettingsKey(Build()) + "\\Defaults";
    EXPECT_NE(
        RegGetValueA(HKEY_CURRENT_USER, defaults.c_str(), "BufferSize", RRF_RT_REG_DWORD, nullptr, &stored, &size),
        ERROR_SUCCESS);
    EXPECT_EQ(Run({"bogus"}), 2);
}

}  // namespace
