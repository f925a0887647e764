#include "volume_panel/backend/winmm_mixer.h"

#include "volume_panel/backend/ansi_text.h"
#include "volume_panel/backend/audio_services.h"

#include <cstring>
#include <string_view>

namespace volume::winmm {
namespace {

constexpr double fullScale = 65535.0;

DWORD componentTypeOf(Direction direction)
{
    return direction == Direction::output ? MIXERLINE_COMPONENTTYPE_DST_SPEAKERS : MIXERLINE_COMPONENTTYPE_SRC_LINE;
}

// A mixer opened by index for the length of one operation; closed when it goes out of
// scope. Its queries name the handle as a handle (MIXER_OBJECTF_HMIXER): without that
// flag WinMM takes the value for a mixer index.
class OpenedMixer
{
public:
    explicit OpenedMixer(UINT mixerIndex)
        : opened(audio_services::mixerOpen(&handle, mixerIndex, 0, 0, MIXER_OBJECTF_MIXER) == MMSYSERR_NOERROR)
    {
    }

    ~OpenedMixer()
    {
        if (opened)
            audio_services::mixerClose(handle);
    }

    OpenedMixer(const OpenedMixer&) = delete;
    OpenedMixer& operator=(const OpenedMixer&) = delete;

    bool isOpen() const { return opened; }

    bool findLine(Direction direction, DWORD& lineId) const
    {
        MIXERLINEA line {};
        line.cbStruct = sizeof(line);
        line.dwComponentType = componentTypeOf(direction);
        if (audio_services::mixerGetLineInfoA(object(), &line, MIXER_OBJECTF_HMIXER | MIXER_GETLINEINFOF_COMPONENTTYPE)
            != MMSYSERR_NOERROR)
            return false;

        lineId = line.dwLineID;
        return true;
    }

    bool findControl(DWORD lineId, DWORD controlType, DWORD& controlId) const
    {
        MIXERCONTROLA control {};
        control.cbStruct = sizeof(control);
        MIXERLINECONTROLSA controls {};
        controls.cbStruct = sizeof(controls);
        controls.dwLineID = lineId;
        controls.dwControlType = controlType;
        controls.cControls = 1;
        controls.cbmxctrl = sizeof(control);
        controls.pamxctrl = &control;
        if (audio_services::mixerGetLineControlsA(object(), &controls,
                                                  MIXER_OBJECTF_HMIXER | MIXER_GETLINECONTROLSF_ONEBYTYPE)
            != MMSYSERR_NOERROR)
            return false;

        controlId = control.dwControlID;
        return true;
    }

    bool readValue(DWORD controlId, DWORD& value) const
    {
        MIXERCONTROLDETAILS details = detailsFor(controlId, &value);
        return audio_services::mixerGetControlDetailsA(object(), &details,
                                                       MIXER_OBJECTF_HMIXER | MIXER_GETCONTROLDETAILSF_VALUE)
               == MMSYSERR_NOERROR;
    }

    bool writeValue(DWORD controlId, DWORD value) const
    {
        MIXERCONTROLDETAILS details = detailsFor(controlId, &value);
        return audio_services::mixerSetControlDetails(object(), &details,
                                                      MIXER_OBJECTF_HMIXER | MIXER_SETCONTROLDETAILSF_VALUE)
               == MMSYSERR_NOERROR;
    }

private:
    HMIXEROBJ object() const { return reinterpret_cast<HMIXEROBJ>(handle); }

    // One value for all channels of the line: MIXERCONTROLDETAILS_UNSIGNED for a volume,
    // MIXERCONTROLDETAILS_BOOLEAN for a mute, both one 32-bit value.
    static MIXERCONTROLDETAILS detailsFor(DWORD controlId, DWORD* value)
    {
        MIXERCONTROLDETAILS details {};
        details.cbStruct = sizeof(details);
        details.dwControlID = controlId;
        details.cChannels = 1;
        details.cMultipleItems = 0;
        details.cbDetails = sizeof(DWORD);
        details.paDetails = value;
        return details;
    }

    HMIXER handle = nullptr;
    bool opened;
};

}  // namespace

std::optional<UINT> findMixer(const juce::String& deviceName, Direction direction)
{
    const std::string wanted = toAnsi(deviceName);
    const UINT count = audio_services::mixerGetNumDevs();

    for (UINT index = 0; index < count; ++index)
    {
        MIXERCAPSA caps {};
        if (audio_services::mixerGetDevCapsA(index, &caps, sizeof(caps)) != MMSYSERR_NOERROR)
            continue;

        const std::string_view productName(caps.szPname, strnlen(caps.szPname, sizeof(caps.szPname)));
        if (productName.find(wanted) == std::string_view::npos)
            continue;

        float level;
        bool mute;
        if (readMixerLine(index, direction, level, mute))
            return index;
    }

    return std::nullopt;
}

bool readMixerLine(UINT mixerIndex, Direction direction, float& level, bool& mute)
{
    level = 0.0f;
    mute = false;

    const OpenedMixer mixer(mixerIndex);
    DWORD lineId, volumeId, muteId, value;
    if (! mixer.isOpen() || ! mixer.findLine(direction, lineId)
        || ! mixer.findControl(lineId, MIXERCONTROL_CONTROLTYPE_VOLUME, volumeId) || ! mixer.readValue(volumeId, value))
        return false;

    level = static_cast<float>(value / fullScale);

    if (! mixer.findControl(lineId, MIXERCONTROL_CONTROLTYPE_MUTE, muteId) || ! mixer.readValue(muteId, value))
        return false;

    mute = value == 1;
    return true;
}

bool writeMixerLine(UINT mixerIndex, float level, bool mute, Direction direction)
{
    const OpenedMixer mixer(mixerIndex);
    DWORD lineId, volumeId, muteId;
    if (! mixer.isOpen() || ! mixer.findLine(direction, lineId)
        || ! mixer.findControl(lineId, MIXERCONTROL_CONTROLTYPE_VOLUME, volumeId))
        return false;

    // The float-to-integer conversion is defined only within the mixer's range.
    const DWORD value = static_cast<DWORD>(juce::jlimit(0.0, 1.0, static_cast<double>(level)) * fullScale);
    return mixer.writeValue(volumeId, value) && mixer.findControl(lineId, MIXERCONTROL_CONTROLTYPE_MUTE, muteId)
           && mixer.writeValue(muteId, mute ? 1 : 0);
}

}  // namespace volume::winmm
