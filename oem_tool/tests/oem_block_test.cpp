#include <gtest/gtest.h>

#include "oem_tool/oem_block_file.h"
#include "oem_tool/tests/oem_test_image.h"

namespace {

TEST(OemBlock, LocatesTheBlockAndReadsEveryField)
{
    const std::vector<std::uint8_t> image = MakeOemTestImage();
    std::size_t blockOffset = 0;
    std::string error;
    ASSERT_TRUE(LocateOemBlock(image, blockOffset, error)) << error;
    EXPECT_EQ(blockOffset, TestBlockOffset);

    const std::vector<OemFieldValue> fields = ReadOemFields(image, blockOffset);
    ASSERT_EQ(fields.size(), OemFieldCount);
    EXPECT_STREQ(fields[0].layout.tag, "$HID");
    EXPECT_EQ(fields[0].text, TestHardwareId);
    EXPECT_EQ(fields[1].text, TestDriverName);  // stops at the NUL, not at the stale bytes
    for (std::size_t i = 0; i < 9; ++i) {
        EXPECT_EQ(fields[2 + i].number, TestNumbers[i]) << fields[2 + i].layout.tag;
    }
    EXPECT_EQ(fields[11].text, TestClassId);
}

TEST(OemBlock, AcceptsABlockThatEndsTheFile)
{
    std::vector<std::uint8_t> image = MakeOemTestImage();
    image.resize(TestBlockOffset + OemBlockSize);
    std::size_t blockOffset = 0;
    std::string error;
    EXPECT_TRUE(LocateOemBlock(image, blockOffset, error)) << error;
}

TEST(OemBlock, RefusesABlockCutOffByTheEndOfTheFile)
{
    const std::vector<std::uint8_t> full = MakeOemTestImage();
    // Inside a tag, inside a length, inside a text value and inside the class id.
    for (std::size_t end : {std::size_t{10}, std::size_t{14}, std::size_t{300}, OemBlockSize - 1}) {
        SCOPED_TRACE(end);
        const std::vector<std::uint8_t> image(full.begin(), full.begin() + TestBlockOffset + end);
        std::size_t blockOffset = 0;
        std::string error;
        EXPECT_FALSE(LocateOemBlock(image, blockOffset, error));
        EXPECT_FALSE(error.empty());
    }
}

}  // namespace
