// "registry": keys and values of the platform registry named by text paths
// ("HKEY_CURRENT_USER\Software\Vendor\value"), in the native view or, by the
// "mode" property, in the 32-bit or 64-bit view. A fresh object (default
// view) is made for every read of the member; no key stays open between
// calls.
#pragma once

#include <span>

#include "sdk/com.h"
#include "sdk/dispatch.h"
#include "sdk/omb.h"

namespace omb {

class CRegistryPlugin : public ComObject<CRegistryPlugin, OMB::IPluginImpl<CRegistryPlugin>,
                                         DispatchTable<CRegistryPlugin>> {
 public:
  static constexpr const char* kClassName = "CRegistryPlugin";
  static std::span<const DispMember<CRegistryPlugin>> Members() noexcept;

  // Nothing is needed from the host.
  STDMETHODIMP Initialize(OMB::ICore*, IUnknown*) noexcept override { return S_OK; }

  // Members are methods except "mode", which is read and written.
  STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params,
                      VARIANT* result, EXCEPINFO* excep, UINT* argErr) noexcept override;

  HRESULT CreateKey(DispCall& call);
  HRESULT DeleteKey(DispCall& call);
  HRESULT SetValue(DispCall& call);
  HRESULT DeleteValue(DispCall& call);
  HRESULT QueryValue(DispCall& call);
  HRESULT IsKeyExist(DispCall& call);
  HRESULT IsValueExist(DispCall& call);
  HRESULT Mode(DispCall& call);

 private:
  // The view flag the mode adds to every access mask.
  REGSAM View() const noexcept;

  LONG mode_ = 0;  // 0 default, 32 or 64: the view forced
};

}  // namespace omb
