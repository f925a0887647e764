#include "driver/core/pin_selection.h"

#include "driver/core/diagnostic_log.h"
#include "driver/core/device_tree.h"
#include "driver/core/oem_block.h"
#include "driver/core/settings.h"

namespace {

// A later pin replaces the best so far only when it reaches 44.1 kHz and is better:
// more channels, then more bits, then a higher top rate, then a bottom rate no higher.
bool IsBetterPin(const PinRecord* candidate, const PinRecord* best)
{
    if (candidate->highestRate < 44100) return false;
    if (candidate->channels != best->channels) return candidate->channels > best->channels;
    if (candidate->bits != best->bits) return candidate->bits > best->bits;
    if (candidate->highestRate != best->highestRate) return candidate->highestRate > best->highestRate;
    return candidate->lowestRate <= best->lowestRate;
}

PinRecord* BestPin(FilterRecord* filter, DWORD dataFlow)
{
    PinRecord* best = nullptr;
    for (PinRecord* pin = FirstPin(filter); pin != nullptr; pin = NextPin(pin))
        if (pin->dataFlow == dataFlow && (best == nullptr || IsBetterPin(pin, best))) best = pin;
    return best;
}

bool IsEnabled(const TreeRecord* record)
{
    return (record->flags & RecordEnabled) != 0;
}

void SetEnabled(TreeRecord* record, bool enabled)
{
    record->flags = enabled ? (record->flags | RecordEnabled) : (record->flags & ~RecordEnabled);
}

// One enabled pin in a direction (and at most one in the other) is the user's choice;
// anything else puts the filter in automatic mode with its best pins.
void SelectFilterPins(FilterRecord* filter)
{
    LoadRecordSettings(filter);
    PinRecord* bestRender = BestPin(filter, KSPIN_DATAFLOW_IN);
    PinRecord* bestCapture = BestPin(filter, KSPIN_DATAFLOW_OUT);
    int enabledRender = 0, enabledCapture = 0;
    for (PinRecord* pin = FirstPin(filter); pin != nullptr; pin = NextPin(pin)) {
        if (!IsEnabled(pin)) continue;
        (pin->dataFlow == KSPIN_DATAFLOW_IN ? enabledRender : enabledCapture)++;
    }
    bool automatic = enabledRender >= 2 || enabledCapture >= 2 || (enabledRender == 0 && enabledCapture == 0);
    DiagnosticLine("filter \"%s\": %s", filter->friendlyName,
                   automatic ? "its best pins, chosen automatically" : "the pins the user enabled");
    if (automatic) {
        for (PinRecord* pin = FirstPin(filter); pin != nullptr; pin = NextPin(pin))
            SetEnabled(pin, pin == bestRender || pin == bestCapture);
    }
}

bool HasSeveralPins(FilterRecord* filter)
{
    return FirstPin(filter) != nullptr && NextPin(FirstPin(filter)) != nullptr;
}

// With no filter enabled, the device enables the filters with its widest pins: by the
// render pins, or by the capture pins for filters without a render pin.
void SelectDeviceFilters(DeviceRecord* device)
{
    int enabledFilters = 0;
    DWORD widestRender = 0, widestCapture = 0;
    for (FilterRecord* filter = FirstFilter(device); filter != nullptr; filter = NextFilter(filter)) {
        if (IsEnabled(filter)) ++enabledFilters;
        PinRecord* render = BestPin(filter, KSPIN_DATAFLOW_IN);
        if (render != nullptr) {
            if (render->channels < widestRender) continue;  // passed over whole
            widestRender = render->channels;
        }
        PinRecord* capture = BestPin(filter, KSPIN_DATAFLOW_OUT);
        if (capture != nullptr && capture->channels > widestCapture) widestCapture = capture->channels;
    }
    if (enabledFilters != 0) return;

    for (FilterRecord* filter = FirstFilter(device); filter != nullptr; filter = NextFilter(filter)) {
        PinRecord* render = BestPin(filter, KSPIN_DATAFLOW_IN);
        PinRecord* capture = BestPin(filter, KSPIN_DATAFLOW_OUT);
        bool qualifies;
        if (render != nullptr) {
            qualifies = render->channels == widestRender && (FirstPin(filter) == render || HasSeveralPins(filter));
        } else {
            qualifies =
                capture != nullptr &&
                ((capture->channels == widestCapture && (FirstPin(filter) == capture || HasSeveralPins(filter))) ||
                 capture->channels > widestCapture);
        }
        if (qualifies) SetEnabled(filter, true);
    }
}

void LogSelection()
{
    int selected = 0;
    for (DeviceRecord* device = FirstDevice; device != nullptr; device = NextDevice(device)) {
        if (!IsEnabled(device)) continue;
        for (FilterRecord* filter = FirstFilter(device); filter != nullptr; filter = NextFilter(filter)) {
            if (!IsEnabled(filter)) continue;
            for (PinRecord* pin = FirstPin(filter); pin != nullptr; pin = NextPin(pin)) {
                if (!IsEnabled(pin)) continue;
                DiagnosticLine("selected: \"%s\", filter \"%s\", %s pin %lu (%lu channels)", device->friendlyName,
                               filter->friendlyName, pin->dataFlow == KSPIN_DATAFLOW_IN ? "render" : "capture",
                               pin->pinId, pin->channels);
                ++selected;
            }
        }
    }
    if (selected == 0) DiagnosticLine("selected: nothing, the driver has no device to stream on");
}

void ChooseRecords()
{
    for (DeviceRecord* device = FirstDevice; device != nullptr; device = NextDevice(device)) {
        for (FilterRecord* filter = FirstFilter(device); filter != nullptr; filter = NextFilter(filter)) {
            for (PinRecord* pin = FirstPin(filter); pin != nullptr; pin = NextPin(pin)) {
                LoadRecordSettings(pin);
                if (pin->currentInstances < pin->possibleInstances) pin->flags |= PinInstanceFree;
            }
        }
    }
    for (DeviceRecord* device = FirstDevice; device != nullptr; device = NextDevice(device))
        for (FilterRecord* filter = FirstFilter(device); filter != nullptr; filter = NextFilter(filter))
            SelectFilterPins(filter);

    int enabledDevices = 0;
    for (DeviceRecord* device = FirstDevice; device != nullptr; device = NextDevice(device)) {
        LoadRecordSettings(device);
        if (OemConfig.enableAllDevices.value != 0) SetEnabled(device, true);
        if (IsEnabled(device)) ++enabledDevices;
        SelectDeviceFilters(device);
    }
    if (enabledDevices != 0) return;

    // Nothing chosen: the last device, or the first that offers a real choice of pins.
    for (DeviceRecord* device = FirstDevice; device != nullptr; device = NextDevice(device)) {
        FilterRecord* first = FirstFilter(device);
        if (NextDevice(device) == nullptr || NextFilter(first) != nullptr || HasSeveralPins(first)) {
            SetEnabled(device, true);
            return;
        }
    }
}

}  // namespace

void SelectPins()
{
    ChooseRecords();
    LogSelection();
}
