// What a test reads and injects: the log of every call, the counters, and the answer
// hook that makes a driver misbehave.
#include "hardware_simulator/tests/pin_client.h"

using namespace hardware_simulator;

namespace {

class RequestLogging : public SimulatorTest {
protected:
    void SetUp() override
    {
        InstallDevices({Qorda8(), QordaDeskPro()});
        filter = OpenFilter(Qorda8());
        ASSERT_NE(filter, INVALID_HANDLE_VALUE);
    }

    HANDLE filter = INVALID_HANDLE_VALUE;
};

TEST_F(RequestLogging, RecordsEveryCallWithWhatItAskedAndGot)
{
    ClearRequestLog();
    HDEVINFO devices =
        device_access::SetupDiGetClassDevsA(&KSCATEGORY_AUDIO, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    SP_DEVINFO_DATA device = DeviceRecord();
    device_access::SetupDiEnumDeviceInfo(devices, 7, &device);
    PinRequest(filter, KSPROPERTY_PIN_NAME, UsbCapturePin, 0);

    std::vector<LogEntry> log = LoggedRequests();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].operation, Operation::GetClassDevs);
    EXPECT_EQ(log[0].handle, reinterpret_cast<ULONG_PTR>(devices));
    EXPECT_TRUE(log[0].category == KSCATEGORY_AUDIO);
    EXPECT_TRUE(log[0].succeeded);
    EXPECT_EQ(log[1].operation, Operation::EnumDeviceInfo);
    EXPECT_EQ(log[1].argument, 7u);
    EXPECT_FALSE(log[1].succeeded);
    EXPECT_EQ(log[1].lastError, DWORD(ERROR_NO_MORE_ITEMS));
    const LogEntry& request = log[2];
    EXPECT_EQ(request.operation, Operation::DeviceIoControl);
    EXPECT_EQ(request.handle, reinterpret_cast<ULONG_PTR>(filter));
    EXPECT_EQ(request.ioctl, IOCTL_KS_PROPERTY);
    EXPECT_TRUE(request.propertySet == KSPROPSETID_Pin);
    EXPECT_EQ(request.propertyId, ULONG(KSPROPERTY_PIN_NAME));
    EXPECT_EQ(request.propertyFlags, KSPROPERTY_TYPE_GET);
    EXPECT_EQ(request.pinId, UsbCapturePin);
    EXPECT_EQ(request.lastError, DWORD(ERROR_MORE_DATA));
    EXPECT_EQ(request.bytesReturned, sizeof(L"Line In"));
}

TEST_F(RequestLogging, CountsCallsFailuresAndWhatIsStillOpen)
{
    HDEVINFO devices = device_access::SetupDiGetClassDevsA(&KSCATEGORY_AUDIO, nullptr, nullptr, DIGCF_DEVICEINTERFACE);
    PinRequest(filter, KSPROPERTY_PIN_CTYPES, 0, 4);
    PinRequest(filter, KSPROPERTY_PIN_CTYPES, 0, 1);
    RequestCounters counters = Counters();
    EXPECT_EQ(counters.Calls(Operation::CreateFile), 1u);
    EXPECT_EQ(counters.Calls(Operation::DeviceIoControl), 2u);
    EXPECT_EQ(counters.failures, 1u);
    EXPECT_EQ(counters.openHandles, 1u);
    EXPECT_EQ(counters.openDeviceInfoSets, 1u);

    EXPECT_TRUE(device_access::CloseHandle(filter));
    EXPECT_FALSE(device_access::CloseHandle(filter));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    EXPECT_EQ(PinRequest(filter, KSPROPERTY_PIN_CTYPES, 0, 4).error, DWORD(ERROR_INVALID_HANDLE));
    EXPECT_TRUE(device_access::SetupDiDestroyDeviceInfoList(devices));
    EXPECT_EQ(Counters().openHandles, 0u);
    EXPECT_EQ(Counters().openDeviceInfoSets, 0u);
}

TEST_F(RequestLogging, LetsTheHookSeeTheRequestAndRewriteTheAnswer)
{
    PropertyRequest seen{};
    std::string instance;
    SetAnswerHook([&](const PropertyRequest& request, PropertyAnswer& answer) {
        seen = request;
        instance = request.device->instanceId;
        KsMultipleItem huge{0x7FFFFFF8, 0x10000000};
        std::memcpy(answer.data.data(), &huge, sizeof(huge));
    });
    Reply reply = PinRequest(filter, KSPROPERTY_PIN_DATARANGES, UsbCapturePin, 400);
    ASSERT_TRUE(reply.ok);
    EXPECT_EQ(reply.bytes, 8 + 4 * 88u);
    EXPECT_EQ(ReadAt<KsMultipleItem>(reply.output, 0).count, 0x10000000u);
    EXPECT_EQ(instance, Qorda8().instanceId);
    EXPECT_EQ(seen.pinId, UsbCapturePin);
    EXPECT_EQ(seen.outputSize, 400u);
}

TEST_F(RequestLogging, CutsAHookedAnswerToTheCallersBuffer)
{
    SetAnswerHook([](const PropertyRequest&, PropertyAnswer& answer) {
        answer.data.assign(64, 0xAB);
        answer.bytesReturned = 64;
    });
    std::vector<BYTE> buffer(16, 0xCD);
    KsPinProperty request{{KSPROPSETID_Pin, KSPROPERTY_PIN_DATAFLOW, KSPROPERTY_TYPE_GET}, 0, 0};
    DWORD bytes = 0;
    EXPECT_TRUE(device_access::DeviceIoControl(filter, IOCTL_KS_PROPERTY, &request, sizeof(request), buffer.data(), 4,
                                               &bytes, nullptr));
    EXPECT_EQ(bytes, 64u);  // the count may lie, the copy may not
    EXPECT_EQ(buffer[3], 0xAB);
    EXPECT_EQ(buffer[4], 0xCD);
}

TEST_F(RequestLogging, LetsTheHookDemandHugeSizesAndHideProperties)
{
    SetAnswerHook([](const PropertyRequest& request, PropertyAnswer& answer) {
        if (request.id == KSPROPERTY_PIN_NAME) answer = {ERROR_MORE_DATA, 0x7FFFFFFF, {}};
        if (request.id == KSPROPERTY_PIN_CINSTANCES) answer = {ERROR_NOT_FOUND, 0, {}};
    });
    Reply name = PinRequest(filter, KSPROPERTY_PIN_NAME, UsbRenderPin, 0);
    EXPECT_EQ(name.error, DWORD(ERROR_MORE_DATA));
    EXPECT_EQ(name.bytes, 0x7FFFFFFFu);
    EXPECT_EQ(PinRequest(filter, KSPROPERTY_PIN_CINSTANCES, UsbRenderPin, 8).error, DWORD(ERROR_NOT_FOUND));

    SetAnswerHook([](const PropertyRequest&, PropertyAnswer&) { SetAnswerHook({}); });  // removes itself safely
    PinRequest(filter, KSPROPERTY_PIN_CTYPES, 0, 4);
    EXPECT_TRUE(PinRequest(filter, KSPROPERTY_PIN_CINSTANCES, UsbRenderPin, 8).ok);
}

TEST_F(RequestLogging, RecordsEachPinCreationWithTheFormatItAskedFor)
{
    ClearRequestLog();
    Creation refused = CreatePin(filter, Connection(UsbRenderPin, Plain(2, 44100, 16)), GENERIC_WRITE);
    std::vector<BYTE> connection = Connection(UsbCapturePin, Extensible(8, 96000, 24, 24));
    DataFormatOf(connection).sampleSize = 24;
    Creation created = CreatePin(filter, connection, FILE_READ_DATA);
    ASSERT_EQ(created.error, DWORD(ERROR_SUCCESS));

    std::vector<LogEntry> log = LoggedRequests();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].operation, Operation::KsCreatePin);
    EXPECT_EQ(log[0].handle, reinterpret_cast<ULONG_PTR>(filter));
    EXPECT_EQ(log[0].lastError, refused.error);
    EXPECT_EQ(log[0].createdPin, 0u);
    ASSERT_TRUE(log[0].connection);
    EXPECT_EQ(log[0].connection->access, ACCESS_MASK(GENERIC_WRITE));
    EXPECT_EQ(log[0].connection->format.formatSize, 82u);
    EXPECT_EQ(log[0].connection->format.wave.formatTag, WaveFormatTagPcm);
    EXPECT_EQ(log[0].connection->format.wave.validBitsPerSample, 0);  // not in a plain format

    const LogEntry& entry = log[1];
    EXPECT_TRUE(entry.succeeded);
    EXPECT_EQ(entry.createdPin, reinterpret_cast<ULONG_PTR>(created.pin));
    EXPECT_EQ(reinterpret_cast<ULONG_PTR>(created.pin) & 3, 2u);  // never a real handle's value
    EXPECT_EQ(entry.pinId, UsbCapturePin);
    ASSERT_TRUE(entry.connection);
    EXPECT_EQ(entry.connection->interfaceId, ULONG(KSINTERFACE_STANDARD_STREAMING));
    EXPECT_EQ(entry.connection->access, ACCESS_MASK(FILE_READ_DATA));
    const PinFormat& format = entry.connection->format;
    EXPECT_EQ(format.formatSize, 104u);
    EXPECT_EQ(format.sampleSize, 24u);
    EXPECT_EQ(format.wave.formatTag, WaveFormatTagExtensible);
    EXPECT_EQ(format.wave.channels, 8);
    EXPECT_EQ(format.wave.samplesPerSec, 96000u);
    EXPECT_EQ(format.wave.bitsPerSample, 24);
    EXPECT_EQ(format.wave.validBitsPerSample, 24);
    EXPECT_EQ(format.wave.channelMask, 0u);
    EXPECT_EQ(format.wave.blockAlign, 24);
    EXPECT_EQ(Counters().openPins, 1u);
}

TEST_F(RequestLogging, ClearForgetsHandlesLogAndHook)
{
    SetAnswerHook([](const PropertyRequest&, PropertyAnswer& answer) { answer.error = ERROR_GEN_FAILURE; });
    Clear();
    EXPECT_TRUE(LoggedRequests().empty());
    EXPECT_EQ(Counters().openHandles, 0u);
    InstallDevices({Qorda8()});
    EXPECT_EQ(PinRequest(filter, KSPROPERTY_PIN_CTYPES, 0, 4).error, DWORD(ERROR_INVALID_HANDLE));
    EXPECT_TRUE(PinRequest(OpenFilter(Qorda8()), KSPROPERTY_PIN_CTYPES, 0, 4).ok);
}

}  // namespace
