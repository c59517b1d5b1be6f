// "tray": one icon with a tool tip in the notification area, shown and
// hidden by script, whose clicks, double clicks and right clicks call script
// functions (a tray menu is typically shown from the right click).
#pragma once

#include <span>

#include "app/plugins/tray/tray_icon.h"
#include "sdk/com.h"
#include "sdk/dispatch.h"
#include "sdk/omb.h"

namespace omb {

class CTrayPlugin : public ComObject<CTrayPlugin, OMB::IPluginImpl<CTrayPlugin>,
                                     DispatchTable<CTrayPlugin>> {
 public:
  static constexpr const char* kClassName = "CTrayPlugin";
  static std::span<const DispMember<CTrayPlugin>> Members() noexcept;

  STDMETHODIMP Initialize(OMB::ICore* core, IUnknown* browser) noexcept override;

  HRESULT AddTray(DispCall& call);
  HRESULT Show(DispCall& call);
  HRESULT Hide(DispCall& call);
  HRESULT OnClick(DispCall& call) { return PutCallback(call, CTraySubclassWindow::kClick); }
  HRESULT OnDbClick(DispCall& call) { return PutCallback(call, CTraySubclassWindow::kDoubleClick); }
  HRESULT OnRClick(DispCall& call) { return PutCallback(call, CTraySubclassWindow::kRightClick); }

 private:
  HRESULT PutCallback(DispCall& call, CTraySubclassWindow::Callback which);
  HRESULT LoadTrayIcon(const wchar_t* file, HICON* icon) noexcept;

  ComPtr<OMB::ICore> core_;
  CTraySubclassWindow icon_;
};

}  // namespace omb
