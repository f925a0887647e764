// The driver object: the ASIO driver interface that hosts call.
#pragma once

#include <windows.h>

#include "driver/core/asio_types.h"
#include "driver/core/com_abi.h"

// 0 loaded, 1 initialised, 2 prepared (buffers exist), 3 running.
enum DriverStateValue : LONG {
    DriverLoaded = 0,
    DriverInitialised = 1,
    DriverPrepared = 2,
    DriverRunning = 3,
};
extern volatile LONG DriverState;

struct DriverObjectTable {
    HRESULT(STDMETHODCALLTYPE* QueryInterface)(void*, REFIID, void**);
    ULONG(STDMETHODCALLTYPE* AddRef)(void*);
    ULONG(STDMETHODCALLTYPE* Release)(void*);
    ASIOBool(MEMBER_CALL* init)(void*, void* sysHandle);
    void(MEMBER_CALL* getDriverName)(void*, char* name);
    long(MEMBER_CALL* getDriverVersion)(void*);
    void(MEMBER_CALL* getErrorMessage)(void*, char* text);
    ASIOError(MEMBER_CALL* start)(void*);
    ASIOError(MEMBER_CALL* stop)(void*);
    ASIOError(MEMBER_CALL* getChannels)(void*, long* inputs, long* outputs);
    ASIOError(MEMBER_CALL* getLatencies)(void*, long* input, long* output);
    ASIOError(MEMBER_CALL* getBufferSize)(void*, long* minSize, long* maxSize, long* preferred, long* granularity);
    ASIOError(MEMBER_CALL* canSampleRate)(void*, ASIOSampleRate rate);
    ASIOError(MEMBER_CALL* getSampleRate)(void*, ASIOSampleRate* rate);
    ASIOError(MEMBER_CALL* setSampleRate)(void*, ASIOSampleRate rate);
    ASIOError(MEMBER_CALL* getClockSources)(void*, ASIOClockSource* clocks, long* count);
    ASIOError(MEMBER_CALL* setClockSource)(void*, long reference);
    ASIOError(MEMBER_CALL* getSamplePosition)(void*, ASIOSamples* position, ASIOTimeStamp* time);
    ASIOError(MEMBER_CALL* getChannelInfo)(void*, ASIOChannelInfo* info);
    ASIOError(MEMBER_CALL* createBuffers)(void*, ASIOBufferInfo* infos, long channelCount, long bufferSize,
                                          ASIOCallbacks* callbacks);
    ASIOError(MEMBER_CALL* disposeBuffers)(void*);
    ASIOError(MEMBER_CALL* controlPanel)(void*);
    ASIOError(MEMBER_CALL* future)(void*, long selector, void* opt);
    ASIOError(MEMBER_CALL* outputReady)(void*);
};

extern const DriverObjectTable DriverObjectMethods;

// The driver object's reference count went 1 -> 0: ends the host's session (streaming,
// buffers, open pins).
void DriverObjectLastRelease();
// Process detach: ends the session of a host that never released the driver object.
void DriverObjectDetach();
