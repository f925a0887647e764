// The built DLL as hosts, installers and vendors meet it: its OEM block, registration
// through regsvr32 in this bitness's registry view, creation by a host through COM, and
// a copy patched by the OEM tool.
#include <gtest/gtest.h>
#include <objbase.h>

#include <cstdio>
#include <cstring>

#include "asio_host/installed_drivers.h"
#include "oem_tool/oem_block_file.h"
#include "test_support/windows_test_support.h"

namespace {

struct Product {
    const char* hardwareId;
    const char* driverName;
    const char* classId;
};

#if defined(KASKADE_PRODUCT_QORDA_8)
const Product Shipped = {"USB\\VID_200C&PID_1002&REV_0100&MI_00", "VelmoraAsioQorda8",
                         "{DF83B1FC-6DE1-4072-B97B-C80B98AB62CF}"};
#else
const Product Shipped = {"USB\\VID_4446&PID_0001", "Velmora ASIO QORDA DESK PRO",
                         "{3B044C5C-8A96-4F5F-993B-33254E117467}"};
#endif

const Product Patched = {"USB\\VID_1234&PID_5678", "Kaskade Patched Test Driver",
                         "{0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0}"};

std::string DllPath()
{
    return ExecutableDirectory() + KASKADE_DLL_FILE;
}

std::string ClassKey(const Product& product)
{
    return std::string("SOFTWARE\\Classes\\CLSID\\") + product.classId;
}

std::string AsioKey(const Product& product)
{
    return std::string("SOFTWARE\\ASIO\\") + product.driverName;
}

int Regsvr32(const std::string& options, const std::string& dll)
{
    // A 32-bit process starts the 32-bit regsvr32, a 64-bit one the 64-bit.
    return RunProcess("regsvr32.exe /s " + options + "\"" + dll + "\"");
}

void ExpectRegistered(const Product& product, const std::string& dll)
{
    EXPECT_EQ(ReadMachineText(ClassKey(product), nullptr), product.driverName);
    const std::string inproc = ClassKey(product) + "\\InprocServer32";
    EXPECT_EQ(ReadMachineText(inproc, "ThreadingModel"), "Apartment");
    auto server = ReadMachineText(inproc, nullptr);
    ASSERT_TRUE(server.has_value());
    EXPECT_EQ(_stricmp(server->c_str(), dll.c_str()), 0) << *server;
    EXPECT_EQ(ReadMachineText(AsioKey(product), "CLSID"), product.classId);
    EXPECT_EQ(ReadMachineText(AsioKey(product), "Description"), product.driverName);
    // Each bitness registers for the hosts of its own bitness only.
    EXPECT_FALSE(MachineKeyExists(ClassKey(product), OtherRegistryView()));
    EXPECT_FALSE(MachineKeyExists(AsioKey(product), OtherRegistryView()));
}

// Writes `value` into the field `tag` of the DLL at `path` as any tool could, without the
// OEM tool's checks.
void WriteFieldBytes(const std::string& path, const char* tag, const std::string& value)
{
    std::vector<std::uint8_t> image = ReadFileBytes(path);
    std::size_t block = 0;
    std::string error;
    ASSERT_TRUE(LocateOemBlock(image, block, error)) << error;
    const OemFieldLayout* field = FindOemField(tag);
    ASSERT_NE(field, nullptr);
    ASSERT_LE(value.size(), field->valueSize);
    std::uint8_t* start = &image[block + field->offset + OemFieldHeaderSize];
    std::memset(start, 0, field->valueSize);
    std::memcpy(start, value.data(), value.size());
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(std::fwrite(image.data(), 1, image.size(), file), image.size());
    std::fclose(file);
}

void ExpectUnregistered(const Product& product)
{
    EXPECT_FALSE(MachineKeyExists(ClassKey(product)));
    EXPECT_FALSE(MachineKeyExists(AsioKey(product)));
}

// Each test starts and ends with neither driver registered.
class DriverDll : public testing::Test {
protected:
    void SetUp() override
    {
        CoInitialize(nullptr);
        RemoveRegistration(Shipped);
        RemoveRegistration(Patched);
    }
    void TearDown() override
    {
        RemoveRegistration(Shipped);
        RemoveRegistration(Patched);
        CoUninitialize();
    }
    static void RemoveRegistration(const Product& product)
    {
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, AsioKey(product).c_str());
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, (ClassKey(product) + "\\InprocServer32").c_str());
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, ClassKey(product).c_str());
    }
    static std::string PatchedCopy()
    {
        std::string copy = ExecutableDirectory() + "patched-" KASKADE_DLL_FILE;
        EXPECT_TRUE(CopyFileTo(DllPath(), copy));
        return copy;
    }
};

TEST_F(DriverDll, CarriesTheShippedOemBlock)
{
    std::vector<OemFieldValue> fields;
    std::string error;
    ASSERT_TRUE(ReadOemFile(DllPath(), fields, error)) << error;
    ASSERT_EQ(fields.size(), OemFieldCount);
    auto value = [&](const char* tag) -> const OemFieldValue& {
        for (const auto& field : fields)
            if (std::strcmp(field.layout.tag, tag) == 0) return field;
        throw std::runtime_error(tag);
    };
    EXPECT_EQ(value("$HID").text, Shipped.hardwareId);
    EXPECT_EQ(value("$OEM").text, Shipped.driverName);
    EXPECT_EQ(value("$CLS").text, Shipped.classId);
    EXPECT_EQ(value("$LIS").number, 0u);
    EXPECT_EQ(value("$LOS").number, 0u);
    EXPECT_EQ(value("$LIM").number, 0xFFFFFFFFu);
    EXPECT_EQ(value("$LOM").number, 0xFFFFFFFFu);
    EXPECT_EQ(value("$BSK").number, 2u);
    EXPECT_EQ(value("$DFL").number, 0u);
    EXPECT_EQ(value("$INS").number, 0u);
    EXPECT_EQ(value("$BSZ").number, 256u);
    EXPECT_EQ(value("$CPL").number, 1200u);

    // Four zero bytes end the class id text for the routines that read it as a string.
    std::vector<std::uint8_t> image = ReadFileBytes(DllPath());
    std::size_t block = 0;
    ASSERT_TRUE(LocateOemBlock(image, block, error)) << error;
    ASSERT_GE(image.size(), block + OemBlockSize + 4);
    EXPECT_EQ(std::memcmp(&image[block + OemBlockSize], "\0\0\0\0", 4), 0);
}

TEST_F(DriverDll, Regsvr32RegistersAndUnregistersInItsOwnView)
{
    ASSERT_EQ(Regsvr32("", DllPath()), 0);
    ExpectRegistered(Shipped, DllPath());
    ASSERT_EQ(Regsvr32("", DllPath()), 0) << "registering twice overwrites";
    ExpectRegistered(Shipped, DllPath());

    EXPECT_EQ(Regsvr32("/u ", DllPath()), 0);
    ExpectUnregistered(Shipped);
    EXPECT_EQ(Regsvr32("/u ", DllPath()), 0) << "nothing left to remove is still success";
}

TEST_F(DriverDll, HostFindsAndCreatesTheDriverThroughCom)
{
    ASSERT_EQ(Regsvr32("", DllPath()), 0);
    const InstalledDriver* found = nullptr;
    auto drivers = ListInstalledDrivers();
    for (const auto& driver : drivers)
        if (driver.name == Shipped.driverName) found = &driver;
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->classId, Shipped.classId);

    long error = 0;
    IAsioDriver* driver = CreateDriver(*found, error);
    ASSERT_NE(driver, nullptr) << std::hex << error;
    char name[AsioDriverNameSize] = {};
    driver->getDriverName(name);
    EXPECT_STREQ(name, Shipped.driverName);
    EXPECT_EQ(driver->getDriverVersion(), 2);
    EXPECT_EQ(driver->Release(), 0u);
    CoFreeUnusedLibraries();
}

TEST_F(DriverDll, PatchedCopyRegistersAndReportsItsNewIdentity)
{
    std::string copy = PatchedCopy();
    std::string error;
    ASSERT_TRUE(PatchOemFile(
        copy, {{"$OEM", Patched.driverName}, {"$CLS", Patched.classId}, {"$HID", Patched.hardwareId}}, error))
        << error;

    ASSERT_EQ(Regsvr32("", copy), 0);
    ExpectRegistered(Patched, copy);
    ExpectUnregistered(Shipped);

    long createError = 0;
    IAsioDriver* driver = CreateDriver({Patched.driverName, Patched.classId, Patched.driverName}, createError);
    ASSERT_NE(driver, nullptr) << std::hex << createError;
    char name[AsioDriverNameSize] = {};
    driver->getDriverName(name);
    EXPECT_STREQ(name, Patched.driverName);
    driver->Release();
    CoFreeUnusedLibraries();

    EXPECT_EQ(Regsvr32("/u ", copy), 0);
    ExpectUnregistered(Patched);
}

TEST_F(DriverDll, RefusedPatchLeavesTheFileUntouched)
{
    std::string copy = PatchedCopy();
    std::vector<std::uint8_t> before = ReadFileBytes(copy);
    std::string error;
    EXPECT_FALSE(PatchOemFile(copy, {{"$OEM", "Fine name"}, {"$CLS", "{not-a-class-id}"}}, error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(ReadFileBytes(copy), before);
}

TEST_F(DriverDll, RegistrationThatTheRegistryRefusesIsReportedAndRolledBack)
{
    // A key name of 259 characters is past the registry's limit of 255 for one key name;
    // the OEM tool refuses it, another tool may not.
    std::string copy = PatchedCopy();
    std::string longName(259, 'N');
    WriteFieldBytes(copy, "$OEM", longName);
    WriteFieldBytes(copy, "$CLS", Patched.classId);

    EXPECT_NE(Regsvr32("", copy), 0);
    EXPECT_FALSE(MachineKeyExists(ClassKey(Patched)));
    EXPECT_FALSE(MachineKeyExists("SOFTWARE\\ASIO\\" + longName));
}

// Whatever wrote the block, the driver neither registers nor unregisters under a name
// that is no registry key name, nor with a class id no class may have.
TEST_F(DriverDll, RefusesToRegisterUnderAnIdentityTheRegistryOrComCannotTake)
{
    const struct {
        const char* what;
        std::string name;
        std::string classId;
    } identities[] = {
        {"empty name", "", Patched.classId},
        {"nested name", "Velmora\\Nested", Patched.classId},
        {"control character", "Tab\tName", Patched.classId},
        {"name without its NUL", std::string(OemTextSize, 'N'), Patched.classId},
        {"class id of IUnknown", Patched.driverName, "{00000000-0000-0000-C000-000000000046}"},
        {"malformed class id", Patched.driverName, "{0F1E2D3C\\4B5A-6978-8796-A5B4C3D2E1F0}"},
    };
    const std::string copy = PatchedCopy();
    for (const auto& identity : identities) {
        SCOPED_TRACE(identity.what);
        ASSERT_TRUE(CopyFileTo(DllPath(), copy));
        WriteFieldBytes(copy, "$OEM", identity.name);
        WriteFieldBytes(copy, "$CLS", identity.classId);
        EXPECT_NE(Regsvr32("", copy), 0);
        EXPECT_NE(Regsvr32("/u ", copy), 0);
        EXPECT_FALSE(ReadMachineText("SOFTWARE\\ASIO", "CLSID").has_value()) << "nothing onto the ASIO key itself";
        EXPECT_FALSE(MachineKeyExists("SOFTWARE\\ASIO\\Velmora"));
        EXPECT_FALSE(MachineKeyExists("SOFTWARE\\Classes\\CLSID\\" + identity.classId + "\\InprocServer32"));
        EXPECT_FALSE(MachineKeyExists(AsioKey(Patched)));
    }
}

}  // namespace
