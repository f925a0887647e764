#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "driver/core/oem_values.h"
#include "oem_tool/oem_block_file.h"
#include "oem_tool/tests/oem_test_image.h"
#include "oem_tool/tests/scratch_folder.h"

namespace {

const char FileName[] = "driver.dll";

std::vector<std::uint8_t> ClassIdBytes(const std::string& text)
{
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

class OemPatch : public ::testing::Test {
protected:
    std::vector<std::uint8_t> original_ = MakeOemTestImage();
    ScratchFolder folder_;
    std::string path_ = folder_.Write(FileName, original_);

    void ExpectPatched(const std::vector<OemEdit>& edits, const std::vector<std::uint8_t>& expected)
    {
        std::string error;
        std::vector<std::string> warnings;
        ASSERT_TRUE(PatchOemFile(path_, edits, error, &warnings)) << error;
        EXPECT_TRUE(warnings.empty());
        EXPECT_EQ(folder_.Read(path_), expected);
        EXPECT_EQ(folder_.Entries(), std::vector<std::string>{FileName});
    }
};

TEST_F(OemPatch, EachKindOfEditLandsInItsFieldAndNowhereElse)
{
    const std::string longestText(OemTextSize - 1, 'h');
    const std::string newClassId = "{FEDCBA98-7654-3210-fedc-ba9876543210}";
    struct Case {
        OemEdit edit;
        std::vector<std::uint8_t> value;
    };
    const Case cases[] = {
        {{"$OEM", "New"}, TextFieldBytes("New")},  // zero-fills the stale bytes
        {{"$HID", longestText}, TextFieldBytes(longestText)},
        {{"$CLS", newClassId}, ClassIdBytes(newClassId)},
        {{"$LIS", "0"}, NumberBytes(0)},
        {{"$LOS", "8192"}, NumberBytes(8192)},
        {{"$LIM", "1000"}, NumberBytes(1000)},
        {{"$LOM", "4294967295"}, NumberBytes(0xFFFFFFFFu)},
        {{"$BSK", "4"}, NumberBytes(4)},
        {{"$DFL", "0x41000"}, NumberBytes(0x41000)},
        {{"$INS", "0xFFFFFFFF"}, NumberBytes(0xFFFFFFFFu)},
        {{"$CPL", "0X3e8"}, NumberBytes(1000)},
        {{"$BSZ", "064"}, NumberBytes(64)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.edit.tag + " = " + c.edit.value);
        folder_.Write(FileName, original_);
        ExpectPatched({c.edit}, WithValue(original_, c.edit.tag, c.value));
    }
}

TEST_F(OemPatch, SetsEveryFieldAtOnceAndReadsThemBack)
{
    // A value each number field can hold, in block order from $LIS to $CPL.
    const std::uint32_t numbers[] = {100, 200, 3, 4, 3, 0x1000, 1, 2048, 1100};
    std::vector<OemEdit> edits;
    std::vector<std::uint8_t> expected = original_;
    std::size_t numberIndex = 0;
    for (const OemFieldLayout& field : OemFields) {
        switch (field.kind) {
        case OemValueKind::Text:
            edits.push_back({field.tag, std::string("text of ") + field.tag});
            expected = WithValue(expected, field.tag, TextFieldBytes(edits.back().value));
            break;
        case OemValueKind::ClassId:
            edits.push_back({field.tag, "{00000000-1111-2222-3333-444444444444}"});
            expected = WithValue(expected, field.tag, ClassIdBytes(edits.back().value));
            break;
        case OemValueKind::Number:
            edits.push_back({field.tag, std::to_string(numbers[numberIndex])});
            expected = WithValue(expected, field.tag, NumberBytes(numbers[numberIndex++]));
            break;
        }
    }
    ExpectPatched(edits, expected);

    std::vector<OemFieldValue> fields;
    std::string error;
    ASSERT_TRUE(ReadOemFile(path_, fields, error)) << error;
    EXPECT_EQ(fields[1].text, "text of $OEM");
    EXPECT_EQ(fields[4].number, 3u);
}

TEST_F(OemPatch, WarnsAboutADriverNameHostsCannotShowButPatchesIt)
{
    const std::string name(32, 'n');
    std::string error;
    std::vector<std::string> warnings;
    ASSERT_TRUE(PatchOemFile(path_, {{"$OEM", name}}, error, &warnings)) << error;
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("31"), std::string::npos) << warnings[0];
    EXPECT_EQ(folder_.Read(path_), WithValue(original_, "$OEM", TextFieldBytes(name)));

    warnings.clear();
    ASSERT_TRUE(PatchOemFile(path_, {{"$OEM", name.substr(1)}, {"$HID", name}}, error, &warnings));
    EXPECT_TRUE(warnings.empty());

    warnings.clear();
    const std::string longestKeyName(LongestKeyName, 'k');
    ASSERT_TRUE(PatchOemFile(path_, {{"$OEM", longestKeyName}}, error, &warnings)) << error;
    EXPECT_EQ(warnings.size(), 1u) << "a registry key name of 255 characters is still one";
}

// A block the driver runs with but that does not work as a vendor would mean: the
// warning names the field, and the file is patched all the same.
TEST_F(OemPatch, WarnsAboutAControlPanelThatOpensNothingAndAnEmptyHardwareId)
{
    const struct {
        OemEdit edit;
        const char* warned;
    } cases[] = {
        {{"$CPL", "1300"}, "$CPL"},
        {{"$CPL", "0"}, "$CPL"},
        {{"$HID", ""}, "$HID"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.edit.tag + " = " + c.edit.value);
        folder_.Write(FileName, original_);
        std::string error;
        std::vector<std::string> warnings;
        ASSERT_TRUE(PatchOemFile(path_, {c.edit}, error, &warnings)) << error;
        ASSERT_EQ(warnings.size(), 1u);
        EXPECT_NE(warnings[0].find(c.warned), std::string::npos) << warnings[0];
        EXPECT_NE(folder_.Read(path_), original_);

        // The block keeps warning while it holds the value, whatever a later edit changes.
        warnings.clear();
        ASSERT_TRUE(PatchOemFile(path_, {{"$OEM", "Later Name"}}, error, &warnings)) << error;
        EXPECT_EQ(warnings.size(), 1u);
    }
    for (std::uint32_t layout : ControlPanelLayouts) {
        std::string error;
        std::vector<std::string> warnings;
        ASSERT_TRUE(PatchOemFile(path_, {{"$CPL", std::to_string(layout)}, {"$HID", "USB\\VID_1"}}, error, &warnings));
        EXPECT_TRUE(warnings.empty()) << layout;
    }
}

TEST_F(OemPatch, RefusesBadEditsAndLeavesTheFileByteIdentical)
{
    const struct {
        const char* tag;
        std::string value;
    } refused[] = {
        {"$OEM", std::string(OemTextSize, 'n')},
        {"$HID", std::string(OemTextSize + 40, 'h')},
        {"$OEM", std::string("a\0b", 3)},
        // Names that cannot be a registry key name: registration would nest keys, write
        // onto SOFTWARE\ASIO itself, or fail.
        {"$OEM", ""},
        {"$OEM", "Vendor\\Driver"},
        {"$OEM", "\\"},
        {"$OEM", "Tab\tName"},
        {"$OEM", "Line\nBreak"},
        {"$OEM", "Escape\x1b[2J"},
        {"$OEM", "Delete\x7f"},
        {"$OEM", std::string(LongestKeyName + 1, 'n')},
        // Class ids no class may have: none at all, or an interface the driver answers to.
        {"$CLS", "{00000000-0000-0000-0000-000000000000}"},
        {"$CLS", "{00000000-0000-0000-c000-000000000046}"},
        {"$CLS", "{00000001-0000-0000-C000-000000000046}"},
        {"$CLS", "{a26078c5-2840-4726-b427-e60fc8fee403}"},
        {"$CLS", "{0123ABCD-4567-89EF-ABCD-0123456789A}"},    // 37 characters
        {"$CLS", "{0123ABCD-4567-89EF-ABCD-0123456789AB0}"},  // 39 characters
        {"$CLS", "(0123ABCD-4567-89EF-ABCD-0123456789AB)"},
        {"$CLS", "00123ABCD-4567-89EF-ABCD-0123456789AB0"},
        {"$CLS", "{0123ABCG-4567-89EF-ABCD-0123456789AB}"},
        {"$CLS", "{0123ABC-D4567-89EF-ABCD-0123456789AB}"},
        {"$CLS", "{0123ABCD-4567-89EF-ABCD0-123456789AB}"},
        // Numbers outside what the driver works with.
        {"$LIS", "8193"},
        {"$LOS", "0x7FFFFFFF"},
        {"$LOS", "0x80000000"},
        {"$LIM", "1001"},
        {"$LOM", "0xFFFFFFFE"},
        {"$BSK", "1"},
        {"$BSK", "5"},
        {"$BSK", "0"},
        {"$BSZ", "63"},
        {"$BSZ", "2049"},
        {"$LIS", "4294967296"},
        {"$LIS", "0x100000000"},
        {"$LIS", "99999999999999999999999"},
        {"$LOS", "-1"},
        {"$LOS", "+1"},
        {"$BSK", ""},
        {"$BSK", "0x"},
        {"$BSZ", "12abc"},
        {"$BSZ", "0x1g"},
        {"$BSZ", " 256"},
        {"$CPL", "1e3"},
        {"$XYZ", "1"},
    };
    for (const auto& edit : refused) {
        SCOPED_TRACE(std::string(edit.tag) + " = \"" + edit.value + "\"");
        std::string error;
        // A valid edit first: it must not be written either.
        EXPECT_FALSE(PatchOemFile(path_, {{"$INS", "1"}, {edit.tag, edit.value}}, error));
        EXPECT_NE(error.find(edit.tag), std::string::npos) << error;
        EXPECT_EQ(folder_.Read(path_), original_);
        EXPECT_EQ(folder_.Entries(), std::vector<std::string>{FileName});
    }

    std::string error;
    EXPECT_FALSE(PatchOemFile(path_, {{"$BSZ", "128"}, {"$BSZ", "256"}}, error));
    EXPECT_EQ(folder_.Read(path_), original_);
}

TEST_F(OemPatch, RefusesFilesWithoutExactlyOneWellFormedBlock)
{
    const auto overwrite = [](std::size_t offset, const char* bytes) {
        return [offset, bytes](std::vector<std::uint8_t>& image) {
            std::memcpy(&image[offset], bytes, std::strlen(bytes));
        };
    };
    const std::size_t block = TestBlockOffset;
    const struct {
        const char* name;
        std::function<void(std::vector<std::uint8_t>&)> damage;
    } damaged[] = {
        {"no magic", overwrite(block, "oEmCoNfX")},
        {"second magic after the block", overwrite(block + OemBlockSize + 8, OemMagic)},
        {"second magic before the block", overwrite(0x40, OemMagic)},
        {"wrong tag", overwrite(block + OemFields[2].offset, "$LIX")},
        {"tag out of order", overwrite(block + OemFields[3].offset, "$LIS")},
        {"lower-case tag ends the walk early", overwrite(block + OemFields[5].offset, "$lom")},
        {"text length one too long", overwrite(block + OemFields[0].offset + 4, "\x09\x01")},
        {"number length too short", overwrite(block + OemFields[7].offset + 4, "\x04")},
        {"class id length", overwrite(block + OemFields[11].offset + 4, "\x2B")},
        {"extra field after the last", overwrite(block + OemBlockSize, "$XYZ")},
    };
    for (const auto& file : damaged) {
        SCOPED_TRACE(file.name);
        std::vector<std::uint8_t> image = original_;
        file.damage(image);
        folder_.Write(FileName, image);
        std::string error;
        EXPECT_FALSE(PatchOemFile(path_, {{"$OEM", "Valid"}}, error));
        EXPECT_NE(error.find(FileName), std::string::npos) << error;
        EXPECT_EQ(folder_.Read(path_), image);
        EXPECT_EQ(folder_.Entries(), std::vector<std::string>{FileName});
    }
}

TEST_F(OemPatch, ReportsAMissingFile)
{
    std::string error;
    EXPECT_FALSE(PatchOemFile((folder_.Path() / "absent.dll").string(), {{"$OEM", "x"}}, error));
    EXPECT_NE(error.find("absent.dll"), std::string::npos) << error;
}

TEST_F(OemPatch, KeepsThePermissionsOfTheFile)
{
    using std::filesystem::perms;
    const perms chosen = perms::owner_read | perms::owner_write | perms::group_read;
    std::filesystem::permissions(path_, chosen);
    const perms before = std::filesystem::status(path_).permissions();
    std::string error;
    ASSERT_TRUE(PatchOemFile(path_, {{"$BSK", "4"}}, error)) << error;
    EXPECT_EQ(std::filesystem::status(path_).permissions(), before);
}

TEST_F(OemPatch, PatchesTheTargetOfASymbolicLinkAndKeepsTheLink)
{
    const std::filesystem::path link = folder_.Path() / "link.dll";
    std::error_code linkError;
    std::filesystem::create_symlink(path_, link, linkError);
    if (linkError) {
        GTEST_SKIP() << "no symbolic links here: " << linkError.message();
    }
    std::string error;
    ASSERT_TRUE(PatchOemFile(link.string(), {{"$BSK", "4"}}, error)) << error;
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(folder_.Read(path_), WithValue(original_, "$BSK", NumberBytes(4)));
}

}  // namespace
