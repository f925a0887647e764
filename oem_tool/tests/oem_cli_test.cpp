#include <gtest/gtest.h>

#include <sstream>

#include "oem_tool/oem_cli.h"
#include "oem_tool/oem_field_descriptions.h"
#include "oem_tool/tests/oem_test_image.h"
#include "oem_tool/tests/scratch_folder.h"

namespace {

class OemCli : public ::testing::Test {
protected:
    std::vector<std::uint8_t> original_ = MakeOemTestImage();
    ScratchFolder folder_;
    std::string path_ = folder_.Write("driver.dll", original_);
    std::ostringstream out_;
    std::ostringstream err_;

    int Run(const std::vector<std::string>& arguments)
    {
        out_.str("");
        err_.str("");
        return RunOemCli(arguments, out_, err_);
    }
};

TEST_F(OemCli, ShowPrintsEveryFieldWithItsMeaning)
{
    ASSERT_EQ(Run({"show", path_}), OemCliSuccess) << err_.str();
    const std::string shown = out_.str();
    for (const OemFieldDescription& description : OemFieldDescriptions) {
        EXPECT_NE(shown.find(std::string(description.tag) + "  " + description.meaning), std::string::npos)
            << description.tag;
    }
    EXPECT_NE(shown.find("\"USB\\VID_1234&PID_5678\"\n"), std::string::npos) << shown;
    EXPECT_NE(shown.find("1200 (0x000004B0)\n"), std::string::npos) << shown;
    EXPECT_NE(shown.find("4294967295 (0xFFFFFFFF), from the device quirk table\n"), std::string::npos) << shown;
    EXPECT_NE(shown.find(std::string("\"") + TestClassId + "\""), std::string::npos) << shown;
}

// Another tool may have written what this one refuses: show prints it harmlessly and
// says what the driver will make of it.
TEST_F(OemCli, ShowEscapesControlCharactersAndFlagsValuesFromTheFile)
{
    const char name[] = "Bad\x1b[2JName";
    std::vector<std::uint8_t> image = WithValue(original_, "$OEM", TextFieldBytes(std::string(name, sizeof(name) - 1)));
    image = WithValue(WithValue(image, "$CPL", NumberBytes(1300)), "$HID", TextFieldBytes(""));
    folder_.Write("driver.dll", image);
    ASSERT_EQ(Run({"show", path_}), OemCliSuccess);
    EXPECT_NE(out_.str().find("\"Bad\\x1B[2JName\""), std::string::npos) << out_.str();
    EXPECT_NE(out_.str().find("1300 (0x00000514), none of the driver's dialogs\n"), std::string::npos) << out_.str();
    EXPECT_NE(out_.str().find("\"\", every audio device matches\n"), std::string::npos) << out_.str();
}

TEST_F(OemCli, SetTakesValuesAfterOrInsideTheOptionAndWarnsOnStandardError)
{
    const std::string longName(40, 'n');
    ASSERT_EQ(Run({"set", "--input-latency=0x20", path_, "--name", longName}), OemCliSuccess) << err_.str();
    EXPECT_EQ(folder_.Read(path_),
              WithValue(WithValue(original_, "$LIS", NumberBytes(0x20)), "$OEM", TextFieldBytes(longName)));
    EXPECT_NE(err_.str().find("warning"), std::string::npos) << err_.str();

    ASSERT_EQ(Run({"set", path_, "--control-panel", "1300", "--hardware-id="}), OemCliSuccess) << err_.str();
    EXPECT_NE(err_.str().find("warning: control panel dialog 1300 ($CPL)"), std::string::npos) << err_.str();
    EXPECT_NE(err_.str().find("warning: the hardware-id pattern ($HID) is empty"), std::string::npos) << err_.str();
}

TEST_F(OemCli, RefusalsAndUsageErrorsLeaveTheFileAlone)
{
    const struct {
        std::vector<std::string> arguments;
        int exitCode;
    } runs[] = {
        {{}, OemCliBadUsage},
        {{"patch", path_}, OemCliBadUsage},
        {{"show"}, OemCliBadUsage},
        {{"set", path_}, OemCliBadUsage},
        {{"set", "--name", "x"}, OemCliBadUsage},
        {{"set", path_, "--colour", "red"}, OemCliBadUsage},
        {{"set", path_, "--name"}, OemCliBadUsage},
        {{"set", path_, path_, "--name", "x"}, OemCliBadUsage},
        {{"set", path_, "--name", "ok", "--buffer-size", "-256"}, OemCliRefused},
        {{"set", path_, "--name", "ok", "--name", "again"}, OemCliRefused},
        {{"set", path_, "--name", "Vendor\\Driver"}, OemCliRefused},
        {{"set", path_, "--name", ""}, OemCliRefused},
        {{"set", path_, "--name", "Bell\a"}, OemCliRefused},
        {{"set", path_, "--kernel-buffers", "8"}, OemCliRefused},
        {{"set", path_, "--class-id", "{00000001-0000-0000-C000-000000000046}"}, OemCliRefused},
        {{"show", path_ + ".missing"}, OemCliRefused},
    };
    for (const auto& run : runs) {
        std::string commandLine;
        for (const std::string& argument : run.arguments) {
            commandLine += argument + " ";
        }
        SCOPED_TRACE(commandLine);
        EXPECT_EQ(Run(run.arguments), run.exitCode);
        EXPECT_FALSE(err_.str().empty());
        EXPECT_EQ(folder_.Read(path_), original_);
    }
}

TEST_F(OemCli, HelpListsEveryOption)
{
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"--help"}, {"set", "--help"}, {"show", "-h"}}) {
        ASSERT_EQ(Run(arguments), OemCliSuccess);
        for (const OemFieldDescription& description : OemFieldDescriptions) {
            EXPECT_NE(out_.str().find(std::string("--") + description.option), std::string::npos) << description.option;
        }
    }
}

}  // namespace
