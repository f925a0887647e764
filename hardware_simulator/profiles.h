// The devices a test can plug in, as Windows shows them with their usual drivers.
#pragma once

#include <cstddef>

#include "hardware_simulator/device.h"

namespace hardware_simulator {

// Velmora QORDA-8: USB audio interface, 8 in and 8 out, 24 bits in 3 bytes as
// WAVEFORMATEXTENSIBLE at 44.1, 48, 88.2 and 96 kHz.
Device Qorda8();
// The QORDA-8 as Windows 10 and later drive it, on the USB Audio 2.0 class driver: the
// same pins (ids and formats), streaming through looped buffers only.
Device Qorda8UsbAudio2();
// The QORDA-8 that the simulated builds, the demo and the streaming benchmark plug in, as
// the environment variable KASKADE_SIM_QORDA8 chooses: "uac2" the USB Audio 2.0 one,
// "uac1" or nothing the USB Audio 1.0 one. False (and `device` untouched) for any other value.
bool ChosenQorda8(Device* device);

// Velmora QORDA DESK PRO: USB DJ controller, 2 in and 4 out, 16 or 24 bits at 44.1 and 48 kHz.
Device QordaDeskPro();
// A USB headset: 1 in and 2 out, 16 bits at 48 kHz.
Device UsbHeadset();
// An HD Audio codec with WaveRT filters: analogue wave and topology, S/PDIF and HDMI.
Device HdAudioCodec();

// Pin ids of the filter of every USB profile: the streaming pins and the bridge pins of
// the USB terminals.
constexpr ULONG UsbRenderPin = 0;
constexpr ULONG UsbOutputTerminalPin = 1;
constexpr ULONG UsbInputTerminalPin = 2;
constexpr ULONG UsbCapturePin = 3;

// The HD Audio codec's filters, in order, and the pin ids of its wave filters.
constexpr std::size_t HdAudioAnalogWave = 0;
constexpr std::size_t HdAudioAnalogTopology = 1;
constexpr std::size_t HdAudioSpdifWave = 2;
constexpr std::size_t HdAudioHdmiWave = 3;
constexpr ULONG WaveRenderPin = 0;
constexpr ULONG WaveRenderBridgePin = 1;
constexpr ULONG WaveCaptureBridgePin = 2;  // analogue wave filter only
constexpr ULONG WaveCapturePin = 3;        // analogue wave filter only

}  // namespace hardware_simulator
