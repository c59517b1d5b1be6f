// One download of a URL into a file with WinINet, on the calling (worker)
// thread: the body is read in 65,536-byte blocks up to its Content-Length
// and written to the file as it arrives, with a progress report per block.
//
// No platform call may wait for a silent server forever. The platform's own
// receive time-out is not honoured everywhere (Wine ignores it on every
// handle, and closing a handle does not end a blocked read there), so the
// Internet handles work asynchronously and the worker waits for each
// operation with a time-out of its own; on expiry the job ends with a
// failure and the abandoned operation finishes later against state it
// shares with the platform's callback, not against the worker's stack.
#pragma once

#include <windows.h>

#include <optional>

// Receives the byte counts after each block.
class IDownloadProgress {
 public:
  // S_OK to continue, E_ABORT to stop (the job then reports nothing), any
  // other failure ends the job with that result.
  virtual HRESULT Progress(ULONGLONG received, ULONGLONG total) noexcept = 0;

 protected:
  ~IDownloadProgress() = default;
};

// The time a platform operation may take before the download fails.
constexpr DWORD kDownloadTimeoutMs = 30000;
// The result when it passes: the platform's "operation timed out"
// (ERROR_INTERNET_TIMEOUT).
constexpr HRESULT kDownloadTimedOut = static_cast<HRESULT>(0x80072EE2);

// Downloads url into the file path. S_OK once the whole body is in the file;
// E_ABORT when progress stopped it; otherwise the failure. A failure removes
// the file unless it was already complete (a stop at the last block keeps
// it). progress may be null.
[[nodiscard]] HRESULT DownloadToFile(const wchar_t* url, const wchar_t* path,
                                     IDownloadProgress* progress,
                                     DWORD timeoutMs = kDownloadTimeoutMs) noexcept;

// The Content-Length header's text as a byte count: decimal digits after
// optional blanks; nullopt for no digits, zero, or a count beyond 2^63.
std::optional<ULONGLONG> ParseContentLength(const wchar_t* text) noexcept;

// A failing HTTP status as a result code: 401, 403 and 407 E_ACCESSDENIED,
// 404 and 410 the file-not-found result, other codes from 400 on E_FAIL;
// S_OK below 400.
HRESULT StatusResult(DWORD status) noexcept;
