// The shipped QORDA-8.exe carries its version, icon group and manifest.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

namespace {

std::string versionText(const std::vector<char>& info, const char* name)
{
    char* value = nullptr;
    UINT length = 0;
    const std::string path = std::string("\\StringFileInfo\\040904B0\\") + name;
    if (! VerQueryValueA(info.data(), path.c_str(), reinterpret_cast<void**>(&value), &length) || value == nullptr)
        return {};
    return value;
}

class ExecutableResources : public testing::Test
{
protected:
    void SetUp() override
    {
        module = LoadLibraryExA(QORDA8_EXE, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_NE(module, nullptr) << QORDA8_EXE;
    }

    void TearDown() override { FreeLibrary(module); }

    std::string resource(LPCSTR type, LPCSTR name) const
    {
        HRSRC found = FindResourceA(module, name, type);
        if (found == nullptr)
            return {};
        const auto* data = static_cast<const char*>(LockResource(LoadResource(module, found)));
        return std::string(data, SizeofResource(module, found));
    }

    HMODULE module = nullptr;
};

TEST_F(ExecutableResources, VersionIsOnePointZeroPointFour)
{
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeA(QORDA8_EXE, &handle);
    ASSERT_GT(size, 0u);
    std::vector<char> info(size);
    ASSERT_TRUE(GetFileVersionInfoA(QORDA8_EXE, 0, size, info.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(0, 1));
    EXPECT_EQ(fixed->dwFileVersionLS, MAKELONG(0, 4));
    EXPECT_EQ(fixed->dwProductVersionMS, MAKELONG(0, 1));
    EXPECT_EQ(fixed->dwProductVersionLS, MAKELONG(0, 4));

    EXPECT_EQ(versionText(info, "FileDescription"), "QORDA-8 program file");
    EXPECT_EQ(versionText(info, "InternalName"), "QORDA-8");
    EXPECT_EQ(versionText(info, "ProductName"), "QORDA-8 1.0.4");
    EXPECT_EQ(versionText(info, "CompanyName"), "Velmora");
    EXPECT_EQ(versionText(info, "FileVersion"), "1.0.4.0");
}

TEST_F(ExecutableResources, IconGroupHoldsFourThirtyTwoBitSizes)
{
#pragma pack(push, 2)
    struct GroupEntry
    {
        BYTE width, height, colours, reserved;
        WORD planes, bitCount;
        DWORD bytes;
        WORD id;
    };
#pragma pack(pop)
    const std::string group = resource(RT_GROUP_ICON, MAKEINTRESOURCEA(1));
    ASSERT_GE(group.size(), 6u);
    const WORD count = *reinterpret_cast<const WORD*>(group.data() + 4);
    ASSERT_EQ(count, 4);
    ASSERT_EQ(group.size(), 6u + count * sizeof(GroupEntry));

    const auto* entries = reinterpret_cast<const GroupEntry*>(group.data() + 6);
    const int sizes[] { 128, 48, 32, 16 };
    for (int index = 0; index < 4; ++index)
    {
        EXPECT_EQ(entries[index].width, sizes[index]);
        EXPECT_EQ(entries[index].bitCount, 32);
        EXPECT_FALSE(resource(RT_ICON, MAKEINTRESOURCEA(entries[index].id)).empty());
    }
}

TEST_F(ExecutableResources, ManifestAsksToRunAsInvokerAndNamesNoSystems)
{
    const std::string manifest = resource(RT_MANIFEST, MAKEINTRESOURCEA(1));
    EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos);
    EXPECT_NE(manifest.find("uiAccess=\"false\""), std::string::npos);
    EXPECT_EQ(manifest.find("supportedOS"), std::string::npos);
}

}  // namespace
