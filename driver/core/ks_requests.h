// Kernel-streaming requests shared by discovery and the streaming engine.
#pragma once

#include <windows.h>

#include "driver/core/device_tree.h"

// Opens the filter's device path for overlapped requests; the handle goes into the
// record (INVALID_HANDLE_VALUE on failure).
bool OpenFilter(FilterRecord* filter);
void CloseFilter(FilterRecord* filter);

// One DeviceIoControl request on its own event; returns the bytes returned, never more
// than `outputSize` (0 on failure, or the size needed when a size query fails with
// ERROR_MORE_DATA).
DWORD KsRequest(HANDLE handle, DWORD code, const void* input, DWORD inputSize, void* output, DWORD outputSize);

// A KSPROPSETID_Pin get request for `pinId`; returns the bytes returned.
DWORD PinProperty(HANDLE filter, DWORD pinId, DWORD propertyId, void* output, DWORD outputSize);

// The pin's possible and current instance counts into its record, from
// KSPROPERTY_PIN_GLOBALCINSTANCES or else KSPROPERTY_PIN_CINSTANCES; false (the record
// unchanged) when neither answers.
bool ReadPinInstances(HANDLE filter, PinRecord* pin);

// A data intersection request for one pin: its best range, narrowed to one rate.
struct PinIntersectionRequest {
    KsPinProperty property;
    KsMultipleItem list;
    KsDataRangeAudio range;
};
static_assert(sizeof(PinIntersectionRequest) == 128, "the intersection request is 128 bytes");
PinIntersectionRequest MakeIntersectionRequest(const PinRecord* pin, DWORD rate);

// The largest variable-size answer the driver accepts from a kernel driver.
constexpr DWORD MaxPropertyAnswerSize = 64 * 1024;
