#include "sdk/trace.h"

#include <cstdarg>
#include <cstdio>
#include <cwchar>
#include <string>

namespace omb {

TraceLogger& Logger() noexcept {
  static TraceLogger logger;
  return logger;
}

void ConfigureLoggerFromEnvironment() noexcept {
  wchar_t value[MAX_PATH];
  TraceLogger& logger = Logger();
  if (GetEnvironmentVariableW(L"OMBREL_TRACE", value, MAX_PATH) - 1u < MAX_PATH - 1u)
    logger.flags = static_cast<unsigned>(wcstoul(value, nullptr, 0));
  if (GetEnvironmentVariableW(L"OMBREL_TRACE_FILE", value, MAX_PATH) - 1u < MAX_PATH - 1u) {
    HANDLE file = CreateFileW(value, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      logger.file = file;
      logger.flags |= kTraceToFile;
    }
  }
}

// The platform's formatting rules: %s is a wide string, %hs a narrow one.
// _vsnwprintf reports truncation as -1, so the buffer grows until it fits.
std::wstring FormatV(const wchar_t* format, va_list args) {
  std::wstring out(256, L'\0');
  for (;;) {
    va_list copy;
    va_copy(copy, args);
    const int n = _vsnwprintf(out.data(), out.size(), format, copy);
    va_end(copy);
    if (n >= 0 && static_cast<size_t>(n) < out.size()) {
      out.resize(static_cast<size_t>(n));
      return out;
    }
    if (out.size() >= (1u << 20)) return std::wstring();
    out.resize(out.size() * 2);
  }
}

std::wstring Format(const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  std::wstring s = FormatV(format, args);
  va_end(args);
  return s;
}

void Trace(unsigned category, int line, const char* method, const wchar_t* message, ...) noexcept {
  const TraceLogger& logger = Logger();
  if ((logger.flags & category) == 0) return;
  try {
    std::wstring composed;
    if (logger.flags & kTraceTimestamp) {
      SYSTEMTIME t;
      GetLocalTime(&t);
      composed = message ? Format(L"[%04d-%02d-%02d %02d:%02d:%02d] (%04d) %hs %s\n", t.wYear,
                                  t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, line, method,
                                  message)
                         : Format(L"[%04d-%02d-%02d %02d:%02d:%02d] (%04d) %hs\n", t.wYear,
                                  t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, line, method);
    } else {
      composed = message ? Format(L"(%04d) %hs %s\n", line, method, message)
                         : Format(L"(%04d) %hs\n", line, method);
    }
    if (message) {
      va_list args;
      va_start(args, message);
      composed = FormatV(composed.c_str(), args);
      va_end(args);
    }
    if (logger.flags & kTraceToFile) {
      DWORD written = 0;
      WriteFile(logger.file, composed.data(), static_cast<DWORD>(composed.size() * sizeof(wchar_t)),
                &written, nullptr);
    } else {
      OutputDebugStringW(composed.c_str());
    }
  } catch (...) {
    // Tracing never fails the caller.
  }
}

}  // namespace omb
