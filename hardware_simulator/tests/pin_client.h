// Pin creation and pin requests sent through the device-access layer as the driver
// sends them: connection blocks, property requests with an OVERLAPPED, and stream
// requests that stay pending.
#pragma once

#include "hardware_simulator/tests/simulator_fixture.h"

// A wave format as the driver fills it in; the derived fields follow from these.
struct WaveFormat {
    bool extensible = true;
    WORD channels = 2;
    DWORD rate = 48000;
    WORD containerBits = 16;
    WORD validBits = 16;
    DWORD mask = 0;
    ULONG sampleSize = 0;
};

WaveFormat Plain(WORD channels, DWORD rate, WORD bits);
WaveFormat Extensible(WORD channels, DWORD rate, WORD containerBits, WORD validBits, DWORD mask = 0);

// KSPIN_CONNECT, KSDATAFORMAT and the wave format: FormatSize 104 or 82.
std::vector<BYTE> Connection(ULONG pinId, const WaveFormat& format, ULONG interfaceId = KSINTERFACE_STANDARD_STREAMING);
// The data format of a connection block, where pin creation reads it.
KsDataFormat& DataFormatOf(std::vector<BYTE>& connection);
KsWaveFormatExtensible& WaveOf(std::vector<BYTE>& connection);

struct Creation {
    DWORD error;
    HANDLE pin;
};
Creation CreatePin(HANDLE filter, std::vector<BYTE> connection, ACCESS_MASK access = FILE_WRITE_DATA);
// A pin of `filter` in `state`, with the access its data flow needs; the test fails
// (and null is returned) when it cannot be had.
HANDLE CreatePinIn(HANDLE filter, ULONG pinId, const WaveFormat& format, ULONG state,
                   ULONG interfaceId = KSINTERFACE_STANDARD_STREAMING);

// A property request on a pin with an OVERLAPPED; `output` is the output buffer's
// content going in. Reply.error is ERROR_SUCCESS on TRUE.
Reply PinProperty(HANDLE pin, const std::vector<BYTE>& input, std::vector<BYTE> output);
Reply SetPinState(HANDLE pin, ULONG state);
ULONG PinState(HANDLE pin);
KsAudioPosition AudioPosition(HANDLE pin);

// A KSPROPERTY with the descriptor fields after it, in `size` bytes.
std::vector<BYTE> Descriptor(const GUID& set, ULONG id, ULONG flags, std::size_t size);

// One packet: its data, stream header and OVERLAPPED with its own event.
class Packet {
public:
    explicit Packet(ULONG bytes);
    ~Packet();
    Packet(const Packet&) = delete;
    Packet& operator=(const Packet&) = delete;

    // The call's error: ERROR_IO_PENDING when it was queued.
    DWORD Submit(HANDLE pin, DWORD ioctl, ULONG dataUsed = 0);
    bool Signalled() const;
    // GetOverlappedResult without waiting: its error (ERROR_SUCCESS on TRUE) and bytes.
    DWORD Result(DWORD* bytes) const;

    KsStreamHeader header{};
    OVERLAPPED overlapped{};
    std::vector<BYTE> data;
};
