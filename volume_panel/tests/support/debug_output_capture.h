// Collects what the code under test writes to the debugger output (OutputDebugStringA)
// while the capture exists. OutputDebugStringA announces its text through the
// DBG_PRINTEXCEPTION_C exception, which a vectored handler sees first.
#pragma once

#include <windows.h>

#include <string>

class DebugOutputCapture
{
public:
    DebugOutputCapture();
    ~DebugOutputCapture();

    DebugOutputCapture(const DebugOutputCapture&) = delete;
    DebugOutputCapture& operator=(const DebugOutputCapture&) = delete;

    std::string text() const;

private:
    static LONG CALLBACK collect(EXCEPTION_POINTERS* exception);

    void* handler;
};
