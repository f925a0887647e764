#include "volume_panel/tests/support/debug_output_capture.h"

#include <mutex>

namespace {

std::mutex collectedMutex;
std::string collected;

}  // namespace

DebugOutputCapture::DebugOutputCapture()
    : handler(AddVectoredExceptionHandler(1, &DebugOutputCapture::collect))
{
    const std::lock_guard<std::mutex> lock(collectedMutex);
    collected.clear();
}

DebugOutputCapture::~DebugOutputCapture()
{
    RemoveVectoredExceptionHandler(handler);
}

std::string DebugOutputCapture::text() const
{
    const std::lock_guard<std::mutex> lock(collectedMutex);
    return collected;
}

LONG CALLBACK DebugOutputCapture::collect(EXCEPTION_POINTERS* exception)
{
    const EXCEPTION_RECORD& record = *exception->ExceptionRecord;
    if (record.ExceptionCode == DBG_PRINTEXCEPTION_C && record.NumberParameters >= 2)
    {
        const auto length = static_cast<std::size_t>(record.ExceptionInformation[0]);
        const auto* text = reinterpret_cast<const char*>(record.ExceptionInformation[1]);
        const std::lock_guard<std::mutex> lock(collectedMutex);
        // The length counts the terminating zero.
        collected.append(text, length > 0 ? length - 1 : 0);
    }
    return EXCEPTION_CONTINUE_SEARCH;
}
