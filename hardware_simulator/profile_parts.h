// Building blocks the device profiles share: the interfaces, mediums, pins and device
// records that real USB audio and HD Audio drivers give their devices.
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

#include "hardware_simulator/device.h"

namespace hardware_simulator {

// Speaker positions (dwChannelMask bits) of common layouts.
constexpr DWORD SpeakerFrontCenter = 0x4;
constexpr DWORD SpeakersStereo = 0x3;
constexpr DWORD SpeakersQuad = 0x33;
constexpr DWORD Speakers7Point1 = 0x63F;

KsIdentifier StandardStreaming();
KsIdentifier LoopedStreaming();  // WaveRT pins

// Pin creation rules of the USB audio class driver: `accepted` with no speaker
// positions or the layout's own, refused with ERROR_INVALID_PARAMETER.
FormatRules UsbClassFormats(std::vector<AcceptedFormat> accepted);
// Pin creation rules of WaveRT miniports: `accepted` with exactly the layout's speaker
// positions, refused with ERROR_NO_MATCH.
FormatRules WaveRtFormats(std::vector<AcceptedFormat> accepted);

// A pin that carries PCM to or from the host: one instance possible, none in use.
PinType StreamingPin(ULONG dataFlow, std::wstring name, std::vector<DataRange> ranges, DWORD channelMask,
                     const KsIdentifier& streamingInterface);
// A pin that ends at the analogue world or another filter; no instance can be made.
PinType BridgePin(ULONG dataFlow, ULONG communication);

// One range per rate, as hardware with discrete rates lists them.
std::vector<DataRange> RangePerRate(ULONG maximumChannels, ULONG minimumBits, ULONG maximumBits,
                                    std::initializer_list<ULONG> rates);

// Registrations, all active, in these classes.
std::vector<InterfaceClass> ActiveIn(std::initializer_list<GUID> categories);

// A UAC1 audio function on interface 0 served by the USB audio class driver;
// `vendorProduct` is like "VID_200C&PID_1002", `revision` like "0100", `instance` the
// last part of the instance id.
Device UsbAudioFunction(const std::string& vendorProduct, const std::string& revision, const std::string& instance);
// Its one filter: render pin, the two terminals' bridge pins, capture pin. The
// streaming pins take the pin hint property.
Filter UsbAudioFilter(std::string friendlyName, PinType render, PinType capture, std::vector<GUID> nodes);

}  // namespace hardware_simulator
