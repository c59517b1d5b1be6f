// "menu": creates menu objects (pop-up, tray and window menus) for the page.
#pragma once

#include <span>

#include "sdk/com.h"
#include "sdk/dispatch.h"
#include "sdk/omb.h"

namespace omb {

class CMenuManagePlugin
    : public ComObject<CMenuManagePlugin, OMB::IPluginImpl<CMenuManagePlugin>,
                       DispatchTable<CMenuManagePlugin>> {
 public:
  static constexpr const char* kClassName = "CMenuManagePlugin";
  static std::span<const DispMember<CMenuManagePlugin>> Members() noexcept;

  STDMETHODIMP Initialize(OMB::ICore* core, IUnknown* browser) noexcept override;

  HRESULT CreateMenu(DispCall& call);

 private:
  ComPtr<OMB::ICore> core_;
};

// Creates a menu object of the kind for the windows of this host frame.
HRESULT CreateMenuObject(HWND frame, LONG kind, IDispatch** out) noexcept;

}  // namespace omb
