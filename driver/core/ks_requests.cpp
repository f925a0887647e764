#include "driver/core/ks_requests.h"

#include "kernel_streaming/device_access.h"

bool OpenFilter(FilterRecord* filter)
{
    filter->handle = device_access::CreateFileA(filter->detail->DevicePath, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
    return filter->handle != INVALID_HANDLE_VALUE;
}

void CloseFilter(FilterRecord* filter)
{
    if (filter->handle != INVALID_HANDLE_VALUE && filter->handle != nullptr) device_access::CloseHandle(filter->handle);
    filter->handle = INVALID_HANDLE_VALUE;
}

DWORD KsRequest(HANDLE handle, DWORD code, const void* input, DWORD inputSize, void* output, DWORD outputSize)
{
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (event == nullptr) return 0;
    OVERLAPPED overlapped = {};
    // The low bit keeps a completion port, if any, from hearing of this request.
    overlapped.hEvent = reinterpret_cast<HANDLE>(reinterpret_cast<ULONG_PTR>(event) | 1);
    DWORD returned = 0;
    if (device_access::DeviceIoControl(handle, code, const_cast<void*>(input), inputSize, output, outputSize, &returned,
                                       &overlapped)) {
        WaitForSingleObject(event, INFINITE);
    } else if (GetLastError() == ERROR_IO_PENDING) {
        // The request still owns `overlapped` and the buffers: wait until it lets go.
        WaitForSingleObject(event, INFINITE);
        returned = overlapped.Internal == 0 ? DWORD(overlapped.InternalHigh) : 0;
    }
    CloseHandle(event);
    // A kernel driver that claims more than the buffer holds would have the caller read
    // past what arrived; a size query (no buffer) learns the size it needs.
    return outputSize != 0 && returned > outputSize ? outputSize : returned;
}

DWORD PinProperty(HANDLE filter, DWORD pinId, DWORD propertyId, void* output, DWORD outputSize)
{
    KsPinProperty request = {{KSPROPSETID_Pin, propertyId, KSPROPERTY_TYPE_GET}, pinId, 0};
    return KsRequest(filter, IOCTL_KS_PROPERTY, &request, sizeof(request), output, outputSize);
}

bool ReadPinInstances(HANDLE filter, PinRecord* pin)
{
    ULONG instances[2];
    if (PinProperty(filter, pin->pinId, KSPROPERTY_PIN_GLOBALCINSTANCES, instances, 8) != 8 &&
        PinProperty(filter, pin->pinId, KSPROPERTY_PIN_CINSTANCES, instances, 8) != 8)
        return false;
    pin->possibleInstances = instances[0];
    pin->currentInstances = instances[1];
    return true;
}

PinIntersectionRequest MakeIntersectionRequest(const PinRecord* pin, DWORD rate)
{
    PinIntersectionRequest request = {};
    request.property = {{KSPROPSETID_Pin, KSPROPERTY_PIN_DATAINTERSECTION, KSPROPERTY_TYPE_GET}, pin->pinId, 0};
    request.list = {sizeof(KsMultipleItem) + sizeof(KsDataRangeAudio), 1};
    request.range.dataRange.formatSize = sizeof(KsDataRangeAudio);
    request.range.dataRange.majorFormat = pin->majorFormat;
    request.range.dataRange.subFormat = pin->subFormat;
    request.range.dataRange.specifier = pin->specifier;
    request.range.maximumChannels = pin->channels;
    request.range.minimumBitsPerSample = 16;
    request.range.maximumBitsPerSample = pin->bits;
    request.range.minimumSampleFrequency = rate;
    request.range.maximumSampleFrequency = rate;
    return request;
}
