// Filters opened by path and their property answers at the byte level: fixed-size
// values, names, KSMULTIPLE_ITEM lists, size queries, error codes and the overlapped
// completion the driver waits on.
#include "hardware_simulator/tests/simulator_fixture.h"

#include <cctype>

#include "hardware_simulator/device_path.h"

using namespace hardware_simulator;

namespace {

class FilterProperties : public SimulatorTest {
protected:
    void SetUp() override
    {
        InstallDevices({Qorda8(), QordaDeskPro(), HdAudioCodec()});
        qorda8 = OpenFilter(Qorda8());
        deskPro = OpenFilter(QordaDeskPro());
        ASSERT_NE(qorda8, INVALID_HANDLE_VALUE);
        ASSERT_NE(deskPro, INVALID_HANDLE_VALUE);
    }

    ULONG PinValue(HANDLE filter, ULONG id, ULONG pinId)
    {
        Reply reply = PinRequest(filter, id, pinId, sizeof(ULONG));
        EXPECT_TRUE(reply.ok) << reply.error;
        EXPECT_EQ(reply.bytes, sizeof(ULONG));
        return ReadAt<ULONG>(reply.output, 0);
    }

    HANDLE qorda8 = INVALID_HANDLE_VALUE;
    HANDLE deskPro = INVALID_HANDLE_VALUE;
};

TEST_F(FilterProperties, OpensFiltersByAnyActivePathWhateverItsCase)
{
    Device device = Qorda8();
    std::string alias = DevicePath(device, device.filters[0], KSCATEGORY_CAPTURE);
    for (char& c : alias) c = char(std::tolower(static_cast<unsigned char>(c)));
    HANDLE handle = device_access::CreateFileA(alias.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    EXPECT_EQ(reinterpret_cast<ULONG_PTR>(handle) & 3, 2u);  // never a real handle's value
    EXPECT_EQ(PinValue(handle, KSPROPERTY_PIN_CTYPES, 0), 4u);
    EXPECT_TRUE(device_access::CloseHandle(handle));
}

TEST_F(FilterProperties, FindsNoFileForUnknownPathsInactiveInterfacesAndUnpluggedDevices)
{
    ASSERT_TRUE(Edit([](Machine& machine) {
        machine.devices[0].filters[0].classes[0].flags = 0;
        machine.devices[1].present = false;
    }));
    for (HANDLE handle : {OpenFilter(Qorda8()), OpenFilter(QordaDeskPro()),
                          device_access::CreateFileA("\\\\?\\USB#nothing", 0, 0, nullptr, OPEN_EXISTING, 0, nullptr)}) {
        EXPECT_EQ(handle, INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
    }
    // A handle open before its device went answers no more.
    EXPECT_EQ(PinRequest(deskPro, KSPROPERTY_PIN_CTYPES, 0, 4).error, DWORD(ERROR_DEVICE_NOT_CONNECTED));
}

TEST_F(FilterProperties, DescribesPinsWithFixedSizeValues)
{
    EXPECT_EQ(PinValue(qorda8, KSPROPERTY_PIN_CTYPES, 99), 4u);  // the pin id does not matter
    EXPECT_EQ(PinValue(qorda8, KSPROPERTY_PIN_DATAFLOW, UsbRenderPin), ULONG(KSPIN_DATAFLOW_IN));
    EXPECT_EQ(PinValue(qorda8, KSPROPERTY_PIN_DATAFLOW, UsbCapturePin), ULONG(KSPIN_DATAFLOW_OUT));
    EXPECT_EQ(PinValue(qorda8, KSPROPERTY_PIN_COMMUNICATION, UsbRenderPin), ULONG(KSPIN_COMMUNICATION_SINK));
    EXPECT_EQ(PinValue(qorda8, KSPROPERTY_PIN_COMMUNICATION, UsbOutputTerminalPin), ULONG(KSPIN_COMMUNICATION_BRIDGE));

    Reply instances = PinRequest(qorda8, KSPROPERTY_PIN_CINSTANCES, UsbRenderPin, 8);
    ASSERT_TRUE(instances.ok);
    EXPECT_EQ(ReadAt<ULONG>(instances.output, 0), 1u);
    EXPECT_EQ(ReadAt<ULONG>(instances.output, 4), 0u);
    EXPECT_TRUE(PinRequest(qorda8, KSPROPERTY_PIN_GLOBALCINSTANCES, UsbRenderPin, 8).ok);
    EXPECT_EQ(PinRequest(deskPro, KSPROPERTY_PIN_GLOBALCINSTANCES, UsbRenderPin, 8).error, DWORD(ERROR_NOT_FOUND));
}

TEST_F(FilterProperties, AnswersSizeQueriesAndRefusesBuffersTooSmall)
{
    Reply query = PinRequest(qorda8, KSPROPERTY_PIN_CINSTANCES, UsbRenderPin, 0);
    EXPECT_FALSE(query.ok);
    EXPECT_EQ(query.error, DWORD(ERROR_MORE_DATA));
    EXPECT_EQ(query.bytes, 8u);
    Reply small = PinRequest(qorda8, KSPROPERTY_PIN_CINSTANCES, UsbRenderPin, 4);
    EXPECT_EQ(small.error, DWORD(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(small.output[0], 0xCD);
}

TEST_F(FilterProperties, NamesPinsInWideTextAfterASizeQueryOrReportsNoName)
{
    Reply query = PinRequest(qorda8, KSPROPERTY_PIN_NAME, UsbRenderPin, 0);
    EXPECT_EQ(query.error, DWORD(ERROR_MORE_DATA));
    ASSERT_EQ(query.bytes, sizeof(L"Line Out"));
    Reply name = PinRequest(qorda8, KSPROPERTY_PIN_NAME, UsbRenderPin, query.bytes);
    ASSERT_TRUE(name.ok);
    EXPECT_EQ(std::memcmp(name.output.data(), L"Line Out", sizeof(L"Line Out")), 0);
    EXPECT_EQ(PinRequest(deskPro, KSPROPERTY_PIN_NAME, UsbCapturePin, 0).error, DWORD(ERROR_NOT_FOUND));
}

TEST_F(FilterProperties, ListsDataRangesEightByteAlignedBehindTheirHeader)
{
    Reply query = PinRequest(qorda8, KSPROPERTY_PIN_DATARANGES, UsbRenderPin, 0);
    EXPECT_EQ(query.error, DWORD(ERROR_MORE_DATA));
    ASSERT_EQ(query.bytes, 8 + 4 * 88u);
    Reply header = PinRequest(qorda8, KSPROPERTY_PIN_DATARANGES, UsbRenderPin, 8);
    ASSERT_TRUE(header.ok);
    EXPECT_EQ(header.bytes, 8u);
    EXPECT_EQ(ReadAt<KsMultipleItem>(header.output, 0).size, query.bytes);
    EXPECT_EQ(ReadAt<KsMultipleItem>(header.output, 0).count, 4u);
    EXPECT_EQ(PinRequest(qorda8, KSPROPERTY_PIN_DATARANGES, UsbRenderPin, 9).error, DWORD(ERROR_INSUFFICIENT_BUFFER));

    Reply list = PinRequest(qorda8, KSPROPERTY_PIN_DATARANGES, UsbRenderPin, query.bytes);
    ASSERT_TRUE(list.ok);
    const ULONG rates[] = {44100, 48000, 88200, 96000};
    for (std::size_t index = 0; index < 4; ++index) {
        auto range = ReadAt<KsDataRangeAudio>(list.output, 8 + index * 88);
        EXPECT_EQ(range.dataRange.formatSize, 88u);
        EXPECT_TRUE(range.dataRange.subFormat == KSDATAFORMAT_SUBTYPE_PCM);
        EXPECT_TRUE(range.dataRange.specifier == KSDATAFORMAT_SPECIFIER_WAVEFORMATEX);
        EXPECT_EQ(range.maximumChannels, 8u);
        EXPECT_EQ(range.minimumBitsPerSample, 24u);
        EXPECT_EQ(range.minimumSampleFrequency, rates[index]);
        EXPECT_EQ(range.maximumSampleFrequency, rates[index]);
    }
}

TEST_F(FilterProperties, ListsBareRangesOfBridgePinsAmongAudioRanges)
{
    ASSERT_TRUE(Edit([](Machine& machine) {
        machine.devices[0].filters[0].pins[UsbRenderPin].dataRanges = {AnalogRange(), PcmRange(2, 8, 8, 8000, 22050)};
    }));
    Reply list = PinRequest(qorda8, KSPROPERTY_PIN_DATARANGES, UsbRenderPin, 200);
    ASSERT_TRUE(list.ok);
    EXPECT_EQ(list.bytes, 8 + 64 + 88u);
    auto bare = ReadAt<KsDataFormat>(list.output, 8);
    EXPECT_EQ(bare.formatSize, 64u);
    EXPECT_TRUE(bare.subFormat == KSDATAFORMAT_SUBTYPE_ANALOG);
    auto eightBit = ReadAt<KsDataRangeAudio>(list.output, 8 + 64);
    EXPECT_EQ(eightBit.maximumBitsPerSample, 8u);
    EXPECT_EQ(eightBit.maximumSampleFrequency, 22050u);
}

TEST_F(FilterProperties, ListsStandardInterfacesOnUsbAndLoopedOnWaveRtPins)
{
    HANDLE wave = OpenFilter(HdAudioCodec(), HdAudioAnalogWave);
    struct Case {
        HANDLE filter;
        ULONG pin;
        ULONG expected;
    };
    for (const Case& test : {Case{qorda8, UsbRenderPin, KSINTERFACE_STANDARD_STREAMING},
                             Case{wave, WaveRenderPin, KSINTERFACE_STANDARD_LOOPED_STREAMING},
                             Case{wave, WaveCapturePin, KSINTERFACE_STANDARD_LOOPED_STREAMING}}) {
        Reply list = PinRequest(test.filter, KSPROPERTY_PIN_INTERFACES, test.pin, 8 + 24);
        ASSERT_TRUE(list.ok);
        EXPECT_EQ(ReadAt<KsMultipleItem>(list.output, 0).count, 1u);
        auto identifier = ReadAt<KsIdentifier>(list.output, 8);
        EXPECT_TRUE(identifier.set == KSINTERFACESETID_Standard);
        EXPECT_EQ(identifier.id, test.expected);
    }
    Reply mediums = PinRequest(qorda8, KSPROPERTY_PIN_MEDIUMS, UsbRenderPin, 8 + 24);
    ASSERT_TRUE(mediums.ok);
    EXPECT_TRUE(ReadAt<KsIdentifier>(mediums.output, 8).set == KSMEDIUMSETID_Standard);
}

TEST_F(FilterProperties, ListsTopologyNodesOfEachFilter)
{
    struct Case {
        std::size_t filter;
        std::vector<GUID> nodes;
    };
    for (const Case& test : {Case{HdAudioSpdifWave, {KSNODETYPE_DAC, KSNODETYPE_SPDIF_INTERFACE}},
                             Case{HdAudioHdmiWave, {KSNODETYPE_HDMI_INTERFACE}}}) {
        HANDLE filter = OpenFilter(HdAudioCodec(), test.filter);
        Reply query = SendProperty(filter, PropertyBytes(KSPROPSETID_Topology, KSPROPERTY_TOPOLOGY_NODES), 0);
        EXPECT_EQ(query.error, DWORD(ERROR_MORE_DATA));
        ASSERT_EQ(query.bytes, 8 + 16 * test.nodes.size());
        Reply list = SendProperty(filter, PropertyBytes(KSPROPSETID_Topology, KSPROPERTY_TOPOLOGY_NODES), query.bytes);
        ASSERT_TRUE(list.ok);
        EXPECT_EQ(ReadAt<KsMultipleItem>(list.output, 0).count, test.nodes.size());
        for (std::size_t node = 0; node < test.nodes.size(); ++node)
            EXPECT_TRUE(ReadAt<GUID>(list.output, 8 + 16 * node) == test.nodes[node]) << node;
    }
}

TEST_F(FilterProperties, RefusesUnknownSetsIdsPinsVerbsAndShortRequests)
{
    auto errorOf = [&](const std::vector<BYTE>& input) { return SendProperty(qorda8, input, 64).error; };
    EXPECT_EQ(errorOf(PropertyBytes(KSPROPSETID_Audio, 0)), DWORD(ERROR_SET_NOT_FOUND));
    EXPECT_EQ(errorOf(PropertyBytes(KSPROPSETID_Topology, KSPROPERTY_TOPOLOGY_CONNECTIONS)), DWORD(ERROR_NOT_FOUND));
    EXPECT_EQ(PinRequest(qorda8, 11, 0, 64).error, DWORD(ERROR_NOT_FOUND));
    EXPECT_EQ(PinRequest(qorda8, KSPROPERTY_PIN_DATAFLOW, 4, 64).error, DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(errorOf(PropertyBytes(KSPROPSETID_Pin, KSPROPERTY_PIN_DATAFLOW)), DWORD(ERROR_INVALID_USER_BUFFER));
    EXPECT_EQ(errorOf(PropertyBytes(KSPROPSETID_Pin, KSPROPERTY_PIN_CTYPES, KSPROPERTY_TYPE_SET)),
              DWORD(ERROR_NOT_FOUND));
    std::vector<BYTE> tooShort = PropertyBytes(KSPROPSETID_Pin, KSPROPERTY_PIN_CTYPES);
    tooShort.pop_back();
    EXPECT_EQ(errorOf(tooShort), DWORD(ERROR_INVALID_USER_BUFFER));

    std::vector<BYTE> input = PropertyBytes(KSPROPSETID_Pin, KSPROPERTY_PIN_CTYPES);
    DWORD bytes = 0;
    EXPECT_FALSE(device_access::DeviceIoControl(qorda8, IOCTL_KS_READ_STREAM, input.data(), DWORD(input.size()),
                                                nullptr, 0, &bytes, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_FUNCTION));
    EXPECT_FALSE(device_access::DeviceIoControl(reinterpret_cast<HANDLE>(0x1234), IOCTL_KS_PROPERTY, input.data(),
                                                DWORD(input.size()), nullptr, 0, &bytes, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
}

TEST_F(FilterProperties, SignalsTheOverlappedEventOfCompletedRequestsOnly)
{
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    OVERLAPPED overlapped{};
    overlapped.hEvent = reinterpret_cast<HANDLE>(reinterpret_cast<ULONG_PTR>(event) | 1);
    auto send = [&](ULONG id, DWORD outputSize) {
        KsPinProperty request{{KSPROPSETID_Pin, id, KSPROPERTY_TYPE_GET}, UsbRenderPin, 0};
        std::vector<BYTE> output(outputSize + 1);
        ResetEvent(event);
        return device_access::DeviceIoControl(qorda8, IOCTL_KS_PROPERTY, &request, sizeof(request), output.data(),
                                              outputSize, nullptr, &overlapped);
    };
    EXPECT_TRUE(send(KSPROPERTY_PIN_DATAFLOW, 4));
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    EXPECT_EQ(overlapped.Internal, 0u);
    EXPECT_EQ(overlapped.InternalHigh, 4u);

    EXPECT_FALSE(send(KSPROPERTY_PIN_NAME, 0));  // a size query completes with a warning
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    EXPECT_EQ(overlapped.InternalHigh, sizeof(L"Line Out"));

    EXPECT_FALSE(send(KSPROPERTY_PIN_DATAFLOW, 2));
    EXPECT_EQ(WaitForSingleObject(event, 0), DWORD(WAIT_TIMEOUT));
    CloseHandle(event);
}

}  // namespace
