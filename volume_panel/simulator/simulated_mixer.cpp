// WinMM's mixer functions as the simulated machine answers them: one mixer per plugged
// device, in the machine's order, each with a speakers destination line (the output)
// and a line-in source line (the input) carrying a volume and a mute control unless the
// device lacks them. Structures, sizes, flags and handles are checked as WinMM does.
#include "volume_panel/backend/audio_services.h"
#include "volume_panel/simulator/simulator_state.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace audio_services {
namespace {

using simulated_audio::Direction;
using simulated_audio::Line;
using simulated_audio::SimulatorState;

constexpr UINT_PTR firstMixerHandle = 0x4D580000;
constexpr DWORD outputLineId = 0x00000000;
constexpr DWORD inputLineId = 0x00011000;
constexpr DWORD objectTypeMask = 0xF0000000;

SimulatorState& state()
{
    return SimulatorState::instance();
}

DWORD lineIdOf(Direction direction)
{
    return direction == Direction::output ? outputLineId : inputLineId;
}

DWORD volumeControlIdOf(Direction direction)
{
    return direction == Direction::output ? 1 : 3;
}

DWORD muteControlIdOf(Direction direction)
{
    return direction == Direction::output ? 2 : 4;
}

void copyText(char* target, std::size_t size, const std::string& text)
{
    std::memset(target, 0, size);
    std::memcpy(target, text.data(), std::min(text.size(), size - 1));
}

// The device a mixer object names: a handle from mixerOpen with MIXER_OBJECTF_HMIXER,
// a mixer index with MIXER_OBJECTF_MIXER.
MMRESULT resolveMixer(HMIXEROBJ object, DWORD flags, std::size_t& device)
{
    const UINT_PTR value = reinterpret_cast<UINT_PTR>(object);
    switch (flags & objectTypeMask)
    {
    case MIXER_OBJECTF_HMIXER:
    {
        const auto open = state().openMixers.find(value);
        if (open == state().openMixers.end())
            return MMSYSERR_INVALHANDLE;
        if (state().deviceGenerations[open->second.device] != open->second.generation)
            return MMSYSERR_NODRIVER;
        device = open->second.device;
        return MMSYSERR_NOERROR;
    }
    case MIXER_OBJECTF_MIXER: return state().deviceOfMixer(value, device) ? MMSYSERR_NOERROR : MMSYSERR_BADDEVICEID;
    default: return MMSYSERR_INVALFLAG;
    }
}

struct ControlTarget
{
    Direction direction;
    bool isVolume;
};

bool findControl(std::size_t device, DWORD controlId, ControlTarget& target)
{
    for (const Direction direction : { Direction::input, Direction::output })
    {
        const Line& line = state().lineAt(device, direction);
        if (controlId == volumeControlIdOf(direction) && line.hasVolumeControl)
        {
            target = { direction, true };
            return true;
        }
        if (controlId == muteControlIdOf(direction) && line.hasMuteControl)
        {
            target = { direction, false };
            return true;
        }
    }
    return false;
}

// The control a get or set of control details addresses, after the checks WinMM makes.
MMRESULT resolveControl(HMIXEROBJ mixer, const MIXERCONTROLDETAILS* details, DWORD flags, DWORD queryMask,
                        DWORD valueQuery, std::size_t& device, ControlTarget& target)
{
    if (details == nullptr || details->cbStruct < sizeof(MIXERCONTROLDETAILS) || details->paDetails == nullptr
        || details->cbDetails < sizeof(DWORD) || details->cChannels < 1 || details->cChannels > 2
        || details->cMultipleItems != 0)
        return MMSYSERR_INVALPARAM;
    if ((flags & queryMask) != valueQuery)
        return MMSYSERR_NOTSUPPORTED;
    if (const MMRESULT result = resolveMixer(mixer, flags, device); result != MMSYSERR_NOERROR)
        return result;
    return findControl(device, details->dwControlID, target) ? MMSYSERR_NOERROR : MIXERR_INVALCONTROL;
}

std::string controlText(std::size_t device, const ControlTarget& target)
{
    return state().machine.devices[device].mixerName + " " + simulated_audio::directionName(target.direction)
           + (target.isVolume ? " volume" : " mute");
}

}  // namespace

UINT mixerGetNumDevs()
{
    const std::lock_guard<std::mutex> lock(state().mutex);
    state().answer("mixerGetNumDevs");
    return static_cast<UINT>(std::count_if(state().machine.devices.begin(), state().machine.devices.end(),
                                           [](const simulated_audio::Device& device) { return device.plugged; }));
}

MMRESULT mixerGetDevCapsA(UINT_PTR mixerId, MIXERCAPSA* caps, UINT capsSize)
{
    const std::lock_guard<std::mutex> lock(state().mutex);
    if (! state().answer("mixerGetDevCapsA", std::to_string(mixerId)))
        return MMSYSERR_ERROR;
    if (caps == nullptr)
        return MMSYSERR_INVALPARAM;

    std::size_t device;
    if (! state().deviceOfMixer(mixerId, device))
        return MMSYSERR_BADDEVICEID;

    MIXERCAPSA full {};
    full.wMid = 0xFFFF;
    full.wPid = 0x1002;
    full.vDriverVersion = 0x0100;
    copyText(full.szPname, sizeof(full.szPname), state().machine.devices[device].mixerName);
    full.cDestinations = 2;
    std::memcpy(caps, &full, std::min<std::size_t>(capsSize, sizeof(full)));
    return MMSYSERR_NOERROR;
}

MMRESULT mixerOpen(HMIXER* mixer, UINT mixerId, DWORD_PTR callback, DWORD_PTR, DWORD flags)
{
    const std::lock_guard<std::mutex> lock(state().mutex);
    if (! state().answer("mixerOpen", std::to_string(mixerId)))
        return MMSYSERR_ERROR;
    if (mixer == nullptr)
        return MMSYSERR_INVALPARAM;
    if ((flags & objectTypeMask) != MIXER_OBJECTF_MIXER || (flags & CALLBACK_TYPEMASK) != CALLBACK_NULL
        || callback != 0)
        return MMSYSERR_INVALFLAG;

    std::size_t device;
    if (! state().deviceOfMixer(mixerId, device))
        return MMSYSERR_BADDEVICEID;

    UINT_PTR handle = firstMixerHandle;
    while (state().openMixers.count(handle) != 0)
        handle += 4;
    state().openMixers[handle] = { device, state().deviceGenerations[device] };
    *mixer = reinterpret_cast<HMIXER>(handle);
    return MMSYSERR_NOERROR;
}

MMRESULT mixerGetLineInfoA(HMIXEROBJ mixer, MIXERLINEA* line, DWORD flags)
{
    const std::lock_guard<std::mutex> lock(state().mutex);
    if (! state().answer("mixerGetLineInfoA"))
        return MMSYSERR_ERROR;
    if (line == nullptr || line->cbStruct < sizeof(MIXERLINEA))
        return MMSYSERR_INVALPARAM;
    if ((flags & MIXER_GETLINEINFOF_QUERYMASK) != MIXER_GETLINEINFOF_COMPONENTTYPE)
        return MMSYSERR_NOTSUPPORTED;

    std::size_t device;
    if (const MMRESULT result = resolveMixer(mixer, flags, device); result != MMSYSERR_NOERROR)
        return result;

    Direction direction;
    if (line->dwComponentType == MIXERLINE_COMPONENTTYPE_DST_SPEAKERS)
        direction = Direction::output;
    else if (line->dwComponentType == MIXERLINE_COMPONENTTYPE_SRC_LINE)
        direction = Direction::input;
    else
        return MIXERR_INVALLINE;

    const Line& simulated = state().lineAt(device, direction);
    const bool isOutput = direction == Direction::output;
    line->dwDestination = isOutput ? 0 : 1;
    line->dwSource = isOutput ? 0 : 1;
    line->dwLineID = lineIdOf(direction);
    line->fdwLine = MIXERLINE_LINEF_ACTIVE | (isOutput ? 0 : MIXERLINE_LINEF_SOURCE);
    line->dwUser = 0;
    line->cChannels = 2;
    line->cConnections = isOutput ? 1 : 0;
    line->cControls = (simulated.hasVolumeControl ? 1 : 0) + (simulated.hasMuteControl ? 1 : 0);
    copyText(line->szShortName, sizeof(line->szShortName), isOutput ? "Speakers" : "Line In");
    copyText(line->szName, sizeof(line->szName), isOutput ? "Speakers" : "Line In");
    line->Target.dwType = isOutput ? MIXERLINE_TARGETTYPE_WAVEOUT : MIXERLINE_TARGETTYPE_WAVEIN;
    line->Target.dwDeviceID = 0;
    line->Target.wMid = 0xFFFF;
    line->Target.wPid = 0x1002;
    line->Target.vDriverVersion = 0x0100;
    copyText(line->Target.szPname, sizeof(line->Target.szPname), state().machine.devices[device].mixerName);
    return MMSYSERR_NOERROR;
}

MMRESULT mixerGetLineControlsA(HMIXEROBJ mixer, MIXERLINECONTROLSA* controls, DWORD flags)
{
    const std::lock_guard<std::mutex> lock(state().mutex);
    if (! state().answer("mixerGetLineControlsA"))
        return MMSYSERR_ERROR;
    if (controls == nullptr || controls->cbStruct < sizeof(MIXERLINECONTROLSA) || controls->cControls != 1
        || controls->cbmxctrl < sizeof(MIXERCONTROLA) || controls->pamxctrl == nullptr)
        return MMSYSERR_INVALPARAM;
    if ((flags & MIXER_GETLINECONTROLSF_QUERYMASK) != MIXER_GETLINECONTROLSF_ONEBYTYPE)
        return MMSYSERR_NOTSUPPORTED;

    std::size_t device;
    if (const MMRESULT result = resolveMixer(mixer, flags, device); result != MMSYSERR_NOERROR)
        return result;

    Direction direction;
    if (controls->dwLineID == outputLineId)
        direction = Direction::output;
    else if (controls->dwLineID == inputLineId)
        direction = Direction::input;
    else
        return MIXERR_INVALLINE;

    const Line& line = state().lineAt(device, direction);
    const bool isVolume = controls->dwControlType == MIXERCONTROL_CONTROLTYPE_VOLUME;
    const bool isMute = controls->dwControlType == MIXERCONTROL_CONTROLTYPE_MUTE;
    if (! (isVolume && line.hasVolumeControl) && ! (isMute && line.hasMuteControl))
        return MIXERR_INVALCONTROL;

    MIXERCONTROLA& control = *controls->pamxctrl;
    std::memset(&control, 0, sizeof(control));
    control.cbStruct = sizeof(control);
    control.dwControlID = isVolume ? volumeControlIdOf(direction) : muteControlIdOf(direction);
    control.dwControlType = controls->dwControlType;
    control.fdwControl = MIXERCONTROL_CONTROLF_UNIFORM;
    copyText(control.szShortName, sizeof(control.szShortName), isVolume ? "Volume" : "Mute");
    copyText(control.szName, sizeof(control.szName), isVolume ? "Volume" : "Mute");
    control.Bounds.dwMinimum = 0;
    control.Bounds.dwMaximum = isVolume ? 65535 : 1;
    control.Metrics.cSteps = isVolume ? 192 : 0;
    return MMSYSERR_NOERROR;
}

MMRESULT mixerGetControlDetailsA(HMIXEROBJ mixer, MIXERCONTROLDETAILS* details, DWORD flags)
{
    const std::lock_guard<std::mutex> lock(state().mutex);
    std::size_t device = 0;
    ControlTarget target { Direction::output, true };
    const MMRESULT result = resolveControl(mixer, details, flags, MIXER_GETCONTROLDETAILSF_QUERYMASK,
                                           MIXER_GETCONTROLDETAILSF_VALUE, device, target);
    const bool succeeds =
        state().answer("mixerGetControlDetailsA", result == MMSYSERR_NOERROR ? controlText(device, target) : "");
    if (result != MMSYSERR_NOERROR)
        return result;
    if (! succeeds)
        return MMSYSERR_ERROR;

    const Line& line = state().lineAt(device, target.direction);
    const DWORD value = target.isVolume ? static_cast<DWORD>(std::lround(line.level * 65535.0)) : line.muteValue;
    for (DWORD channel = 0; channel < details->cChannels; ++channel)
        static_cast<DWORD*>(details->paDetails)[channel] = value;
    return MMSYSERR_NOERROR;
}

MMRESULT mixerSetControlDetails(HMIXEROBJ mixer, MIXERCONTROLDETAILS* details, DWORD flags)
{
    const std::lock_guard<std::mutex> lock(state().mutex);
    std::size_t device = 0;
    ControlTarget target { Direction::output, true };
    const MMRESULT result = resolveControl(mixer, details, flags, MIXER_SETCONTROLDETAILSF_QUERYMASK,
                                           MIXER_SETCONTROLDETAILSF_VALUE, device, target);
    const DWORD value = result == MMSYSERR_NOERROR ? *static_cast<const DWORD*>(details->paDetails) : 0;
    const bool succeeds =
        state().answer("mixerSetControlDetails",
                       result == MMSYSERR_NOERROR ? controlText(device, target) + " " + std::to_string(value) : "");
    if (result != MMSYSERR_NOERROR)
        return result;
    if (! succeeds)
        return MMSYSERR_ERROR;

    Line& line = state().lineAt(device, target.direction);
    if (target.isVolume)
        line.level = static_cast<float>(std::min<DWORD>(value, 65535) / 65535.0);
    else
        line.muteValue = value != 0 ? 1 : 0;
    state().lineChanged(device, target.direction, GUID_NULL);
    return MMSYSERR_NOERROR;
}

MMRESULT mixerClose(HMIXER mixer)
{
    const std::lock_guard<std::mutex> lock(state().mutex);
    if (! state().answer("mixerClose"))
        return MMSYSERR_ERROR;
    return state().openMixers.erase(reinterpret_cast<UINT_PTR>(mixer)) != 0 ? MMSYSERR_NOERROR : MMSYSERR_INVALHANDLE;
}

}  // namespace audio_services
