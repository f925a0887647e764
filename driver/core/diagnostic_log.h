// The driver's diagnostic log for support. It is off unless the file "kaskade-log.txt"
// exists in the user's profile folder (%USERPROFILE%); then every driver session appends
// its lines there. Lines are queued in a fixed ring and written to the file by a writer
// thread, so the threads that log never wait for the disk.
#pragma once

#include <windows.h>

constexpr char DiagnosticLogFileName[] = "kaskade-log.txt";
// Room for the longest line the driver writes, so that every text in it is whole: up to
// three texts of the device tree or the OEM block (259 characters each) and their words.
// Longer lines are cut.
constexpr DWORD DiagnosticLineSize = 1024;

// printf-style line; never blocks, allocates or takes a lock on the calling thread, so the
// streaming thread may call it; does nothing while the log is off. Conversions: %s %c %d
// %i %u %x %X %p %f %%, with flags '-' and '0', a width, a precision (for %s and %f),
// and the length modifiers l, ll and z. A full queue drops the line and counts it.
void DiagnosticLine(const char* format, ...) __attribute__((format(gnu_printf, 1, 2)));

// Switches the log on when its file exists and starts the writer thread, which writes a
// heading naming the host program and the driver. Called when the module starts.
void StartDiagnosticLog();
// Writes what is queued, stops the writer and closes the file. Called when the module
// ends and at process detach (when the writer is already gone).
void StopDiagnosticLog();
bool DiagnosticLogOn();
