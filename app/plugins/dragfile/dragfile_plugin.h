// "dragfile": binds element identifiers of the page to script functions.
// When files are dropped on the page, the host's drop target asks "get" for
// the element under the drop point and each of its ancestors, and calls the
// first binding's function with the dropped paths and the binding's context.
#pragma once

#include <exdisp.h>

#include <map>
#include <span>
#include <string>

#include "sdk/com.h"
#include "sdk/dispatch.h"
#include "sdk/omb.h"

namespace omb {

class CDragFilePlugin : public ComObject<CDragFilePlugin, OMB::IPluginImpl<CDragFilePlugin>,
                                         DispatchTable<CDragFilePlugin>> {
 public:
  static constexpr const char* kClassName = "CDragFilePlugin";
  static constexpr DISPID kBind = -6999;
  static constexpr DISPID kGet = -6998;
  static std::span<const DispMember<CDragFilePlugin>> Members() noexcept;

  STDMETHODIMP Initialize(OMB::ICore* core, IUnknown* browser) noexcept override;
  // Exact names only, and no trace line for the others: the drop target
  // resolves "get" on every drag movement.
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                             DISPID* ids) noexcept override;

  HRESULT Bind(DispCall& call);
  HRESULT Get(DispCall& call);

 private:
  struct Binding {
    ComPtr<IDispatch> function;
    unique_variant context;
  };

  ComPtr<IWebBrowser2> browser_;
  std::map<std::wstring, Binding, std::less<>> bindings_;
};

}  // namespace omb
