// Kernel-streaming request codes, property sets and records as audio kernel drivers
// exchange them, in the layout of the build's bitness. Shared by the driver and the
// hardware simulator that answers in the drivers' place.
#pragma once

#include <windows.h>

#include <cstddef>

// DeviceIoControl codes, all METHOD_NEITHER.
constexpr DWORD IOCTL_KS_PROPERTY = 0x002F0003;
constexpr DWORD IOCTL_KS_READ_STREAM = 0x002F4017;
constexpr DWORD IOCTL_KS_WRITE_STREAM = 0x002F8013;

constexpr ULONG KSPROPERTY_TYPE_GET = 0x00000001;
constexpr ULONG KSPROPERTY_TYPE_SET = 0x00000002;

// Device interface classes.
constexpr GUID KSCATEGORY_AUDIO = {0x6994AD04, 0x93EF, 0x11D0, {0xA3, 0xCC, 0x00, 0xA0, 0xC9, 0x22, 0x31, 0x96}};
constexpr GUID KSCATEGORY_RENDER = {0x65E8773E, 0x8F56, 0x11D0, {0xA3, 0xB9, 0x00, 0xA0, 0xC9, 0x22, 0x31, 0x96}};
constexpr GUID KSCATEGORY_CAPTURE = {0x65E8773D, 0x8F56, 0x11D0, {0xA3, 0xB9, 0x00, 0xA0, 0xC9, 0x22, 0x31, 0x96}};
constexpr GUID KSCATEGORY_REALTIME = {0xEB115FFC, 0x10C8, 0x4964, {0x83, 0x1D, 0x6D, 0xCB, 0x02, 0xE6, 0xF2, 0x3F}};
constexpr GUID KSCATEGORY_TOPOLOGY = {0xDDA54A40, 0x1E4C, 0x11D1, {0xA0, 0x50, 0x40, 0x57, 0x05, 0xC1, 0x00, 0x00}};

// Property sets.
constexpr GUID KSPROPSETID_Pin = {0x8C134960, 0x51AD, 0x11CF, {0x87, 0x8A, 0x94, 0xF8, 0x01, 0xC1, 0x00, 0x00}};
constexpr GUID KSPROPSETID_Topology = {0x720D4AC0, 0x7533, 0x11D0, {0xA5, 0xD6, 0x28, 0xDB, 0x04, 0xC1, 0x00, 0x00}};
constexpr GUID KSPROPSETID_Connection = {0x1D58C920, 0xAC9B, 0x11CF, {0xA5, 0xD6, 0x28, 0xDB, 0x04, 0xC1, 0x00, 0x00}};
constexpr GUID KSPROPSETID_Audio = {0x45FFAAA0, 0x6E1B, 0x11D0, {0xBC, 0xF2, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
constexpr GUID KSPROPSETID_RtAudio = {0xA855A48C, 0x2F78, 0x4729, {0x90, 0x51, 0x19, 0x68, 0x74, 0x6B, 0x9E, 0xEF}};

// KSPROPSETID_Pin ids.
enum : ULONG {
    KSPROPERTY_PIN_CINSTANCES = 0,
    KSPROPERTY_PIN_CTYPES = 1,
    KSPROPERTY_PIN_DATAFLOW = 2,
    KSPROPERTY_PIN_DATARANGES = 3,
    KSPROPERTY_PIN_DATAINTERSECTION = 4,
    KSPROPERTY_PIN_INTERFACES = 5,
    KSPROPERTY_PIN_MEDIUMS = 6,
    KSPROPERTY_PIN_COMMUNICATION = 7,
    KSPROPERTY_PIN_GLOBALCINSTANCES = 8,
    KSPROPERTY_PIN_NAME = 12,
};

// KSPROPSETID_Topology ids.
enum : ULONG {
    KSPROPERTY_TOPOLOGY_CATEGORIES = 0,
    KSPROPERTY_TOPOLOGY_NODES = 1,
    KSPROPERTY_TOPOLOGY_CONNECTIONS = 2,
    KSPROPERTY_TOPOLOGY_NAME = 3,
};

enum : ULONG {
    KSPIN_COMMUNICATION_NONE = 0,
    KSPIN_COMMUNICATION_SINK = 1,
    KSPIN_COMMUNICATION_SOURCE = 2,
    KSPIN_COMMUNICATION_BOTH = 3,
    KSPIN_COMMUNICATION_BRIDGE = 4,
};

enum : ULONG {
    KSPIN_DATAFLOW_IN = 1,   // render: the host's outputs
    KSPIN_DATAFLOW_OUT = 2,  // capture: the host's inputs
};

constexpr ULONG KSINSTANCE_INDETERMINATE = 0xFFFFFFFF;

constexpr GUID KSINTERFACESETID_Standard = {
    0x1A8766A0, 0x62CE, 0x11CF, {0xA5, 0xD6, 0x28, 0xDB, 0x04, 0xC1, 0x00, 0x00}};
constexpr ULONG KSINTERFACE_STANDARD_STREAMING = 0;
constexpr ULONG KSINTERFACE_STANDARD_LOOPED_STREAMING = 1;
constexpr GUID KSMEDIUMSETID_Standard = {0x4747B320, 0x62CE, 0x11CF, {0xA5, 0xD6, 0x28, 0xDB, 0x04, 0xC1, 0x00, 0x00}};
constexpr ULONG KSMEDIUM_TYPE_ANYINSTANCE = 0;

// Data formats.
constexpr GUID KSDATAFORMAT_TYPE_AUDIO = {0x73647561, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
constexpr GUID KSDATAFORMAT_SUBTYPE_PCM = {
    0x00000001, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
constexpr GUID KSDATAFORMAT_SUBTYPE_IEEE_FLOAT = {
    0x00000003, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
constexpr GUID KSDATAFORMAT_SUBTYPE_WILDCARD = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
constexpr GUID KSDATAFORMAT_SPECIFIER_WAVEFORMATEX = {
    0x05589F81, 0xC356, 0x11CE, {0xBF, 0x01, 0x00, 0xAA, 0x00, 0x55, 0x59, 0x5A}};
constexpr GUID KSDATAFORMAT_SPECIFIER_NONE = {
    0x0F6417D6, 0xC318, 0x11D0, {0xA4, 0x3F, 0x00, 0xA0, 0xC9, 0x22, 0x31, 0x96}};
// The signal on a bridge pin: audio outside the computer.
constexpr GUID KSDATAFORMAT_SUBTYPE_ANALOG = {
    0x6DBA3190, 0x67BD, 0x11CF, {0xA0, 0xF7, 0x00, 0x20, 0xAF, 0xD1, 0x56, 0xE4}};
constexpr GUID KSDATAFORMAT_SUBTYPE_IEC61937_DOLBY_DIGITAL = {
    0x00000092, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};

// wFormatTag of a wave format; for the audio subformat GUIDs above it equals Data1.
constexpr WORD WaveFormatTagPcm = 0x0001;
constexpr WORD WaveFormatTagExtensible = 0xFFFE;

// Topology node types.
constexpr GUID KSNODETYPE_ADC = {0x4D837FE0, 0xC555, 0x11D0, {0x8A, 0x2B, 0x00, 0xA0, 0xC9, 0x25, 0x5A, 0xC1}};
constexpr GUID KSNODETYPE_DAC = {0x507AE360, 0xC554, 0x11D0, {0x8A, 0x2B, 0x00, 0xA0, 0xC9, 0x25, 0x5A, 0xC1}};
constexpr GUID KSNODETYPE_SPDIF_INTERFACE = {
    0xDFF21FE5, 0xF70F, 0x11D0, {0xB9, 0x17, 0x00, 0xA0, 0xC9, 0x22, 0x31, 0x96}};
constexpr GUID KSNODETYPE_HDMI_INTERFACE = {
    0xD1B9CC2A, 0xF519, 0x417F, {0x91, 0xC9, 0x55, 0xFA, 0x65, 0x48, 0x10, 0x01}};
constexpr GUID KSNODETYPE_VOLUME = {0x3A5ACC00, 0xC557, 0x11D0, {0x8A, 0x2B, 0x00, 0xA0, 0xC9, 0x25, 0x5A, 0xC1}};
constexpr GUID KSNODETYPE_MUTE = {0x02B223C0, 0xC557, 0x11D0, {0x8A, 0x2B, 0x00, 0xA0, 0xC9, 0x25, 0x5A, 0xC1}};
constexpr GUID KSNODETYPE_SUM = {0xDA441A60, 0xC556, 0x11D0, {0x8A, 0x2B, 0x00, 0xA0, 0xC9, 0x25, 0x5A, 0xC1}};

// A property, interface or medium: set, id and flags (KSIDENTIFIER).
struct alignas(8) KsIdentifier {
    GUID set;
    ULONG id;
    ULONG flags;
};

// A pin property request (KSP_PIN).
struct KsPinProperty {
    KsIdentifier property;
    ULONG pinId;
    ULONG reserved;
};

// Header of a variable-length answer (KSMULTIPLE_ITEM): Size counts the header too.
struct KsMultipleItem {
    ULONG size;
    ULONG count;
};

// KSDATAFORMAT, which is also KSDATARANGE.
struct alignas(8) KsDataFormat {
    ULONG formatSize;
    ULONG flags;
    ULONG sampleSize;
    ULONG reserved;
    GUID majorFormat;
    GUID subFormat;
    GUID specifier;
};

// KSDATARANGE_AUDIO.
struct KsDataRangeAudio {
    KsDataFormat dataRange;
    ULONG maximumChannels;
    ULONG minimumBitsPerSample;
    ULONG maximumBitsPerSample;
    ULONG minimumSampleFrequency;
    ULONG maximumSampleFrequency;
};

// KSPIN_CONNECT; the data format follows it in the same buffer.
struct KsPinConnect {
    KsIdentifier interfaceId;
    KsIdentifier medium;
    ULONG pinId;
    HANDLE pinToHandle;
    ULONG priorityClass;
    ULONG prioritySubClass;
};

// WAVEFORMATEXTENSIBLE without the compiler's padding: 40 bytes.
#pragma pack(push, 1)
struct KsWaveFormatExtensible {
    WORD formatTag;
    WORD channels;
    DWORD samplesPerSec;
    DWORD avgBytesPerSec;
    WORD blockAlign;
    WORD bitsPerSample;
    WORD extraSize;
    WORD validBitsPerSample;
    DWORD channelMask;
    GUID subFormat;
};
#pragma pack(pop)

static_assert(sizeof(KsIdentifier) == 24, "KSIDENTIFIER");
static_assert(sizeof(KsPinProperty) == 32, "KSP_PIN");
static_assert(sizeof(KsDataFormat) == 64, "KSDATAFORMAT");
static_assert(sizeof(KsDataRangeAudio) == 88, "KSDATARANGE_AUDIO, padded to 8 bytes");
static_assert(sizeof(KsPinConnect) == (sizeof(void*) == 8 ? 72 : 64), "KSPIN_CONNECT");
static_assert(offsetof(KsPinConnect, pinToHandle) == (sizeof(void*) == 8 ? 56 : 52), "PinToHandle");
static_assert(sizeof(KsWaveFormatExtensible) == 40, "WAVEFORMATEXTENSIBLE");

// A plain WAVEFORMATEX ends where the extensible fields begin; an extensible format's
// cbSize counts those fields.
constexpr WORD PlainWaveFormatSize = offsetof(KsWaveFormatExtensible, validBitsPerSample);
constexpr WORD ExtensibleExtraSize = sizeof(KsWaveFormatExtensible) - PlainWaveFormatSize;
static_assert(PlainWaveFormatSize == 18 && ExtensibleExtraSize == 22, "WAVEFORMATEX and its cbSize");
// FormatSize of a KSDATAFORMAT followed by either.
constexpr ULONG PlainFormatSize = sizeof(KsDataFormat) + PlainWaveFormatSize;
constexpr ULONG ExtensibleFormatSize = sizeof(KsDataFormat) + sizeof(KsWaveFormatExtensible);

// A pin's connection request: KSPIN_CONNECT, KSDATAFORMAT and the wave format.
constexpr std::size_t PinConnectionSize = sizeof(KsPinConnect) + sizeof(KsDataFormat) + sizeof(KsWaveFormatExtensible);
static_assert(PinConnectionSize == (sizeof(void*) == 8 ? 176 : 168), "connection template");

// Pin states (KSSTATE).
enum : ULONG {
    KSSTATE_STOP = 0,
    KSSTATE_ACQUIRE = 1,
    KSSTATE_PAUSE = 2,
    KSSTATE_RUN = 3,
};

enum : ULONG {
    KSPROPERTY_CONNECTION_STATE = 0,
    KSPROPERTY_AUDIO_POSITION = 5,
};

// KSPROPSETID_RtAudio ids.
enum : ULONG {
    KSPROPERTY_RTAUDIO_GETPOSITIONFUNCTION = 0,
    KSPROPERTY_RTAUDIO_BUFFER = 1,
    KSPROPERTY_RTAUDIO_HWLATENCY = 2,
    KSPROPERTY_RTAUDIO_POSITIONREGISTER = 3,
    KSPROPERTY_RTAUDIO_CLOCKREGISTER = 4,
    KSPROPERTY_RTAUDIO_BUFFER_WITH_NOTIFICATION = 5,
    KSPROPERTY_RTAUDIO_REGISTER_NOTIFICATION_EVENT = 6,
    KSPROPERTY_RTAUDIO_UNREGISTER_NOTIFICATION_EVENT = 7,
};

// The pin hint property that the driver sets to 4 on packet pins.
constexpr GUID PinHintPropertySet = {0x4E73C07F, 0x23CC, 0x4955, {0xA7, 0xEA, 0x3D, 0xA5, 0x02, 0x49, 0x62, 0x90}};
constexpr ULONG PinHintPropertyId = 1;

// KSSTREAM_HEADER: 48 bytes on x86, 56 on x64.
struct KsStreamHeader {
    ULONG size;
    ULONG typeSpecificFlags;
    LONGLONG presentationTime;
    ULONG presentationNumerator;
    ULONG presentationDenominator;
    LONGLONG duration;
    ULONG frameExtent;
    ULONG dataUsed;
    void* data;
    ULONG optionsFlags;
#if defined(_WIN64)
    ULONG reserved;
#endif
};

// KSAUDIO_POSITION.
struct KsAudioPosition {
    ULONGLONG playOffset;
    ULONGLONG writeOffset;
};

// KSRTAUDIO_BUFFER_PROPERTY and its variant with notifications.
struct KsRtAudioBufferProperty {
    KsIdentifier property;
    void* baseAddress;
    ULONG requestedBufferSize;
};
struct KsRtAudioBufferPropertyWithNotification {
    KsIdentifier property;
    void* baseAddress;
    ULONG requestedBufferSize;
    ULONG notificationCount;
};
// KSRTAUDIO_BUFFER: the buffer a looped pin hands out.
struct KsRtAudioBuffer {
    void* bufferAddress;
    ULONG actualBufferSize;
    BOOL callMemoryBarrier;
};
// KSRTAUDIO_HWLATENCY: FIFO bytes and the chipset and codec delays in 100 ns units.
struct KsRtAudioHardwareLatency {
    ULONG fifoSize;
    ULONG chipsetDelay;
    ULONG codecDelay;
};
// KSRTAUDIO_HWREGISTER_PROPERTY and KSRTAUDIO_HWREGISTER.
struct KsRtAudioRegisterProperty {
    KsIdentifier property;
    void* baseAddress;
};
struct KsRtAudioRegister {
    void* registerAddress;
    ULONG width;
    ULONGLONG numerator;
    ULONGLONG denominator;
    ULONG accuracy;
};
// KSRTAUDIO_NOTIFICATION_EVENT_PROPERTY: the event travels in an 8-byte field.
struct KsRtAudioNotificationEventProperty {
    KsIdentifier property;
    ULONGLONG notificationEvent;
};

static_assert(sizeof(KsStreamHeader) == (sizeof(void*) == 8 ? 56 : 48), "KSSTREAM_HEADER");
static_assert(offsetof(KsStreamHeader, data) == 40, "KSSTREAM_HEADER.Data");
static_assert(offsetof(KsStreamHeader, optionsFlags) == (sizeof(void*) == 8 ? 48 : 44), "OptionsFlags");
static_assert(sizeof(KsAudioPosition) == 16, "KSAUDIO_POSITION");
static_assert(sizeof(KsRtAudioBufferProperty) == (sizeof(void*) == 8 ? 40 : 32), "KSRTAUDIO_BUFFER_PROPERTY");
static_assert(offsetof(KsRtAudioBufferProperty, requestedBufferSize) == (sizeof(void*) == 8 ? 32 : 28), "size");
static_assert(sizeof(KsRtAudioBufferPropertyWithNotification) == 40, "with notification");
static_assert(sizeof(KsRtAudioBuffer) == (sizeof(void*) == 8 ? 16 : 12), "KSRTAUDIO_BUFFER");
static_assert(sizeof(KsRtAudioHardwareLatency) == 12, "KSRTAUDIO_HWLATENCY");
static_assert(sizeof(KsRtAudioRegisterProperty) == 32, "KSRTAUDIO_HWREGISTER_PROPERTY");
static_assert(sizeof(KsRtAudioRegister) == (sizeof(void*) == 8 ? 40 : 32), "KSRTAUDIO_HWREGISTER");
static_assert(sizeof(KsRtAudioNotificationEventProperty) == 32, "notification event property");
