#include "app/plugins/ga/ga_plugin.h"

#include "app/core/plugin_registry.h"
#include "app/plugins/ga/analytics.h"
#include "app/plugins/ga/hit_text.h"
#include "sdk/trace.h"

namespace omb {

OMB_REGISTER_BUILTIN_PLUGIN(L"ga", CGoogleAnalyticsPlugin, 0);

namespace {

const DispMember<CGoogleAnalyticsPlugin> kMembers[] = {
    {-6999, L"page", &CGoogleAnalyticsPlugin::Page},
    {-6998, L"event", &CGoogleAnalyticsPlugin::Event},
    {-6997, L"set", &CGoogleAnalyticsPlugin::Set},
};

void TraceSendFailure(HRESULT hr) noexcept {
  OMB_TRACE(kTraceErrors, "CAnalytics::Send", L"catch: %08X", static_cast<unsigned>(hr));
}

}  // namespace

std::span<const DispMember<CGoogleAnalyticsPlugin>> CGoogleAnalyticsPlugin::Members() noexcept {
  return kMembers;
}

template <class Build>
void CGoogleAnalyticsPlugin::Send(Build build) noexcept {
  if (trackingId_.empty()) return;  // nothing to report to
  try {
    const AnalyticsEndpoint* endpoint = CurrentAnalyticsEndpoint();
    if (!endpoint) return TraceSendFailure(E_INVALIDARG);
    HitFacts facts;
    std::wstring common, hit;
    HRESULT hr = CurrentHitFacts(&facts);
    if (SUCCEEDED(hr)) hr = CommonPart(trackingId_, appName_, appVersion_, facts, &common);
    if (SUCCEEDED(hr)) hr = build(common, &hit);
    if (SUCCEEDED(hr)) hr = PostHit(*endpoint, CurrentUserAgent(), hit);
    if (FAILED(hr)) TraceSendFailure(hr);
  } catch (...) {
    TraceSendFailure(E_OUTOFMEMORY);
  }
}

HRESULT CGoogleAnalyticsPlugin::Page(DispCall& call) {
  const wchar_t* screen = nullptr;
  if (FAILED(call.args.String(0, &screen))) return E_FAIL;
  Send([screen](const std::wstring& common, std::wstring* hit) {
    return ScreenViewHit(screen, common, hit);
  });
  return S_OK;
}

// event(category, action): an action that is not a text is sent as a 32-bit
// integer in decimal.
HRESULT CGoogleAnalyticsPlugin::Event(DispCall& call) {
  const wchar_t* category = nullptr;
  if (call.args.Count() < 2 || FAILED(call.args.String(0, &category))) return S_OK;
  const wchar_t* action = nullptr;
  std::wstring number;
  if (FAILED(call.args.String(1, &action))) {
    LONG value = 0;
    const HRESULT hr = call.args.Number(1, &value);
    if (FAILED(hr)) {
      TraceSendFailure(hr);
      return S_OK;
    }
    number = Format(L"%d", static_cast<int>(value));
    action = number.c_str();
  }
  Send([category, action](const std::wstring& common, std::wstring* hit) {
    return EventHit(category, action, common, hit);
  });
  return S_OK;
}

HRESULT CGoogleAnalyticsPlugin::Set(DispCall& call) {
  const wchar_t* values[3] = {};
  UINT lengths[3] = {};
  for (UINT i = 0; i < 3; ++i)
    if (FAILED(call.args.String(i, &values[i], &lengths[i]))) return E_FAIL;
  trackingId_.assign(values[0], lengths[0]);
  appName_.assign(values[1], lengths[1]);
  appVersion_.assign(values[2], lengths[2]);
  return S_OK;
}

}  // namespace omb
