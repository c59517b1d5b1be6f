// "console": the page's console (the start-up script makes it `console`).
// "log" writes its first argument to the debugger output (and to the
// terminal the host was started from, if any); "showJsError"
// holds the value the host site reads to decide whether script errors show
// the browser's own dialog.
#pragma once

#include <exdisp.h>

#include "sdk/com.h"
#include "sdk/omb.h"

namespace omb {

class CConsolePlugin : public ComObject<CConsolePlugin, OMB::IPluginImpl<CConsolePlugin>, IDispatch> {
 public:
  static constexpr DISPID kLog = -6999;
  static constexpr DISPID kShowJsError = -6998;

  STDMETHODIMP Initialize(OMB::ICore* core, IUnknown* browser) noexcept override;

  STDMETHODIMP GetTypeInfoCount(UINT* count) noexcept override;
  STDMETHODIMP GetTypeInfo(UINT index, LCID, ITypeInfo** info) noexcept override;
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) noexcept override;
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO*, UINT*) noexcept override;

 private:
  HRESULT Log(WORD flags, const DISPPARAMS* params, VARIANT* result) noexcept;
  HRESULT ShowJsError(WORD flags, const DISPPARAMS* params, VARIANT* result) noexcept;

  ComPtr<IWebBrowser2> browser_;
  unique_variant showJsError_;
};

}  // namespace omb
