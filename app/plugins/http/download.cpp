#include "app/plugins/http/download.h"

#include <wininet.h>

#include <algorithm>
#include <atomic>
#include <iterator>
#include <memory>
#include <new>

#include "app/core/system_function.h"
#include "sdk/com.h"

static_assert(kDownloadTimedOut == HRESULT_FROM_WIN32(ERROR_INTERNET_TIMEOUT));

namespace {

constexpr DWORD kBlockSize = 65536;

// WinINet is loaded on the first download instead of being linked: a linked
// library is loaded, with the libraries it needs, into every process at start
// (about 10 ms under Wine), and most applications never download.
struct WinInet {
  OMB_SYSTEM_FUNCTION(L"wininet.dll", InternetOpenW);
  OMB_SYSTEM_FUNCTION(L"wininet.dll", InternetOpenUrlW);
  OMB_SYSTEM_FUNCTION(L"wininet.dll", InternetSetOptionW);
  OMB_SYSTEM_FUNCTION(L"wininet.dll", InternetSetStatusCallbackW);
  OMB_SYSTEM_FUNCTION(L"wininet.dll", InternetReadFile);
  OMB_SYSTEM_FUNCTION(L"wininet.dll", HttpQueryInfoW);
  OMB_SYSTEM_FUNCTION(L"wininet.dll", InternetCloseHandle);

  bool Complete() const noexcept {
    return InternetOpenW && InternetOpenUrlW && InternetSetOptionW && InternetSetStatusCallbackW &&
           InternetReadFile && HttpQueryInfoW && InternetCloseHandle;
  }
};

const WinInet& Inet() noexcept {
  static const WinInet functions;
  return functions;
}

void CloseInternetFn(HINTERNET h) noexcept { Inet().InternetCloseHandle(h); }
using unique_hinternet = omb::unique_any<HINTERNET, CloseInternetFn>;

// What the platform's status callback shares with the worker. The worker
// holds one reference; the URL handle holds another from the moment the
// platform reports it created until it reports it closing, which comes
// after the handle's last operation. So an operation the worker gave up
// waiting for can still complete into the block and the count.
class CAsyncState {
 public:
  static CAsyncState* Create() noexcept {
    CAsyncState* state = new (std::nothrow) CAsyncState;
    if (state && !state->done_) {
      delete state;
      return nullptr;
    }
    return state;
  }
  void AddRef() noexcept { refs_.fetch_add(1); }
  void Release() noexcept {
    if (refs_.fetch_sub(1) == 1) delete this;
  }

  // Before an operation. The event needs no reset: it is signalled only for
  // an operation that answered ERROR_IO_PENDING, and the wait for it
  // consumes the signal.
  void Arm() noexcept {
    error_ = ERROR_SUCCESS;
    result_ = 0;
  }
  // After an operation answered ERROR_IO_PENDING: its completion, or the
  // time-out result.
  HRESULT Wait(DWORD timeoutMs) noexcept {
    const DWORD waited = ::WaitForSingleObject(done_.get(), timeoutMs);
    if (waited == WAIT_TIMEOUT) return kDownloadTimedOut;
    if (waited != WAIT_OBJECT_0) return omb::HResultFromLastError();
    return error_ == ERROR_SUCCESS ? S_OK : omb::HResultFromError(error_);
  }
  DWORD_PTR Result() const noexcept { return result_; }
  // Whether the URL handle holds a reference (the platform reported it).
  bool HandleHolds() const noexcept { return handle_.load() != nullptr; }

  BYTE* Block() noexcept { return block_; }
  DWORD* Got() noexcept { return &got_; }

  static void CALLBACK StatusCallback(HINTERNET handle, DWORD_PTR context, DWORD status,
                                      void* info, DWORD) noexcept {
    auto* state = reinterpret_cast<CAsyncState*>(context);
    if (!state) return;  // the root handle's own notices
    switch (status) {
      case INTERNET_STATUS_HANDLE_CREATED: {
        const auto* created = static_cast<const INTERNET_ASYNC_RESULT*>(info);
        HINTERNET none = nullptr;
        if (created && state->handle_.compare_exchange_strong(
                           none, reinterpret_cast<HINTERNET>(created->dwResult)))
          state->AddRef();
        break;
      }
      case INTERNET_STATUS_REQUEST_COMPLETE: {
        const auto* completed = static_cast<const INTERNET_ASYNC_RESULT*>(info);
        state->result_ = completed ? completed->dwResult : 0;
        state->error_ = !completed ? ERROR_INTERNET_INTERNAL_ERROR
                        : completed->dwResult ? ERROR_SUCCESS
                        : completed->dwError ? completed->dwError
                                             : ERROR_INTERNET_INTERNAL_ERROR;
        ::SetEvent(state->done_.get());
        break;
      }
      case INTERNET_STATUS_HANDLE_CLOSING:
        if (handle && handle == state->handle_.load()) state->Release();
        break;
      default:
        break;
    }
  }

 private:
  CAsyncState() noexcept : done_(::CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

  std::atomic<LONG> refs_{1};
  std::atomic<HINTERNET> handle_{nullptr};
  omb::unique_handle done_;
  DWORD error_ = ERROR_SUCCESS;
  DWORD_PTR result_ = 0;
  DWORD got_ = 0;
  BYTE block_[kBlockSize];
};

struct StateOwner {
  void operator()(CAsyncState* state) const noexcept { state->Release(); }
};

// The destination file: deleted when the download fails before it is
// complete.
class CDestination {
 public:
  explicit CDestination(const wchar_t* path) noexcept : path_(path) {}
  CDestination(const CDestination&) = delete;
  CDestination& operator=(const CDestination&) = delete;
  ~CDestination() {
    if (file_) {
      file_.reset();
      ::DeleteFileW(path_);
    }
  }
  HRESULT Create() noexcept {
    file_.reset(::CreateFileW(path_, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file_ ? S_OK : omb::HResultFromLastError();
  }
  HRESULT Write(const BYTE* bytes, DWORD count) noexcept {
    DWORD written = 0;
    if (!::WriteFile(file_.get(), bytes, count, &written, nullptr))
      return omb::HResultFromLastError();
    return written == count ? S_OK : HRESULT_FROM_WIN32(ERROR_WRITE_FAULT);
  }
  // Closes the complete file, which is then kept whatever follows.
  void Complete() noexcept { file_.reset(); }

 private:
  const wchar_t* path_;
  omb::unique_file file_;
};

// The URL handle once the response headers are in.
HRESULT OpenUrl(HINTERNET root, const wchar_t* url, CAsyncState* state, DWORD timeoutMs,
                unique_hinternet* opened) noexcept {
  state->Arm();
  HINTERNET handle = Inet().InternetOpenUrlW(root, url, nullptr, 0,
                                        INTERNET_FLAG_RESYNCHRONIZE | INTERNET_FLAG_NO_CACHE_WRITE,
                                        reinterpret_cast<DWORD_PTR>(state));
  if (!handle) {
    if (::GetLastError() != ERROR_IO_PENDING) return omb::HResultFromLastError();
    OMB_RETURN_IF_FAILED(state->Wait(timeoutMs));
    handle = reinterpret_cast<HINTERNET>(state->Result());
    if (!handle) return E_FAIL;
  }
  opened->reset(handle);
  return S_OK;
}

HRESULT ReadBlock(HINTERNET handle, CAsyncState* state, DWORD want, DWORD timeoutMs,
                  DWORD* got) noexcept {
  state->Arm();
  *state->Got() = 0;
  if (!Inet().InternetReadFile(handle, state->Block(), want, state->Got())) {
    if (::GetLastError() != ERROR_IO_PENDING) return omb::HResultFromLastError();
    OMB_RETURN_IF_FAILED(state->Wait(timeoutMs));
  }
  *got = *state->Got();
  return S_OK;
}

// The response's size from its headers; a failing HTTP status first.
HRESULT ResponseSize(HINTERNET handle, ULONGLONG* total) noexcept {
  DWORD status = 0;
  DWORD statusSize = sizeof(status);
  if (Inet().HttpQueryInfoW(handle, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status,
                       &statusSize, nullptr))
    OMB_RETURN_IF_FAILED(StatusResult(status));
  wchar_t length[100] = {};
  DWORD lengthSize = sizeof(length);
  if (!Inet().HttpQueryInfoW(handle, HTTP_QUERY_CONTENT_LENGTH, length, &lengthSize, nullptr))
    return omb::HResultFromLastError();
  length[std::size(length) - 1] = L'\0';
  const std::optional<ULONGLONG> parsed = ParseContentLength(length);
  if (!parsed) return E_FAIL;
  *total = *parsed;
  return S_OK;
}

HRESULT Transfer(HINTERNET handle, CAsyncState* state, const wchar_t* path,
                 IDownloadProgress* progress, DWORD timeoutMs) noexcept {
  ULONGLONG total = 0;
  OMB_RETURN_IF_FAILED(ResponseSize(handle, &total));
  CDestination file(path);
  OMB_RETURN_IF_FAILED(file.Create());
  for (ULONGLONG received = 0; received < total;) {
    const DWORD want = static_cast<DWORD>(std::min<ULONGLONG>(total - received, kBlockSize));
    DWORD got = 0;
    OMB_RETURN_IF_FAILED(ReadBlock(handle, state, want, timeoutMs, &got));
    if (got == 0) return E_FAIL;  // the body ended before its announced length
    OMB_RETURN_IF_FAILED(file.Write(state->Block(), got));
    received += got;
    if (received >= total) file.Complete();
    if (progress) OMB_RETURN_IF_FAILED(progress->Progress(received, total));
  }
  return S_OK;
}

}  // namespace

std::optional<ULONGLONG> ParseContentLength(const wchar_t* text) noexcept {
  if (!text) return std::nullopt;
  while (*text == L' ' || *text == L'\t') ++text;
  ULONGLONG value = 0;
  bool digits = false;
  for (; *text >= L'0' && *text <= L'9'; ++text) {
    const unsigned digit = static_cast<unsigned>(*text - L'0');
    if (value > (0x7FFFFFFFFFFFFFFFull - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
    digits = true;
  }
  if (!digits || value == 0) return std::nullopt;
  return value;
}

HRESULT StatusResult(DWORD status) noexcept {
  switch (status) {
    case HTTP_STATUS_DENIED:
    case HTTP_STATUS_FORBIDDEN:
    case HTTP_STATUS_PROXY_AUTH_REQ:
      return E_ACCESSDENIED;
    case HTTP_STATUS_NOT_FOUND:
    case HTTP_STATUS_GONE:
      return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    default:
      return status >= 400 ? E_FAIL : S_OK;
  }
}

HRESULT DownloadToFile(const wchar_t* url, const wchar_t* path, IDownloadProgress* progress,
                       DWORD timeoutMs) noexcept {
  if (!url || !path) return E_INVALIDARG;
  if (!Inet().Complete()) return HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
  std::unique_ptr<CAsyncState, StateOwner> state(CAsyncState::Create());
  if (!state) return E_OUTOFMEMORY;

  unique_hinternet root(
      Inet().InternetOpenW(L"Ombrel", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, INTERNET_FLAG_ASYNC));
  if (!root) return omb::HResultFromLastError();
  if (Inet().InternetSetStatusCallbackW(root.get(), &CAsyncState::StatusCallback) ==
      INTERNET_INVALID_STATUS_CALLBACK)
    return omb::HResultFromLastError();
  DWORD receiveTimeout = kDownloadTimeoutMs;
  if (!Inet().InternetSetOptionW(root.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, &receiveTimeout,
                            sizeof(receiveTimeout)))
    return omb::HResultFromLastError();

  // Declared after root: closed first. (Closing the root also closes it.)
  unique_hinternet handle;
  HRESULT hr = OpenUrl(root.get(), url, state.get(), timeoutMs, &handle);
  if (SUCCEEDED(hr)) hr = Transfer(handle.get(), state.get(), path, progress, timeoutMs);
  // An operation given up on may still write into the state; without the
  // handle's reference to keep it, it is left to the process.
  if (hr == kDownloadTimedOut && !state->HandleHolds())
    (void)state.release();
  return hr;
}
