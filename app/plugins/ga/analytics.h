// Posting analytics hits: one asynchronous WinHTTP request per hit, sent
// and forgotten. The sender of a hit frees itself when the platform reports
// the request sent or failed; the response is never read.
//
// The collection endpoint is a setting: the environment variable
// OMBREL_ANALYTICS_ENDPOINT, read once per process, holds its HTTPS URL
// ("https://collector.example:8443/collect"; "/collect" when the URL has no
// path). Without it hits go to the Measurement Protocol's public collection
// host. The platform's certificate validation stays on, with revocation
// checking: a server whose certificate the machine does not trust gets no
// hit.
#pragma once

#include <windows.h>

#include <string>

namespace omb {

struct AnalyticsEndpoint {
  std::wstring host;
  WORD port = 0;
  std::wstring path;  // with any query
};

constexpr const wchar_t* kDefaultAnalyticsEndpoint = L"https://www.google-analytics.com/collect";
constexpr const wchar_t* kAnalyticsEndpointVariable = L"OMBREL_ANALYTICS_ENDPOINT";

// An https URL as an endpoint (a plain http URL is refused).
[[nodiscard]] HRESULT ParseAnalyticsEndpoint(const wchar_t* url, AnalyticsEndpoint* out);

// The endpoint of this process (the setting, or the default); null when
// the setting is not a usable URL.
const AnalyticsEndpoint* CurrentAnalyticsEndpoint();

// Starts posting hit (form encoded, sent as UTF-8) to endpoint with the
// user agent agent; S_OK once the request is on its way.
[[nodiscard]] HRESULT PostHit(const AnalyticsEndpoint& endpoint, const std::wstring& agent,
                              const std::wstring& hit) noexcept;

}  // namespace omb
