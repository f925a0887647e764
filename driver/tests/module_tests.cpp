// The module shell in-process: class id parsing, the name hash, the shared interface
// lookup of the three static objects, the module's start and end with the driver
// object's references, and the scan callback loop.
#include <gtest/gtest.h>
#include <objbase.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "asio_host/asio_driver.h"
#include "driver/core/com_objects.h"
#include "driver/core/guid_text.h"
#include "driver/core/hash_name.h"
#include "driver/core/module.h"
#include "driver/core/oem_block.h"
#include "driver/core/oem_values.h"
#include "driver/core/setup_interface.h"

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID, REFIID, void**);
extern "C" HRESULT WINAPI DllCanUnloadNow();

namespace {

class AttachedModule : public testing::Environment {
public:
    void SetUp() override { AttachModule(GetModuleHandleA(nullptr)); }
};
const auto* const attached = testing::AddGlobalTestEnvironment(new AttachedModule);

const SetupObjectTable& SetupMethods()
{
    return *static_cast<const SetupObjectTable*>(SetupObject.table);
}

TEST(ParseGuid, GivesTheStandardLayoutInEitherCase)
{
    const GUID expected = {0x3B044C5C, 0x8A96, 0x4F5F, {0x99, 0x3B, 0x33, 0x25, 0x4E, 0x11, 0x74, 0x67}};
    GUID upper, lower;
    ParseGuid("{3B044C5C-8A96-4F5F-993B-33254E117467}", reinterpret_cast<std::uint8_t*>(&upper));
    ParseGuid("{3b044c5c-8a96-4f5f-993b-33254e117467}", reinterpret_cast<std::uint8_t*>(&lower));
    EXPECT_TRUE(IsEqualGUID(upper, expected));
    EXPECT_TRUE(IsEqualGUID(lower, expected));
}

TEST(ParseGuid, StopsAtTheEndOfAShortText)
{
    // The text ends right before an inaccessible page: a read past its NUL would fault.
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    auto* pages =
        static_cast<char*>(VirtualAlloc(nullptr, 2 * system.dwPageSize, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    ASSERT_NE(pages, nullptr);
    DWORD oldProtection;
    ASSERT_TRUE(VirtualProtect(pages + system.dwPageSize, system.dwPageSize, PAGE_NOACCESS, &oldProtection));
    char* text = pages + system.dwPageSize - 6;
    std::memcpy(text, "{12-4", 6);

    std::uint8_t guid[16];
    std::memset(guid, 0xEE, sizeof(guid));
    ParseGuid(text, guid);
    const std::uint8_t expected[16] = {0, 0, 0x40, 0x12};  // "12" and the high nibble "4"
    EXPECT_EQ(std::memcmp(guid, expected, 16), 0);
    VirtualFree(pages, 0, MEM_RELEASE);
}

TEST(HashName, MatchesTheKnownValues)
{
    EXPECT_EQ(HashName(nullptr), 0u);
    EXPECT_EQ(HashName(""), 0u);
    EXPECT_EQ(HashName("a"), 0x000000C2u);
    EXPECT_EQ(HashName("abc"), 0x00000618u);
    EXPECT_EQ(HashName("\xFF\x80"), 0x000001FFu) << "high bytes count as unsigned";
}

TEST(ClassIds, AreParsedFromTheOemBlockAtAttach)
{
#if defined(KASKADE_PRODUCT_QORDA_8)
    const char shippedText[] = "{DF83B1FC-6DE1-4072-B97B-C80B98AB62CF}";
    const GUID shipped = {0xDF83B1FC, 0x6DE1, 0x4072, {0xB9, 0x7B, 0xC8, 0x0B, 0x98, 0xAB, 0x62, 0xCF}};
#else
    const char shippedText[] = "{3B044C5C-8A96-4F5F-993B-33254E117467}";
    const GUID shipped = {0x3B044C5C, 0x8A96, 0x4F5F, {0x99, 0x3B, 0x33, 0x25, 0x4E, 0x11, 0x74, 0x67}};
#endif
    EXPECT_TRUE(IsEqualGUID(DriverClassId, shipped));
    EXPECT_STREQ(ClassIdText(), shippedText);
    EXPECT_EQ(std::string(ClassKeyPath), std::string("SOFTWARE\\Classes\\CLSID\\") + shippedText);
}

// A class id that the lookup answers with an object of its own would hand hosts that
// object instead of the driver: the OEM checks refuse each of them.
TEST(ClassIds, TheOemChecksRefuseEveryIdTheLookupAnswersOtherwise)
{
    for (const char* id : {"{00000000-0000-0000-C000-000000000046}", "{00000001-0000-0000-C000-000000000046}",
                           "{a26078c5-2840-4726-b427-e60fc8fee403}"}) {
        GUID interfaceId;
        ParseGuid(id, reinterpret_cast<std::uint8_t*>(&interfaceId));
        void* object = nullptr;
        ASSERT_EQ(SharedQueryInterface(nullptr, interfaceId, &object), S_OK) << id;
        EXPECT_NE(object, &DriverObject) << id;
        static_cast<IUnknown*>(object)->Release();
        EXPECT_NE(ClassIdFault(id), nullptr) << id;
    }
}

TEST(InterfaceLookup, HandsOutTheStaticObjectsInTableOrder)
{
    const GUID anyClass = {0x01234567, 0x89AB, 0xCDEF, {1, 2, 3, 4, 5, 6, 7, 8}};
    void* object = nullptr;
    ASSERT_EQ(DllGetClassObject(anyClass, IID_IClassFactory, &object), S_OK);
    EXPECT_EQ(object, &ClassFactoryObject);

    auto* factory = static_cast<IClassFactory*>(object);
    void* unknown = nullptr;
    EXPECT_EQ(factory->QueryInterface(IID_IUnknown, &unknown), S_OK);
    EXPECT_EQ(unknown, &ClassFactoryObject) << "IUnknown answers with the class factory";
    // The setup interface's id as configuration programs know it.
    const GUID setupInterface = {0xA26078C5, 0x2840, 0x4726, {0xB4, 0x27, 0xE6, 0x0F, 0xC8, 0xFE, 0xE4, 0x03}};
    void* setup = nullptr;
    EXPECT_EQ(factory->QueryInterface(setupInterface, &setup), S_OK);
    EXPECT_EQ(setup, &SetupObject);
    void* driver = nullptr;
    EXPECT_EQ(factory->CreateInstance(nullptr, DriverClassId, &driver), S_OK);
    EXPECT_EQ(driver, &DriverObject);
    void* fromDriver = nullptr;
    EXPECT_EQ(static_cast<IUnknown*>(driver)->QueryInterface(IID_IUnknown, &fromDriver), S_OK);
    EXPECT_EQ(fromDriver, &ClassFactoryObject);

    EXPECT_EQ(static_cast<IUnknown*>(driver)->Release(), 0u);
    EXPECT_EQ(static_cast<IUnknown*>(setup)->Release(), 0u);
    static_cast<IUnknown*>(fromDriver)->Release();
    static_cast<IUnknown*>(unknown)->Release();
    EXPECT_EQ(factory->Release(), 0u);
}

TEST(InterfaceLookup, RefusesUnknownInterfacesAndNullOutputs)
{
    const GUID unknownInterface = {0xDEADBEEF, 0, 0, {0, 0, 0, 0, 0, 0, 0, 1}};
    void* object = &object;
    EXPECT_EQ(DllGetClassObject(DriverClassId, unknownInterface, &object), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(object, nullptr);
    object = &object;
    EXPECT_EQ(SharedQueryInterface(&DriverObject, unknownInterface, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);

    EXPECT_EQ(DllGetClassObject(DriverClassId, DriverClassId, nullptr), E_POINTER);
    EXPECT_EQ(SharedQueryInterface(&DriverObject, IID_IUnknown, nullptr), E_POINTER);
    EXPECT_EQ(ClassFactoryObject.referenceCount, 0);
}

TEST(InterfaceLookup, ClassFactoryRefusesAggregation)
{
    auto* factory = reinterpret_cast<IClassFactory*>(&ClassFactoryObject);
    void* object = &object;
    EXPECT_EQ(factory->CreateInstance(reinterpret_cast<IUnknown*>(&SetupObject), DriverClassId, &object),
              CLASS_E_NOAGGREGATION);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(DriverObject.referenceCount, 0);
}

TEST(ModuleLifetime, FollowsTheDriverObjectsReferences)
{
    EXPECT_EQ(DllCanUnloadNow(), S_OK);
    EXPECT_FALSE(ModuleStarted());

    auto* driver = reinterpret_cast<IAsioDriver*>(&DriverObject);
    EXPECT_EQ(driver->AddRef(), 1u);
    EXPECT_TRUE(ModuleStarted());
    char hostPath[MAX_PATH];
    GetModuleFileNameA(nullptr, hostPath, MAX_PATH);
    EXPECT_EQ(HostHash, HashName(hostPath));
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE);

    EXPECT_EQ(driver->AddRef(), 2u);
    EXPECT_EQ(driver->Release(), 1u);
    EXPECT_TRUE(ModuleStarted());
    EXPECT_EQ(driver->Release(), 0u);
    EXPECT_FALSE(ModuleStarted());
    EXPECT_EQ(DllCanUnloadNow(), S_OK);

    // A new first reference starts the module again.
    driver->AddRef();
    EXPECT_TRUE(ModuleStarted());
    driver->Release();
    EXPECT_FALSE(ModuleStarted());
}

// A call that holds the driver lock holds it whatever the module does meanwhile: a start
// on another thread waits for it, and an end with a new start hands the lock to no one
// else before it leaves.
TEST(ModuleLifetime, TheDriverLockHoldsAcrossTheModulesStartAndEnd)
{
    ASSERT_FALSE(ModuleStarted());
    EnterDriverLock();
    std::atomic<bool> started{false};
    std::thread starter([&] {
        StartModule();
        started = true;
    });
    Sleep(200);
    EXPECT_FALSE(started) << "the module's first scan ran while a call held the lock";
    LeaveDriverLock();
    starter.join();
    EXPECT_TRUE(ModuleStarted());

    EnterDriverLock();
    EndModule();
    StartModule();
    std::atomic<bool> entered{false};
    std::thread other([&] {
        EnterDriverLock();
        entered = true;
        LeaveDriverLock();
    });
    Sleep(200);
    EXPECT_FALSE(entered) << "another call got the lock that a call still held";
    LeaveDriverLock();
    other.join();
    EXPECT_TRUE(entered);
    EndModule();
}

DWORD WINAPI TakeAndLeaveTheDriverLock(void*)
{
    EnterDriverLock();
    LeaveDriverLock();
    return 0;
}

// A thread that takes the driver lock once; the caller waits for it and closes it.
HANDLE StartLockTaker()
{
    return CreateThread(nullptr, 0, TakeAndLeaveTheDriverLock, nullptr, 0, nullptr);
}

// A guard holds the lock to the end of its scope and no further, however the scope is
// left, and a wait that suspends the lock within it gets the lock back whole.
TEST(DriverLock, AGuardHoldsItForItsScopeOnly)
{
    HANDLE afterResume;
    {
        DriverLockGuard outer;
        [] {
            DriverLockGuard inner;
            return;
        }();
        HANDLE waiting = StartLockTaker();
        EXPECT_EQ(WaitForSingleObject(waiting, 200), DWORD(WAIT_TIMEOUT)) << "held for the guard's scope";
        DWORD depth = SuspendDriverLock();
        EXPECT_EQ(depth, 1u) << "the inner guard left its hold at its return";
        EXPECT_EQ(WaitForSingleObject(waiting, 10000), DWORD(WAIT_OBJECT_0)) << "free while suspended";
        CloseHandle(waiting);
        ResumeDriverLock(depth);
        afterResume = StartLockTaker();
        EXPECT_EQ(WaitForSingleObject(afterResume, 200), DWORD(WAIT_TIMEOUT)) << "held again after the wait";
    }
    EXPECT_EQ(WaitForSingleObject(afterResume, 10000), DWORD(WAIT_OBJECT_0)) << "left at the scope's end";
    CloseHandle(afterResume);
}

TEST(ModuleLifetime, AnOpenControlPanelKeepsTheModule)
{
    auto* driver = reinterpret_cast<IAsioDriver*>(&DriverObject);
    driver->AddRef();
    OpenDialogCount = 1;
    driver->Release();
    EXPECT_TRUE(ModuleStarted());
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
    OpenDialogCount = 0;
    EndModule();
    EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

TEST(DriverObject, AnswersThroughAHostsDeclaration)
{
    auto* driver = reinterpret_cast<IAsioDriver*>(&DriverObject);
    char name[AsioDriverNameSize + 8];
    std::memset(name, 'x', sizeof(name));
    driver->getDriverName(name);
    EXPECT_STREQ(name, OemConfig.driverName.text);
    EXPECT_EQ(driver->getDriverVersion(), 2);
    char message[AsioErrorMessageSize];
    driver->getErrorMessage(message);
    EXPECT_STREQ(message, "No error information available!");

    long count = 7;
    ASIOClockSource clock = {};
    EXPECT_EQ(driver->getClockSources(nullptr, &count), ASE_InvalidParameter);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(driver->getClockSources(&clock, &count), ASE_OK);
    EXPECT_STREQ(clock.name, "Default");
    EXPECT_EQ(clock.isCurrentSource, ASIOTrue);
    EXPECT_EQ(driver->setClockSource(0), ASE_OK);
    EXPECT_EQ(driver->setClockSource(1), ASE_NoClock);
    EXPECT_EQ(driver->future(kAsioSupportsTimeInfo, nullptr), ASE_NotPresent);
}

TEST(DriverObject, ShortensALongDriverNameToTheHostsBuffer)
{
    OemTextField saved = OemConfig.driverName;
    std::strcpy(OemConfig.driverName.text, "A driver name that is longer than thirty-one characters");
    auto* driver = reinterpret_cast<IAsioDriver*>(&DriverObject);
    char name[AsioDriverNameSize + 8];
    std::memset(name, 'x', sizeof(name));
    driver->getDriverName(name);
    OemConfig.driverName = saved;
    EXPECT_EQ(std::strlen(name), 31u);
    EXPECT_EQ(name[AsioDriverNameSize], 'x') << "nothing written past the host's 32 bytes";
}

struct ScanCounter {
    int passes = 0;
    int passesWanted = 1;
    HRESULT nestedRescan = S_OK;
};

LONG CountScanPass(void* context)
{
    auto* counter = static_cast<ScanCounter*>(context);
    ++counter->passes;
    if (counter->passes == 1) counter->nestedRescan = SetupMethods().Rescan(&SetupObject);
    return counter->passes < counter->passesWanted;
}

TEST(ScanCallback, RepeatsTheScanWhileItAsksAndRefusesNestedRescans)
{
    auto* setup = reinterpret_cast<IUnknown*>(&SetupObject);
    setup->AddRef();
    EXPECT_EQ(SetupMethods().GetInterfaceVersion(&SetupObject), 0x00020001);

    ScanCounter counter;
    counter.passesWanted = 3;
    EXPECT_NE(SetupMethods().SetCallback(&SetupObject, CountScanPass, &counter), nullptr);
    EXPECT_EQ(SetupMethods().Rescan(&SetupObject), S_OK);
    EXPECT_EQ(counter.passes, 3);
    EXPECT_EQ(counter.nestedRescan, SETUP_E_BUSY);
    EXPECT_TRUE(ModuleStarted()) << "a rescan starts the module when no host did";

    counter = ScanCounter();
    EXPECT_EQ(SetupMethods().Rescan(&SetupObject), S_OK);
    EXPECT_EQ(counter.passes, 1);

    EXPECT_EQ(SetupMethods().SetCallback(&SetupObject, nullptr, nullptr), CountScanPass);
    ScanCallback builtIn = SetupMethods().SetCallback(&SetupObject, CountScanPass, &counter);
    EXPECT_NE(builtIn, nullptr) << "a null callback stands for the built-in one";
    EXPECT_NE(builtIn, CountScanPass);

    // The last release of the setup object drops the callback.
    setup->Release();
    counter = ScanCounter();
    SetupMethods().Rescan(&SetupObject);
    EXPECT_EQ(counter.passes, 0);
    EndModule();
}

}  // namespace
