#include "hardware_simulator/tests/pin_client.h"

WaveFormat Plain(WORD channels, DWORD rate, WORD bits)
{
    return {false, channels, rate, bits, bits, 0, 0};
}

WaveFormat Extensible(WORD channels, DWORD rate, WORD containerBits, WORD validBits, DWORD mask)
{
    return {true, channels, rate, containerBits, validBits, mask, 0};
}

std::vector<BYTE> Connection(ULONG pinId, const WaveFormat& format, ULONG interfaceId)
{
    KsPinConnect connect{};
    connect.interfaceId = {KSINTERFACESETID_Standard, interfaceId, 0};
    connect.medium = {KSMEDIUMSETID_Standard, KSMEDIUM_TYPE_ANYINSTANCE, 0};
    connect.pinId = pinId;
    connect.priorityClass = 0x40000000;
    connect.prioritySubClass = 1;

    KsWaveFormatExtensible wave{};
    wave.formatTag = format.extensible ? WaveFormatTagExtensible : WaveFormatTagPcm;
    wave.channels = format.channels;
    wave.samplesPerSec = format.rate;
    wave.blockAlign = WORD(format.channels * format.containerBits / 8);
    wave.avgBytesPerSec = wave.blockAlign * format.rate;
    wave.bitsPerSample = format.containerBits;
    if (format.extensible) {
        wave.extraSize = 22;
        wave.validBitsPerSample = format.validBits;
        wave.channelMask = format.mask;
        wave.subFormat = KSDATAFORMAT_SUBTYPE_PCM;
    }
    KsDataFormat data{};
    data.formatSize = format.extensible ? 104 : 82;
    data.sampleSize = format.sampleSize;
    data.majorFormat = KSDATAFORMAT_TYPE_AUDIO;
    data.subFormat = KSDATAFORMAT_SUBTYPE_PCM;
    data.specifier = KSDATAFORMAT_SPECIFIER_WAVEFORMATEX;

    std::vector<BYTE> bytes(PinConnectionSize);
    std::memcpy(bytes.data(), &connect, sizeof(connect));
    std::memcpy(bytes.data() + sizeof(connect), &data, sizeof(data));
    std::memcpy(bytes.data() + sizeof(connect) + sizeof(data), &wave, sizeof(wave));
    return bytes;
}

KsDataFormat& DataFormatOf(std::vector<BYTE>& connection)
{
    return *reinterpret_cast<KsDataFormat*>(connection.data() + sizeof(KsPinConnect));
}

KsWaveFormatExtensible& WaveOf(std::vector<BYTE>& connection)
{
    return *reinterpret_cast<KsWaveFormatExtensible*>(connection.data() + sizeof(KsPinConnect) + sizeof(KsDataFormat));
}

Creation CreatePin(HANDLE filter, std::vector<BYTE> connection, ACCESS_MASK access)
{
    Creation creation{ERROR_SUCCESS, nullptr};
    creation.error = device_access::KsCreatePin(filter, connection.data(), access, &creation.pin);
    return creation;
}

HANDLE CreatePinIn(HANDLE filter, ULONG pinId, const WaveFormat& format, ULONG state, ULONG interfaceId)
{
    Creation created = CreatePin(filter, Connection(pinId, format, interfaceId), FILE_READ_DATA | FILE_WRITE_DATA);
    EXPECT_EQ(created.error, DWORD(ERROR_SUCCESS));
    if (created.error != ERROR_SUCCESS) return nullptr;
    EXPECT_TRUE(SetPinState(created.pin, state).ok);
    return created.pin;
}

Reply PinProperty(HANDLE pin, const std::vector<BYTE>& input, std::vector<BYTE> output)
{
    std::vector<BYTE> in = input;
    OVERLAPPED overlapped{};
    overlapped.hEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    Reply reply{FALSE, ERROR_SUCCESS, 0xDEADBEEF, std::move(output)};
    reply.ok = device_access::DeviceIoControl(pin, IOCTL_KS_PROPERTY, in.data(), DWORD(in.size()),
                                              reply.output.empty() ? nullptr : reply.output.data(),
                                              DWORD(reply.output.size()), &reply.bytes, &overlapped);
    if (!reply.ok) reply.error = GetLastError();
    // Every completed request signals its event, also one that only reports the size
    // needed; a failed one does not.
    bool completed = reply.ok || reply.error == ERROR_MORE_DATA;
    EXPECT_EQ(WaitForSingleObject(overlapped.hEvent, 0) == WAIT_OBJECT_0, completed);
    CloseHandle(overlapped.hEvent);
    return reply;
}

std::vector<BYTE> Descriptor(const GUID& set, ULONG id, ULONG flags, std::size_t size)
{
    std::vector<BYTE> bytes = PropertyBytes(set, id, flags);
    bytes.resize(size);
    return bytes;
}

Reply SetPinState(HANDLE pin, ULONG state)
{
    std::vector<BYTE> value(sizeof(state));
    std::memcpy(value.data(), &state, sizeof(state));
    return PinProperty(pin, PropertyBytes(KSPROPSETID_Connection, KSPROPERTY_CONNECTION_STATE, KSPROPERTY_TYPE_SET),
                       value);
}

ULONG PinState(HANDLE pin)
{
    Reply reply =
        PinProperty(pin, PropertyBytes(KSPROPSETID_Connection, KSPROPERTY_CONNECTION_STATE), std::vector<BYTE>(4));
    EXPECT_TRUE(reply.ok) << reply.error;
    return ReadAt<ULONG>(reply.output, 0);
}

KsAudioPosition AudioPosition(HANDLE pin)
{
    Reply reply = PinProperty(pin, PropertyBytes(KSPROPSETID_Audio, KSPROPERTY_AUDIO_POSITION), std::vector<BYTE>(16));
    EXPECT_TRUE(reply.ok) << reply.error;
    return ReadAt<KsAudioPosition>(reply.output, 0);
}

Packet::Packet(ULONG bytes) : data(bytes)
{
    overlapped.hEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
}

Packet::~Packet()
{
    CloseHandle(overlapped.hEvent);
}

DWORD Packet::Submit(HANDLE pin, DWORD ioctl, ULONG dataUsed)
{
    header = {};
    header.size = sizeof(header);
    header.presentationNumerator = 1;
    header.presentationDenominator = 1;
    header.frameExtent = ULONG(data.size());
    header.dataUsed = dataUsed;
    header.data = data.data();
    DWORD returned = 0;
    if (device_access::DeviceIoControl(pin, ioctl, nullptr, 0, &header, sizeof(header), &returned, &overlapped))
        return ERROR_SUCCESS;
    return GetLastError();
}

bool Packet::Signalled() const
{
    return WaitForSingleObject(overlapped.hEvent, 0) == WAIT_OBJECT_0;
}

DWORD Packet::Result(DWORD* bytes) const
{
    OVERLAPPED copy = overlapped;
    return GetOverlappedResult(nullptr, &copy, bytes, FALSE) ? ERROR_SUCCESS : GetLastError();
}
