// "ga": usage analytics. Script sets the tracking identifier, application
// name and version once ("set"), then reports screen views ("page") and
// events ("event"); each report is posted as one hit (analytics.h,
// hit_text.h) without waiting for the network. Until a tracking identifier
// is set nothing is sent.
#pragma once

#include <span>
#include <string>

#include "sdk/com.h"
#include "sdk/dispatch.h"
#include "sdk/omb.h"

namespace omb {

class CGoogleAnalyticsPlugin
    : public ComObject<CGoogleAnalyticsPlugin, OMB::IPluginImpl<CGoogleAnalyticsPlugin>,
                       DispatchTable<CGoogleAnalyticsPlugin>> {
 public:
  static constexpr const char* kClassName = "CGoogleAnalyticsPlugin";
  static constexpr bool kTraceUnknownNames = false;
  static std::span<const DispMember<CGoogleAnalyticsPlugin>> Members() noexcept;

  // Script members; none returns a result.
  HRESULT Page(DispCall& call);
  HRESULT Event(DispCall& call);
  HRESULT Set(DispCall& call);

 private:
  // Builds the hit with build(common, &hit) and posts it; failures are
  // traced, never reported to script.
  template <class Build>
  void Send(Build build) noexcept;

  std::wstring trackingId_;
  std::wstring appName_;
  std::wstring appVersion_;
};

}  // namespace omb
