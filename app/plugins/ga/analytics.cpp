#include "app/plugins/ga/analytics.h"

#include <winhttp.h>

#include <memory>
#include <new>
#include <optional>
#include <vector>

#include "app/core/system_function.h"
#include "sdk/com.h"
#include "sdk/trace.h"

namespace omb {
namespace {

constexpr DWORD kTimeoutMs = 5000;
// Sent, failed, and the handle notices.
constexpr DWORD kNotifications = WINHTTP_CALLBACK_FLAG_SENDREQUEST_COMPLETE |
                                 WINHTTP_CALLBACK_FLAG_REQUEST_ERROR |
                                 WINHTTP_CALLBACK_FLAG_HANDLES;

// WinHTTP is loaded with the first hit instead of being linked: a linked
// library is loaded into every process at start (several milliseconds under
// Wine), and most applications send no hits.
struct WinHttp {
  OMB_SYSTEM_FUNCTION(L"winhttp.dll", WinHttpOpen);
  OMB_SYSTEM_FUNCTION(L"winhttp.dll", WinHttpConnect);
  OMB_SYSTEM_FUNCTION(L"winhttp.dll", WinHttpOpenRequest);
  OMB_SYSTEM_FUNCTION(L"winhttp.dll", WinHttpSetStatusCallback);
  OMB_SYSTEM_FUNCTION(L"winhttp.dll", WinHttpAddRequestHeaders);
  OMB_SYSTEM_FUNCTION(L"winhttp.dll", WinHttpSetOption);
  OMB_SYSTEM_FUNCTION(L"winhttp.dll", WinHttpSetTimeouts);
  OMB_SYSTEM_FUNCTION(L"winhttp.dll", WinHttpSendRequest);
  OMB_SYSTEM_FUNCTION(L"winhttp.dll", WinHttpCrackUrl);
  OMB_SYSTEM_FUNCTION(L"winhttp.dll", WinHttpCloseHandle);

  bool Complete() const noexcept {
    return WinHttpOpen && WinHttpConnect && WinHttpOpenRequest && WinHttpSetStatusCallback &&
           WinHttpAddRequestHeaders && WinHttpSetOption && WinHttpSetTimeouts &&
           WinHttpSendRequest && WinHttpCrackUrl && WinHttpCloseHandle;
  }
};

const WinHttp& Http() noexcept {
  static const WinHttp functions;
  return functions;
}

void CloseHttpFn(HINTERNET h) noexcept { Http().WinHttpCloseHandle(h); }
using unique_hhttp = unique_any<HINTERNET, CloseHttpFn>;

// One hit on its way. Owned by the caller until the request is sent, then
// by the status callback, which deletes it at the request's first notice.
class CAnalytics {
 public:
  ~CAnalytics() {
    // No notice may reach a sender that is gone.
    if (request_) Http().WinHttpSetStatusCallback(request_.get(), nullptr, 0, 0);
  }

  HRESULT Send(const AnalyticsEndpoint& endpoint, const std::wstring& agent,
               const std::wstring& hit) noexcept {
    if (!Http().Complete()) return HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
    OpenRoot(agent);
    connection_.reset(Http().WinHttpConnect(root_.get(), endpoint.host.c_str(), endpoint.port, 0));
    if (!connection_) return HResultFromLastError();
    request_.reset(Http().WinHttpOpenRequest(connection_.get(), L"POST", endpoint.path.c_str(), nullptr,
                                        WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                        WINHTTP_FLAG_SECURE));
    if (!request_) return HResultFromLastError();
    if (Http().WinHttpSetStatusCallback(request_.get(), &StatusCallback, kNotifications, 0) ==
        WINHTTP_INVALID_STATUS_CALLBACK)
      return HResultFromLastError();
    if (!Http().WinHttpAddRequestHeaders(request_.get(),
                                    L"Content-Type: application/x-www-form-urlencoded",
                                    static_cast<DWORD>(-1), WINHTTP_ADDREQ_FLAG_ADD))
      return HResultFromLastError();
    // The certificate is checked as the platform checks it, revocation
    // included; no check is switched off.
    DWORD revocation = WINHTTP_ENABLE_SSL_REVOCATION;
    if (!Http().WinHttpSetOption(request_.get(), WINHTTP_OPTION_ENABLE_FEATURE, &revocation,
                            sizeof(revocation)))
      return HResultFromLastError();
    OMB_RETURN_IF_FAILED(ToUtf8(hit));
    // From here on the callback may run, and free this, at any moment.
    if (!Http().WinHttpSendRequest(request_.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, body_.data(),
                              static_cast<DWORD>(body_.size()), static_cast<DWORD>(body_.size()),
                              reinterpret_cast<DWORD_PTR>(this)))
      return HResultFromLastError();
    return S_OK;
  }

 private:
  // A root handle that cannot be opened or set up is left empty, so the
  // connection fails.
  void OpenRoot(const std::wstring& agent) noexcept {
    root_.reset(Http().WinHttpOpen(agent.c_str(), WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                              WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, WINHTTP_FLAG_ASYNC));
    if (!root_) return;
    DWORD_PTR self = reinterpret_cast<DWORD_PTR>(this);
    if (!Http().WinHttpSetOption(root_.get(), WINHTTP_OPTION_CONTEXT_VALUE, &self, sizeof(self)) ||
        !Http().WinHttpSetTimeouts(root_.get(), kTimeoutMs, kTimeoutMs, kTimeoutMs, kTimeoutMs))
      root_.reset();
  }

  // The body: the hit's exact UTF-8 form.
  HRESULT ToUtf8(const std::wstring& hit) noexcept {
    const int length = static_cast<int>(hit.size());
    const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, hit.data(), length, nullptr, 0, nullptr,
                                            nullptr);
    if (bytes <= 0) return HResultFromLastError();
    try {
      body_.resize(static_cast<size_t>(bytes));
    } catch (...) {
      return E_OUTOFMEMORY;
    }
    if (::WideCharToMultiByte(CP_UTF8, 0, hit.data(), length, body_.data(), bytes, nullptr,
                              nullptr) != bytes)
      return HResultFromLastError();
    return S_OK;
  }

  static void CALLBACK StatusCallback(HINTERNET, DWORD_PTR context, DWORD status, void* info,
                                      DWORD) noexcept {
    OMB_TRACE(kTraceCalls, "CAnalytics::StatusCallback", L"%08X", static_cast<unsigned>(status));
    if (status == WINHTTP_CALLBACK_STATUS_REQUEST_ERROR && info)
      OMB_TRACE(kTraceErrors, "CAnalytics::StatusCallback", L"Request error: %u",
                static_cast<unsigned>(static_cast<WINHTTP_ASYNC_RESULT*>(info)->dwError));
    delete reinterpret_cast<CAnalytics*>(context);
  }

  // Closed in reverse: request, connection, root.
  unique_hhttp root_;
  unique_hhttp connection_;
  unique_hhttp request_;
  std::vector<char> body_;
};

}  // namespace

HRESULT ParseAnalyticsEndpoint(const wchar_t* url, AnalyticsEndpoint* out) {
  if (!url || !out) return E_POINTER;
  if (!Http().Complete()) return HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
  URL_COMPONENTS parts = {};
  parts.dwStructSize = sizeof(parts);
  parts.dwHostNameLength = static_cast<DWORD>(-1);
  parts.dwUrlPathLength = static_cast<DWORD>(-1);
  parts.dwExtraInfoLength = static_cast<DWORD>(-1);
  if (!Http().WinHttpCrackUrl(url, 0, 0, &parts)) return HResultFromLastError();
  // Hits go over HTTPS only: nobody on the way may read or change them.
  if (parts.nScheme != INTERNET_SCHEME_HTTPS) return E_INVALIDARG;
  if (!parts.lpszHostName || parts.dwHostNameLength == 0) return E_INVALIDARG;
  out->host.assign(parts.lpszHostName, parts.dwHostNameLength);
  out->port = parts.nPort;
  out->path.assign(parts.lpszUrlPath ? parts.lpszUrlPath : L"", parts.dwUrlPathLength);
  if (out->path.empty() || out->path == L"/") out->path = L"/collect";
  if (parts.lpszExtraInfo) out->path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  return S_OK;
}

namespace {

// The setting's URL, or the default.
std::optional<AnalyticsEndpoint> EndpointFromEnvironment() {
  std::wstring url = kDefaultAnalyticsEndpoint;
  const DWORD size = ::GetEnvironmentVariableW(kAnalyticsEndpointVariable, nullptr, 0);
  if (size > 1) {
    std::vector<wchar_t> value(size);
    const DWORD length = ::GetEnvironmentVariableW(kAnalyticsEndpointVariable, value.data(), size);
    if (length > 0 && length < size) url.assign(value.data(), length);
  }
  AnalyticsEndpoint parsed;
  const HRESULT hr = ParseAnalyticsEndpoint(url.c_str(), &parsed);
  if (FAILED(hr)) {
    OMB_TRACE(kTraceErrors, "CurrentAnalyticsEndpoint", L"Unusable endpoint %s: %08X",
              url.c_str(), static_cast<unsigned>(hr));
    return std::nullopt;
  }
  return parsed;
}

}  // namespace

const AnalyticsEndpoint* CurrentAnalyticsEndpoint() {
  static const std::optional<AnalyticsEndpoint> endpoint = EndpointFromEnvironment();
  return endpoint ? &*endpoint : nullptr;
}

HRESULT PostHit(const AnalyticsEndpoint& endpoint, const std::wstring& agent,
                const std::wstring& hit) noexcept {
  std::unique_ptr<CAnalytics> sender(new (std::nothrow) CAnalytics);
  if (!sender) return E_OUTOFMEMORY;
  OMB_RETURN_IF_FAILED(sender->Send(endpoint, agent, hit));
  (void)sender.release();  // the status callback frees it
  return S_OK;
}

}  // namespace omb
