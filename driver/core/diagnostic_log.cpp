#include "driver/core/diagnostic_log.h"

#include <cstdarg>

#include "driver/core/log_format.h"
#include "driver/core/module_path.h"
#include "driver/core/oem_block.h"

static_assert(OemTextSize == 260, "the heading's precision reads the driver name within its field");

namespace {

// A bounded queue of many producers and one consumer. Each slot's sequence says whose
// turn it is: equal to the write position when free, one past it once written, and a
// round further once the writer has read it.
constexpr unsigned SlotCount = 512;
constexpr DWORD WriterPeriodMs = 100;

struct Slot {
    unsigned sequence;
    DWORD threadId;
    FILETIME time;
    char text[DiagnosticLineSize];
};

Slot Ring[SlotCount];
unsigned WritePosition;
unsigned ReadPosition;  // the writer's alone
unsigned DroppedLines;
bool RingReady;

volatile LONG LogOn;
HANDLE LogFile = INVALID_HANDLE_VALUE;
HANDLE WriterStop;
HANDLE WriterThread;
DWORD WriterThreadId;

bool LogFilePath(char* path, DWORD size)
{
    DWORD length = GetEnvironmentVariableA("USERPROFILE", path, size);
    if (length == 0 || length + 1 + sizeof(DiagnosticLogFileName) > size) return false;
    lstrcatA(path, "\\");
    lstrcatA(path, DiagnosticLogFileName);
    return true;
}

std::size_t FormatInto(char* out, std::size_t size, const char* format, ...)
{
    std::va_list args;
    va_start(args, format);
    std::size_t length = FormatLine(out, size, format, args);
    va_end(args);
    return length;
}

// Writes the lines queued so far, each as "hh:mm:ss.mmm [thread] text" in local time.
void WriteQueuedLines()
{
    char block[8192];
    DWORD used = 0;
    auto flush = [&] {
        DWORD written;
        if (used != 0) WriteFile(LogFile, block, used, &written, nullptr);
        used = 0;
    };
    for (;;) {
        Slot& slot = Ring[ReadPosition % SlotCount];
        if (__atomic_load_n(&slot.sequence, __ATOMIC_ACQUIRE) != ReadPosition + 1) break;
        if (sizeof(block) - used < DiagnosticLineSize + 40) flush();
        FILETIME local;
        SYSTEMTIME time;
        FileTimeToLocalFileTime(&slot.time, &local);
        FileTimeToSystemTime(&local, &time);
        used +=
            FormatInto(block + used, sizeof(block) - used, "%02u:%02u:%02u.%03u [%lu] %s\r\n", time.wHour, time.wMinute,
                       time.wSecond, time.wMilliseconds, static_cast<unsigned long>(slot.threadId), slot.text);
        __atomic_store_n(&slot.sequence, ReadPosition + SlotCount, __ATOMIC_RELEASE);
        ++ReadPosition;
    }
    if (unsigned dropped = __atomic_exchange_n(&DroppedLines, 0u, __ATOMIC_ACQ_REL))
        used += FormatInto(block + used, sizeof(block) - used, "(%u lines dropped: the queue was full)\r\n", dropped);
    flush();
}

// Holds a reference on the module, so the DLL cannot unload under it.
DWORD WINAPI RunWriter(void* module)
{
    while (WaitForSingleObject(WriterStop, WriterPeriodMs) == WAIT_TIMEOUT) WriteQueuedLines();
    FreeLibraryAndExitThread(static_cast<HMODULE>(module), 0);
}

}  // namespace

void DiagnosticLine(const char* format, ...)
{
    if (!__atomic_load_n(&LogOn, __ATOMIC_ACQUIRE)) return;
    unsigned position = __atomic_load_n(&WritePosition, __ATOMIC_RELAXED);
    Slot* slot;
    for (;;) {
        slot = &Ring[position % SlotCount];
        int turn = int(__atomic_load_n(&slot->sequence, __ATOMIC_ACQUIRE) - position);
        if (turn == 0) {
            if (__atomic_compare_exchange_n(&WritePosition, &position, position + 1, true, __ATOMIC_RELAXED,
                                            __ATOMIC_RELAXED))
                break;
        } else if (turn < 0) {
            __atomic_fetch_add(&DroppedLines, 1u, __ATOMIC_RELAXED);
            return;
        } else {
            position = __atomic_load_n(&WritePosition, __ATOMIC_RELAXED);
        }
    }
    slot->threadId = GetCurrentThreadId();
    GetSystemTimeAsFileTime(&slot->time);
    std::va_list args;
    va_start(args, format);
    FormatLine(slot->text, sizeof(slot->text), format, args);
    va_end(args);
    __atomic_store_n(&slot->sequence, position + 1, __ATOMIC_RELEASE);
}

void StartDiagnosticLog()
{
    char path[MAX_PATH];
    if (LogOn || !LogFilePath(path, sizeof(path))) return;
    LogFile = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (LogFile == INVALID_HANDLE_VALUE) return;
    if (!RingReady) {
        for (unsigned i = 0; i < SlotCount; ++i) Ring[i].sequence = i;
        RingReady = true;
    }
    HMODULE module = nullptr;
    WriterStop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (WriterStop != nullptr &&
        GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCSTR>(&RunWriter), &module))
        WriterThread = CreateThread(nullptr, 0, RunWriter, module, 0, &WriterThreadId);
    if (WriterThread == nullptr) {
        if (module != nullptr) FreeLibrary(module);
        if (WriterStop != nullptr) CloseHandle(WriterStop);
        WriterStop = nullptr;
        CloseHandle(LogFile);
        LogFile = INVALID_HANDLE_VALUE;
        return;
    }
    __atomic_store_n(&LogOn, 1, __ATOMIC_RELEASE);

    ModulePath host;
    ReadModulePath(nullptr, &host);
    // The name is read within its field, whatever wrote the block.
    DiagnosticLine("=== %.259s, %d-bit driver, in %s (process %lu)", OemConfig.driverName.text, int(sizeof(void*) * 8),
                   host.text, static_cast<unsigned long>(GetCurrentProcessId()));
}

void StopDiagnosticLog()
{
    if (!__atomic_exchange_n(&LogOn, 0, __ATOMIC_ACQ_REL)) return;
    // At process exit the writer is already gone; the writer itself never waits for itself.
    SetEvent(WriterStop);
    if (GetCurrentThreadId() != WriterThreadId) WaitForSingleObject(WriterThread, INFINITE);
    WriteQueuedLines();
    CloseHandle(WriterThread);
    CloseHandle(WriterStop);
    CloseHandle(LogFile);
    WriterThread = WriterStop = nullptr;
    WriterThreadId = 0;
    LogFile = INVALID_HANDLE_VALUE;
}

bool DiagnosticLogOn()
{
    return __atomic_load_n(&LogOn, __ATOMIC_ACQUIRE) != 0;
}
