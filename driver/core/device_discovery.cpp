#include "driver/core/device_discovery.h"

#include <cstring>

#include "driver/core/diagnostic_log.h"
#include "driver/core/device_text.h"
#include "driver/core/hash_name.h"
#include "driver/core/ks_requests.h"
#include "driver/core/oem_block.h"
#include "driver/core/settings.h"
#include "driver/engine/realtime_scheduling.h"
#include "kernel_streaming/device_access.h"

namespace {

constexpr DWORD TextSize = 260;
// More pin types than any real filter has; a larger count is a kernel driver's garbage
// and would have the scan ask about billions of pins.
constexpr DWORD MaxPinTypes = 1024;
constexpr DWORD InterfaceDetailSize = 265;

// Variable-size answers land here; discovery runs under the driver lock only.
alignas(8) BYTE Answer[MaxPropertyAnswerSize];

// Set when the arena cannot take another record: enumeration stops there, keeping the
// records it completed.
bool ArenaFull;

template <typename Record>
Record* NewRecord(RecordLevel level)
{
    auto* record = static_cast<Record*>(AllocateFromArena(sizeof(Record)));
    if (record == nullptr) {
        ArenaFull = true;
        return nullptr;
    }
    record->level = level;
    return record;
}

// Appends `record` to the list that starts at `first`.
void LinkLast(TreeRecord** first, TreeRecord* record)
{
    TreeRecord* last = *first;
    while (last != nullptr && last->next != nullptr) last = last->next;
    record->previous = last;
    (last ? last->next : *first) = record;
}

// Takes the last record off its list and gives its memory (and all after it) back.
void DropLast(TreeRecord** first, TreeRecord* record)
{
    (record->previous ? record->previous->next : *first) = nullptr;
    ReleaseArenaFrom(record);
}

DWORD Bounded(DWORD size)
{
    return size <= MaxPropertyAnswerSize ? size : 0;
}

// A variable-size pin property, sized first; null when absent or beyond reason.
const BYTE* FetchPinProperty(HANDLE filter, DWORD pinId, DWORD propertyId, DWORD* size)
{
    *size = Bounded(PinProperty(filter, pinId, propertyId, nullptr, 0));
    if (*size == 0) return nullptr;
    *size = PinProperty(filter, pinId, propertyId, Answer, *size);
    return *size != 0 ? Answer : nullptr;
}

// The items of a KSMULTIPLE_ITEM answer of `size` bytes, trusting neither its Size
// nor its Count beyond what arrived. Returns how many whole items of `itemSize` fit.
DWORD MultipleItemCount(const BYTE* answer, DWORD size, DWORD itemSize)
{
    if (answer == nullptr || size < sizeof(KsMultipleItem)) return 0;
    const auto* header = reinterpret_cast<const KsMultipleItem*>(answer);
    DWORD available = (header->size < size ? header->size : size);
    if (available < sizeof(KsMultipleItem)) return 0;
    DWORD fitting = (available - sizeof(KsMultipleItem)) / itemSize;
    return header->count < fitting ? header->count : fitting;
}

bool ListsIdentifier(const BYTE* answer, DWORD size, const GUID& set, ULONG id)
{
    DWORD count = MultipleItemCount(answer, size, sizeof(KsIdentifier));
    const auto* items = reinterpret_cast<const KsIdentifier*>(answer + sizeof(KsMultipleItem));
    for (DWORD i = 0; i < count; ++i)
        if (IsEqualGUID(items[i].set, set) && items[i].id == id) return true;
    return false;
}

bool ReadDeviceText(HDEVINFO devices, DeviceRecord* device, DWORD property, char* text)
{
    text[0] = '\0';
    DWORD type = 0;
    if (!device_access::SetupDiGetDeviceRegistryPropertyA(devices, &device->deviceInfo, property, &type,
                                                          reinterpret_cast<BYTE*>(text), TextSize, nullptr))
        return false;
    text[TextSize - 1] = '\0';
    return true;
}

char* KeepText(const char* text)
{
    char* copy = CopyTextToArena(text, TextSize);
    if (copy == nullptr) ArenaFull = true;
    return copy;
}

// Pin capabilities from its data ranges (audio PCM first, wildcard subformats else).
void MergeRange(PinRecord* pin, const KsDataRangeAudio& range)
{
    DWORD channels = range.maximumChannels == 0xFFFFFFFF ? 2 : range.maximumChannels;
    DWORD bits = range.maximumBitsPerSample;
    if (channels > pin->channels || (channels == pin->channels && bits > pin->bits)) {
        pin->channels = channels;
        pin->bits = bits;
        pin->lowestRate = range.minimumSampleFrequency;
        pin->highestRate = range.maximumSampleFrequency;
        pin->majorFormat = range.dataRange.majorFormat;
        pin->subFormat = range.dataRange.subFormat;
        pin->specifier = range.dataRange.specifier;
    } else if (channels == pin->channels && bits == pin->bits) {
        if (range.minimumSampleFrequency < pin->lowestRate) pin->lowestRate = range.minimumSampleFrequency;
        if (range.maximumSampleFrequency > pin->highestRate) pin->highestRate = range.maximumSampleFrequency;
    }
}

// Merges the qualifying ranges; returns how many were merged.
int MergeRanges(PinRecord* pin, const BYTE* answer, DWORD size, const GUID& subFormat)
{
    int merged = 0;
    DWORD count = MultipleItemCount(answer, size, 1);
    const auto* header = reinterpret_cast<const KsMultipleItem*>(answer);
    DWORD end = header->size < size ? header->size : size;
    DWORD offset = sizeof(KsMultipleItem);
    for (DWORD i = 0; i < count && offset + sizeof(KsDataFormat) <= end; ++i) {
        const auto* range = reinterpret_cast<const KsDataRangeAudio*>(answer + offset);
        DWORD rangeSize = range->dataRange.formatSize;
        if (rangeSize < sizeof(KsDataFormat) || rangeSize > end - offset) break;
        if (rangeSize >= offsetof(KsDataRangeAudio, maximumSampleFrequency) + sizeof(ULONG) &&
            IsEqualGUID(range->dataRange.majorFormat, KSDATAFORMAT_TYPE_AUDIO) &&
            IsEqualGUID(range->dataRange.subFormat, subFormat) &&
            (IsEqualGUID(subFormat, KSDATAFORMAT_SUBTYPE_WILDCARD) ||
             IsEqualGUID(range->dataRange.specifier, KSDATAFORMAT_SPECIFIER_WAVEFORMATEX)) &&
            range->maximumBitsPerSample >= 16) {
            MergeRange(pin, *range);
            ++merged;
        }
        offset += (rangeSize + 7) & ~DWORD(7);
    }
    return merged;
}

// Whether the pin still answers a 44.1 kHz data intersection.
bool IntersectsAt44100(HANDLE filter, const PinRecord* pin)
{
    PinIntersectionRequest request = MakeIntersectionRequest(pin, 44100);
    alignas(8) BYTE format[ExtensibleFormatSize];
    return KsRequest(filter, IOCTL_KS_PROPERTY, &request, sizeof(request), format, sizeof(format)) != 0;
}

void FillConnectionTemplate(PinRecord* pin)
{
    auto* connect = reinterpret_cast<KsPinConnect*>(pin->connection);
    connect->interfaceId = {KSINTERFACESETID_Standard, KSINTERFACE_STANDARD_STREAMING, 0};
    connect->medium = {KSMEDIUMSETID_Standard, KSMEDIUM_TYPE_ANYINSTANCE, 0};
    connect->pinId = pin->pinId;
    connect->pinToHandle = nullptr;
    connect->priorityClass = 0x40000000;  // KSPRIORITY_NORMAL
    connect->prioritySubClass = 1;
    auto* format = reinterpret_cast<KsDataFormat*>(pin->connection + sizeof(KsPinConnect));
    format->formatSize = ExtensibleFormatSize;
    format->majorFormat = pin->majorFormat;
    format->subFormat = pin->subFormat;
    format->specifier = pin->specifier;
}

// Logs why a pin is dropped; false for DescribePin to return.
bool DropPin(const FilterRecord* filter, const PinRecord* pin, const char* why)
{
    DiagnosticLine("  pin %lu of \"%s\": dropped, %s", pin->pinId, filter->friendlyName, why);
    return false;
}

// Reads one pin's properties; false when the pin is not one the driver can stream on.
bool DescribePin(FilterRecord* filter, PinRecord* pin)
{
    HANDLE handle = filter->handle;
    ULONG communication = 0;
    if (PinProperty(handle, pin->pinId, KSPROPERTY_PIN_COMMUNICATION, &communication, 4) != 4 ||
        !(communication & KSPIN_COMMUNICATION_SINK))
        return DropPin(filter, pin, "not a sink pin");

    DWORD size;
    if (const BYTE* name = FetchPinProperty(handle, pin->pinId, KSPROPERTY_PIN_NAME, &size)) {
        // The name is cut to its field, whatever length the kernel driver claims.
        const auto* wide = reinterpret_cast<const wchar_t*>(name);
        DWORD length = size / sizeof(wchar_t);
        if (length > TextSize - 1) length = TextSize - 1;
        char text[TextSize];
        int converted = WideCharToMultiByte(CP_ACP, 0, wide, int(length), text, TextSize - 1, nullptr, nullptr);
        text[converted > 0 ? converted : 0] = '\0';
        pin->name = KeepText(text);
        if (pin->name == nullptr) return DropPin(filter, pin, "no memory left for the device tree");
    }

    if (!ReadPinInstances(handle, pin)) return DropPin(filter, pin, "no instance counts");
    if (pin->currentInstances < pin->possibleInstances) pin->flags |= PinInstanceFree;

    const BYTE* interfaces = FetchPinProperty(handle, pin->pinId, KSPROPERTY_PIN_INTERFACES, &size);
    bool streams = ListsIdentifier(interfaces, size, KSINTERFACESETID_Standard, KSINTERFACE_STANDARD_STREAMING) ||
                   ((filter->flags & RecordRealTime) && ListsIdentifier(interfaces, size, KSINTERFACESETID_Standard,
                                                                        KSINTERFACE_STANDARD_LOOPED_STREAMING));
    if (!streams) return DropPin(filter, pin, "no streaming interface");

    const BYTE* mediums = FetchPinProperty(handle, pin->pinId, KSPROPERTY_PIN_MEDIUMS, &size);
    if (!ListsIdentifier(mediums, size, KSMEDIUMSETID_Standard, KSMEDIUM_TYPE_ANYINSTANCE))
        return DropPin(filter, pin, "no standard medium");

    ULONG dataFlow = 0;
    if (PinProperty(handle, pin->pinId, KSPROPERTY_PIN_DATAFLOW, &dataFlow, 4) != 4 ||
        (dataFlow != KSPIN_DATAFLOW_IN && dataFlow != KSPIN_DATAFLOW_OUT))
        return DropPin(filter, pin, "neither a render nor a capture data flow");
    pin->dataFlow = dataFlow;

    pin->lowestRate = 0xFFFFFFFF;
    const BYTE* ranges = FetchPinProperty(handle, pin->pinId, KSPROPERTY_PIN_DATARANGES, &size);
    if (ranges != nullptr && MergeRanges(pin, ranges, size, KSDATAFORMAT_SUBTYPE_PCM) == 0)
        MergeRanges(pin, ranges, size, KSDATAFORMAT_SUBTYPE_WILDCARD);

    if (pin->channels != 0 && pin->possibleInstances > pin->currentInstances && pin->highestRate >= 48000 &&
        pin->lowestRate <= 44100 && !IntersectsAt44100(handle, pin))
        pin->lowestRate = 48000;

    FillConnectionTemplate(pin);
    if (pin->channels == 0) return DropPin(filter, pin, "no 16-bit or wider PCM data range");
    DiagnosticLine("  pin %lu of \"%s\": %s, %lu channels, %lu-bit, %lu to %lu Hz, %lu of %lu instances in use",
                   pin->pinId, filter->friendlyName, dataFlow == KSPIN_DATAFLOW_IN ? "render" : "capture",
                   pin->channels, pin->bits, pin->lowestRate, pin->highestRate, pin->currentInstances,
                   pin->possibleInstances);
    return true;
}

void EnumeratePins(FilterRecord* filter)
{
    for (DWORD pinId = 0; pinId < filter->pinTypeCount && !ArenaFull; ++pinId) {
        auto* pin = NewRecord<PinRecord>(PinLevel);
        if (pin == nullptr) return;
        pin->pinId = pinId;
        pin->handle = INVALID_HANDLE_VALUE;
        pin->filter = filter;
        LinkLast(&filter->firstChild, pin);
        if (DescribePin(filter, pin))
            LoadRecordSettings(pin);
        else
            DropLast(&filter->firstChild, pin);
    }
}

DWORD TopologyNodeClasses(HANDLE filter)
{
    KsIdentifier request = {KSPROPSETID_Topology, KSPROPERTY_TOPOLOGY_NODES, KSPROPERTY_TYPE_GET};
    DWORD size = Bounded(KsRequest(filter, IOCTL_KS_PROPERTY, &request, sizeof(request), nullptr, 0));
    if (size == 0) return 0;
    size = KsRequest(filter, IOCTL_KS_PROPERTY, &request, sizeof(request), Answer, size);
    DWORD count = MultipleItemCount(Answer, size, sizeof(GUID));
    const auto* nodes = reinterpret_cast<const GUID*>(Answer + sizeof(KsMultipleItem));
    DWORD classes = 0;
    for (DWORD i = 0; i < count; ++i) {
        if (IsEqualGUID(nodes[i], KSNODETYPE_ADC)) classes |= NodeClassAdc;
        if (IsEqualGUID(nodes[i], KSNODETYPE_DAC)) classes |= NodeClassDac;
        if (IsEqualGUID(nodes[i], KSNODETYPE_SPDIF_INTERFACE) || IsEqualGUID(nodes[i], KSNODETYPE_HDMI_INTERFACE))
            classes |= NodeClassDigital;
    }
    return classes;
}

bool HasActiveAlias(HDEVINFO devices, FilterRecord* filter, const GUID& category)
{
    filter->aliasData.cbSize = sizeof(SP_DEVICE_INTERFACE_DATA);
    return device_access::SetupDiGetDeviceInterfaceAlias(devices, &filter->interfaceData, &category,
                                                         &filter->aliasData) &&
           (filter->aliasData.Flags & SPINT_ACTIVE);
}

bool ReadFilterName(HDEVINFO devices, FilterRecord* filter)
{
    HKEY key = device_access::SetupDiOpenDeviceInterfaceRegKey(devices, &filter->interfaceData, 0, KEY_READ);
    if (key == INVALID_HANDLE_VALUE) return false;
    // The whole buffer: a name of TextSize - 1 characters and its NUL fill it exactly.
    char name[TextSize] = {};
    DWORD size = TextSize;
    RegQueryValueExA(key, "FriendlyName", nullptr, nullptr, reinterpret_cast<BYTE*>(name), &size);
    RegCloseKey(key);
    name[TextSize - 1] = '\0';
    filter->friendlyName = KeepText(name);
    return filter->friendlyName != nullptr;
}

const char* FilterPath(const FilterRecord* filter)
{
    return filter->detail != nullptr && filter->detail->DevicePath[0] != '\0' ? filter->detail->DevicePath : "?";
}

// Logs why a filter is dropped; false for DescribeFilter to return.
bool DropFilter(const FilterRecord* filter, const char* why)
{
    DiagnosticLine(" filter %s: dropped, %s", FilterPath(filter), why);
    return false;
}

// Fills a filter record from its interface; false when the filter is not usable.
bool DescribeFilter(HDEVINFO devices, FilterRecord* filter)
{
    if ((filter->interfaceData.Flags & SPINT_REMOVED) || filter->interfaceData.Flags == 0)
        return DropFilter(filter, "interface removed or inactive");
    filter->detail = static_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(AllocateFromArena(InterfaceDetailSize));
    if (filter->detail == nullptr) {
        ArenaFull = true;
        return false;
    }
    filter->detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    if (!device_access::SetupDiGetDeviceInterfaceDetailA(devices, &filter->interfaceData, filter->detail,
                                                         InterfaceDetailSize, nullptr, nullptr))
        return DropFilter(filter, "no interface path");
    reinterpret_cast<char*>(filter->detail)[InterfaceDetailSize - 1] = '\0';

    if (!HasActiveAlias(devices, filter, KSCATEGORY_RENDER) && !HasActiveAlias(devices, filter, KSCATEGORY_CAPTURE))
        return DropFilter(filter, "neither a render nor a capture interface");
    if (WindowsAtLeast(6, 0) && HasActiveAlias(devices, filter, KSCATEGORY_REALTIME)) filter->flags |= RecordRealTime;

    if (!OpenFilter(filter)) return DropFilter(filter, "cannot be opened");
    if (!ReadFilterName(devices, filter)) {
        CloseFilter(filter);
        return DropFilter(filter, "no interface key");
    }
    DiagnosticLine(" filter \"%s\" (%s)%s", filter->friendlyName, FilterPath(filter),
                   (filter->flags & RecordRealTime) ? ", real-time interface" : "");
    filter->nodeClasses = TopologyNodeClasses(filter->handle);
    ULONG pinTypes = 0;
    if (PinProperty(filter->handle, 0, KSPROPERTY_PIN_CTYPES, &pinTypes, 4) == 4)
        filter->pinTypeCount = pinTypes < MaxPinTypes ? pinTypes : MaxPinTypes;
    EnumeratePins(filter);
    CloseFilter(filter);
    if (filter->firstChild == nullptr) return DropFilter(filter, "no usable pin");
    return true;
}

void EnumerateFilters(HDEVINFO devices, DeviceRecord* device)
{
    for (DWORD index = 0; !ArenaFull; ++index) {
        auto* filter = NewRecord<FilterRecord>(FilterLevel);
        if (filter == nullptr) return;
        filter->handle = INVALID_HANDLE_VALUE;
        filter->interfaceData.cbSize = sizeof(SP_DEVICE_INTERFACE_DATA);
        if (!device_access::SetupDiEnumDeviceInterfaces(devices, &device->deviceInfo, &KSCATEGORY_AUDIO, index,
                                                        &filter->interfaceData)) {
            ReleaseArenaFrom(filter);
            return;
        }
        LinkLast(&device->firstChild, filter);
        if (DescribeFilter(devices, filter)) {
            device->flags |= filter->flags & RecordRealTime;
            LoadRecordSettings(filter);
        } else {
            DropLast(&device->firstChild, filter);
        }
    }
}

// Device ids key the settings: two devices with one hardware id get h and h + 1.
DWORD UniqueDeviceId(const char* hardwareId)
{
    DWORD id = HashName(hardwareId);
    for (DeviceRecord* other = FirstDevice; other != nullptr;) {
        if (other->deviceId == id) {
            ++id;
            other = FirstDevice;
        } else {
            other = NextDevice(other);
        }
    }
    return id;
}

// Logs why a device is passed over; false for DescribeDevice to return.
bool PassOver(const char* name, const char* why)
{
    DiagnosticLine("device \"%s\": passed over, %s", name, why);
    return false;
}

// Fills a device record; false when the device is not ours or has nothing usable.
bool DescribeDevice(HDEVINFO devices, DeviceRecord* device)
{
    char text[TextSize];
    if (!ReadDeviceText(devices, device, SPDRP_FRIENDLYNAME, text))
        ReadDeviceText(devices, device, SPDRP_DEVICEDESC, text);
    CleanFriendlyName(text);
    if ((device->friendlyName = KeepText(text)) == nullptr) return PassOver(text, "no memory left for the device tree");

    const char* name = device->friendlyName;
    if (!ReadDeviceText(devices, device, SPDRP_HARDWAREID, text)) return PassOver(name, "no hardware id");
    if (!HardwareIdMatches(text, OemConfig.hardwareId.text, OemTextSize)) {
        DiagnosticLine("device \"%s\": passed over, hardware id %s is not %s", name, text, OemConfig.hardwareId.text);
        return false;
    }
    if ((device->hardwareId = KeepText(text)) == nullptr) return PassOver(name, "no memory left for the device tree");
    DiagnosticLine("device \"%s\": hardware id %s matches", name, text);
    device->deviceId = UniqueDeviceId(device->hardwareId);

    DWORD type = 0;
    if (!device_access::SetupDiGetDeviceRegistryPropertyA(devices, &device->deviceInfo, SPDRP_ENUMERATOR_NAME, &type,
                                                          reinterpret_cast<BYTE*>(&device->enumerator), 4, nullptr))
        device->enumerator = 0;
    ReadDeviceText(devices, device, SPDRP_MFG, text);
    if ((device->manufacturer = KeepText(text)) == nullptr) return false;
    ReadDeviceText(devices, device, SPDRP_SERVICE, text);
    if ((device->serviceName = KeepText(text)) == nullptr) return false;
    ReadDeviceText(devices, device, SPDRP_LOCATION_INFORMATION, text);
    if (text[0] >= '0' && text[0] <= '9') text[0] = '\0';
    if ((device->locationText = KeepText(text)) == nullptr) return false;

    EnumerateFilters(devices, device);
    if (device->firstChild == nullptr) return PassOver(name, "no usable filter");
    DiagnosticLine("device \"%s\": taken", name);
    return true;
}

// Filters without digital outputs first, then mixed ones, then digital-only ones,
// each group in enumeration order.
void OrderFilters(DeviceRecord* device)
{
    TreeRecord* groups[3] = {};
    for (FilterRecord* filter = FirstFilter(device); filter != nullptr;) {
        FilterRecord* next = NextFilter(filter);
        int group = !(filter->nodeClasses & NodeClassDigital) ? 0 : filter->nodeClasses != NodeClassDigital ? 1 : 2;
        filter->previous = filter->next = nullptr;
        LinkLast(&groups[group], filter);
        filter = next;
    }
    device->firstChild = nullptr;
    for (TreeRecord* group : groups) {
        for (TreeRecord* filter = group; filter != nullptr;) {
            TreeRecord* next = filter->next;
            filter->previous = filter->next = nullptr;
            LinkLast(&device->firstChild, filter);
            filter = next;
        }
    }
}

}  // namespace

void EnumerateDevices()
{
    ResetArena();
    ArenaFull = false;
    HDEVINFO devices =
        device_access::SetupDiGetClassDevsA(&KSCATEGORY_AUDIO, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    DiagnosticLine("scan: audio devices with hardware id %s", OemConfig.hardwareId.text);
    if (devices == INVALID_HANDLE_VALUE) {
        DiagnosticLine("scan: the device list is not available (error %lu)", GetLastError());
        return;
    }
    auto** firstDevice = reinterpret_cast<TreeRecord**>(&FirstDevice);
    for (DWORD index = 0; !ArenaFull; ++index) {
        auto* device = NewRecord<DeviceRecord>(DeviceLevel);
        if (device == nullptr) {
            DiagnosticLine("scan: stopped, no memory left for the device tree");
            break;
        }
        device->deviceInfo.cbSize = sizeof(SP_DEVINFO_DATA);
        if (!device_access::SetupDiEnumDeviceInfo(devices, index, &device->deviceInfo)) {
            ReleaseArenaFrom(device);
            break;
        }
        LinkLast(firstDevice, device);
        if (DescribeDevice(devices, device)) {
            ApplyDeviceDefaults(device);
            LoadRecordSettings(device);
        } else {
            DropLast(firstDevice, device);
        }
    }
    device_access::SetupDiDestroyDeviceInfoList(devices);
    for (DeviceRecord* device = FirstDevice; device != nullptr; device = NextDevice(device)) OrderFilters(device);
}
