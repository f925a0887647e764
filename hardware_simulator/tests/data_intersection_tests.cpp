// The data intersection: which format a pin answers for the client's ranges, in which
// layout, and how it refuses ranges it cannot meet or a list that lies about its size.
#include "hardware_simulator/tests/simulator_fixture.h"

#include <functional>

using namespace hardware_simulator;

namespace {

KsDataRangeAudio ClientRange(ULONG channels, ULONG minimumBits, ULONG maximumBits, ULONG minimumRate, ULONG maximumRate,
                             const GUID& subFormat = KSDATAFORMAT_SUBTYPE_PCM)
{
    KsDataRangeAudio range{};
    range.dataRange = {sizeof(KsDataRangeAudio),           0, 0, 0, KSDATAFORMAT_TYPE_AUDIO, subFormat,
                       KSDATAFORMAT_SPECIFIER_WAVEFORMATEX};
    range.maximumChannels = channels;
    range.minimumBitsPerSample = minimumBits;
    range.maximumBitsPerSample = maximumBits;
    range.minimumSampleFrequency = minimumRate;
    range.maximumSampleFrequency = maximumRate;
    return range;
}

// The KSMULTIPLE_ITEM that follows the KSP_PIN.
std::vector<BYTE> RangeList(const std::vector<KsDataRangeAudio>& ranges)
{
    KsMultipleItem header{ULONG(sizeof(KsMultipleItem) + ranges.size() * sizeof(KsDataRangeAudio)),
                          ULONG(ranges.size())};
    std::vector<BYTE> bytes(header.size);
    std::memcpy(bytes.data(), &header, sizeof(header));
    std::memcpy(bytes.data() + sizeof(header), ranges.data(), ranges.size() * sizeof(KsDataRangeAudio));
    return bytes;
}

constexpr std::size_t Qorda8Device = 0;
constexpr std::size_t HeadsetDevice = 1;
constexpr std::size_t CodecDevice = 2;

class DataIntersection : public SimulatorTest {
protected:
    void SetUp() override { InstallDevices(devices); }

    // Changes the pin, then asks it for a format.
    Reply Intersect(std::size_t device, std::size_t filter, ULONG pin, const std::vector<KsDataRangeAudio>& ranges,
                    const std::function<void(PinType&)>& change = {}, DWORD outputSize = 104)
    {
        if (change) {
            EXPECT_TRUE(Edit([&](Machine& machine) { change(machine.devices[device].filters[filter].pins[pin]); }));
        }
        return PinRequest(OpenFilter(devices[device], filter), KSPROPERTY_PIN_DATAINTERSECTION, pin, outputSize,
                          RangeList(ranges));
    }

    Reply IntersectQorda8(const std::vector<KsDataRangeAudio>& ranges, const std::function<void(PinType&)>& change = {})
    {
        return Intersect(Qorda8Device, 0, UsbRenderPin, ranges, change);
    }

    Reply IntersectHeadset(const std::vector<KsDataRangeAudio>& ranges,
                           const std::function<void(PinType&)>& change = {})
    {
        return Intersect(HeadsetDevice, 0, UsbRenderPin, ranges, change);
    }

    const std::vector<Device> devices = {Qorda8(), UsbHeadset(), HdAudioCodec()};
};

TEST_F(DataIntersection, AnswersTheQorda8WithExtensible24BitSamplesInThreeBytes)
{
    Reply reply = IntersectQorda8({ClientRange(2, 16, 32, 48000, 96000)});
    ASSERT_TRUE(reply.ok) << reply.error;
    ASSERT_EQ(reply.bytes, 104u);
    auto format = ReadAt<KsDataFormat>(reply.output, 0);
    EXPECT_EQ(format.formatSize, 104u);
    EXPECT_TRUE(format.majorFormat == KSDATAFORMAT_TYPE_AUDIO);
    EXPECT_TRUE(format.specifier == KSDATAFORMAT_SPECIFIER_WAVEFORMATEX);
    auto wave = ReadAt<KsWaveFormatExtensible>(reply.output, 64);
    EXPECT_EQ(wave.formatTag, WaveFormatTagExtensible);
    EXPECT_EQ(wave.channels, 2);
    EXPECT_EQ(wave.samplesPerSec, 48000u);  // its first range the client's range meets
    EXPECT_EQ(wave.bitsPerSample, 24);
    EXPECT_EQ(wave.validBitsPerSample, 24);
    EXPECT_EQ(wave.blockAlign, 6);
    EXPECT_EQ(wave.avgBytesPerSec, 288000u);
    EXPECT_EQ(wave.extraSize, 22);
    EXPECT_EQ(wave.channelMask, 0u);
    EXPECT_TRUE(wave.subFormat == KSDATAFORMAT_SUBTYPE_PCM);
    EXPECT_EQ(format.sampleSize, 6u);
}

TEST_F(DataIntersection, AnswersThePlainHeadsetWithAPlainWaveFormat)
{
    Reply reply = IntersectHeadset({ClientRange(8, 8, 32, 8000, 192000)});
    ASSERT_TRUE(reply.ok) << reply.error;
    ASSERT_EQ(reply.bytes, 82u);
    EXPECT_EQ(ReadAt<KsDataFormat>(reply.output, 0).formatSize, 82u);
    auto wave = ReadAt<KsWaveFormatExtensible>(reply.output, 64);
    EXPECT_EQ(wave.formatTag, WaveFormatTagPcm);
    EXPECT_EQ(wave.channels, 2);
    EXPECT_EQ(wave.samplesPerSec, 48000u);
    EXPECT_EQ(wave.bitsPerSample, 16);
    EXPECT_EQ(wave.extraSize, 0);
    EXPECT_EQ(reply.output[82], 0xCD);  // nothing written past the 82 bytes
}

TEST_F(DataIntersection, PutsWaveRtSamplesAbove16BitsInto32BitContainers)
{
    Reply reply = Intersect(CodecDevice, HdAudioAnalogWave, WaveRenderPin, {ClientRange(2, 16, 24, 44100, 48000)});
    ASSERT_TRUE(reply.ok) << reply.error;
    auto wave = ReadAt<KsWaveFormatExtensible>(reply.output, 64);
    EXPECT_EQ(wave.bitsPerSample, 32);
    EXPECT_EQ(wave.validBitsPerSample, 24);
    EXPECT_EQ(wave.blockAlign, 8);
    EXPECT_EQ(wave.samplesPerSec, 48000u);
    EXPECT_EQ(wave.channelMask, 0x3u);
}

TEST_F(DataIntersection, TakesTheFirstClientRangeThatMatches)
{
    Reply reply = IntersectHeadset({ClientRange(2, 24, 24, 48000, 48000), ClientRange(1, 16, 16, 48000, 48000),
                                    ClientRange(2, 16, 16, 48000, 48000)});
    ASSERT_TRUE(reply.ok) << reply.error;
    EXPECT_EQ(ReadAt<KsWaveFormatExtensible>(reply.output, 64).channels, 1);
}

TEST_F(DataIntersection, AnswersSizeQueriesAndRefusesNoMatchEvenThen)
{
    std::vector<KsDataRangeAudio> matching = {ClientRange(2, 16, 16, 48000, 48000)};
    Reply query = Intersect(HeadsetDevice, 0, UsbRenderPin, matching, {}, 0);
    EXPECT_EQ(query.error, DWORD(ERROR_MORE_DATA));
    EXPECT_EQ(query.bytes, 82u);
    EXPECT_EQ(Intersect(HeadsetDevice, 0, UsbRenderPin, matching, {}, 81).error, DWORD(ERROR_INSUFFICIENT_BUFFER));
    std::vector<KsDataRangeAudio> at44100 = {ClientRange(2, 16, 16, 44100, 44100)};
    EXPECT_EQ(Intersect(HeadsetDevice, 0, UsbRenderPin, at44100, {}, 0).error, DWORD(ERROR_NO_MATCH));
    EXPECT_EQ(Intersect(HeadsetDevice, 0, UsbRenderPin, at44100).error, DWORD(ERROR_NO_MATCH));
}

TEST_F(DataIntersection, MatchesEightBitOnlyRangesOnlyWithEightBitClients)
{
    auto eightBitOnly = [](PinType& pin) { pin.dataRanges = {PcmRange(2, 8, 8, 8000, 48000)}; };
    EXPECT_EQ(IntersectHeadset({ClientRange(2, 16, 24, 48000, 48000)}, eightBitOnly).error, DWORD(ERROR_NO_MATCH));
    Reply reply = IntersectHeadset({ClientRange(2, 8, 24, 48000, 48000)});
    ASSERT_TRUE(reply.ok);
    EXPECT_EQ(ReadAt<KsWaveFormatExtensible>(reply.output, 64).bitsPerSample, 8);
    EXPECT_EQ(ReadAt<KsWaveFormatExtensible>(reply.output, 64).blockAlign, 2);
}

TEST_F(DataIntersection, LetsAWildcardSubformatTakeTheClientsSubformat)
{
    auto wildcard = [](PinType& pin) { pin.dataRanges[0].subFormat = KSDATAFORMAT_SUBTYPE_WILDCARD; };
    Reply reply = IntersectHeadset({ClientRange(2, 16, 16, 48000, 48000, KSDATAFORMAT_SUBTYPE_IEEE_FLOAT)}, wildcard);
    ASSERT_TRUE(reply.ok) << reply.error;
    EXPECT_TRUE(ReadAt<KsDataFormat>(reply.output, 0).subFormat == KSDATAFORMAT_SUBTYPE_IEEE_FLOAT);
    EXPECT_EQ(ReadAt<KsWaveFormatExtensible>(reply.output, 64).formatTag, 3);  // WAVE_FORMAT_IEEE_FLOAT
    EXPECT_EQ(IntersectQorda8({ClientRange(2, 24, 24, 48000, 48000, KSDATAFORMAT_SUBTYPE_IEEE_FLOAT)}).error,
              DWORD(ERROR_NO_MATCH));
}

TEST_F(DataIntersection, RefusesRatesThePinWillNotAnswerAlthoughARangeCoversThem)
{
    auto refuse44100 = [](PinType& pin) {
        pin.dataRanges = {PcmRange(8, 24, 24, 44100, 96000)};
        pin.intersection.refusedRates = {44100, 96000};
    };
    EXPECT_EQ(IntersectQorda8({ClientRange(2, 24, 24, 44100, 44100)}, refuse44100).error, DWORD(ERROR_NO_MATCH));
    Reply reply = IntersectQorda8({ClientRange(2, 24, 24, 44100, 96000)});
    ASSERT_TRUE(reply.ok);
    EXPECT_EQ(ReadAt<KsWaveFormatExtensible>(reply.output, 64).samplesPerSec, 88200u);
}

TEST_F(DataIntersection, AnswersRateZeroWhenToldTo)
{
    Reply reply = IntersectHeadset({ClientRange(2, 16, 16, 48000, 48000)},
                                   [](PinType& pin) { pin.intersection.zeroSampleRate = true; });
    ASSERT_TRUE(reply.ok);
    auto wave = ReadAt<KsWaveFormatExtensible>(reply.output, 64);
    EXPECT_EQ(wave.samplesPerSec, 0u);
    EXPECT_EQ(wave.avgBytesPerSec, 0u);
    EXPECT_EQ(wave.blockAlign, 4);
}

TEST_F(DataIntersection, RefusesListsThatClaimMoreBytesThanTheyHave)
{
    HANDLE headset = OpenFilter(UsbHeadset());
    std::vector<BYTE> list = RangeList({ClientRange(2, 16, 16, 48000, 48000)});
    auto errorWith = [&](const std::vector<BYTE>& extraInput) {
        return PinRequest(headset, KSPROPERTY_PIN_DATAINTERSECTION, UsbRenderPin, 104, extraInput).error;
    };
    EXPECT_EQ(errorWith({}), DWORD(ERROR_INVALID_USER_BUFFER));

    std::vector<BYTE> oversized = list;
    oversized[0] += 8;  // KSMULTIPLE_ITEM.Size past the input
    EXPECT_EQ(errorWith(oversized), DWORD(ERROR_INVALID_PARAMETER));
    std::vector<BYTE> hugeCount = list;
    hugeCount[4] = 0xFF;  // Count of ranges that are not there
    hugeCount[7] = 0x7F;
    EXPECT_EQ(errorWith(hugeCount), DWORD(ERROR_INVALID_PARAMETER));
    std::vector<BYTE> rangeTooLong = list;
    rangeTooLong[8] += 8;  // FormatSize past the list
    EXPECT_EQ(errorWith(rangeTooLong), DWORD(ERROR_INVALID_PARAMETER));
    std::vector<BYTE> rangeTooShort = list;
    rangeTooShort[8] = 16;
    EXPECT_EQ(errorWith(rangeTooShort), DWORD(ERROR_INVALID_PARAMETER));
}

}  // namespace
