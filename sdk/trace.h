// The process-wide trace logger. Lines are written only for categories whose
// bit is set in the logger's flags; the flags start at 0, so by default
// nothing is written. Developers switch tracing on with the environment
// variables OMBREL_TRACE (flags, decimal or 0x hex) and OMBREL_TRACE_FILE (a
// file the lines are appended to as UTF-16; implies flag 0x1000).
#pragma once

#include <windows.h>

#include <cstdarg>
#include <string>

namespace omb {

enum TraceCategory : unsigned {
  kTraceCalls = 1,    // object construction and destruction, calls
  kTraceErrors = 16,  // errors and refusals
};

constexpr unsigned kTraceTimestamp = 0x2000;  // prefix lines with local date and time
constexpr unsigned kTraceToFile = 0x1000;     // write to the file handle, not the debugger

struct TraceLogger {
  unsigned flags = 0;
  HANDLE file = nullptr;
};

// The logger of this module; created by Start-up (or on first use) and never
// destroyed.
TraceLogger& Logger() noexcept;

// Reads OMBREL_TRACE / OMBREL_TRACE_FILE into the logger.
void ConfigureLoggerFromEnvironment() noexcept;

// Wide formatting with the platform's rules (%s wide, %hs narrow), whatever
// the C library's standard mode; use these instead of swprintf.
std::wstring FormatV(const wchar_t* format, va_list args);
std::wstring Format(const wchar_t* format, ...);

// Writes one trace line. With a message, the composed line is used as a
// format string with the further arguments ("%s", "%08X" in the message take
// them).
void Trace(unsigned category, int line, const char* method, const wchar_t* message, ...) noexcept;

}  // namespace omb

#define OMB_TRACE(category, method, ...) ::omb::Trace((category), __LINE__, (method), __VA_ARGS__)
