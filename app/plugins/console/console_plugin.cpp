#include "app/plugins/console/console_plugin.h"

#include <string>

#include "app/core/plugin_registry.h"
#include "app/core/terminal.h"
#include "sdk/dispatch.h"

namespace omb {

OMB_REGISTER_BUILTIN_PLUGIN(L"console", CConsolePlugin, 0);

namespace {

bool NameIs(const wchar_t* name, const wchar_t* expected) noexcept {
  return CompareStringW(LOCALE_USER_DEFAULT, 0, name, -1, expected, -1) == CSTR_EQUAL;
}

}  // namespace

STDMETHODIMP CConsolePlugin::Initialize(OMB::ICore*, IUnknown* browser) noexcept {
  ComPtr<IWebBrowser2> web;
  if (browser && SUCCEEDED(browser->QueryInterface(IID_PPV_ARGS(&web)))) browser_ = web;
  return S_OK;
}

STDMETHODIMP CConsolePlugin::GetTypeInfoCount(UINT* count) noexcept {
  if (!count) return E_POINTER;
  *count = 1;
  return S_OK;
}

STDMETHODIMP CConsolePlugin::GetTypeInfo(UINT index, LCID, ITypeInfo** info) noexcept {
  if (!info) return E_POINTER;
  *info = nullptr;
  return index == 0 ? TYPE_E_ELEMENTNOTFOUND : DISP_E_BADINDEX;
}

STDMETHODIMP CConsolePlugin::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                           DISPID* ids) noexcept {
  if (!names || !ids || count == 0) return E_INVALIDARG;
  for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
  const wchar_t* name = names[0];
  if (!name || !*name) return DISP_E_UNKNOWNNAME;
  // Every page calls console.log by exactly this name: identical strings are
  // equal for the locale comparison too, so they need not go through it.
  if (SameName(name, L"log") || (!SameName(name, L"showJsError") && NameIs(name, L"log"))) {
    ids[0] = kLog;
  } else if (SameName(name, L"showJsError") || NameIs(name, L"showJsError")) {
    ids[0] = kShowJsError;
  } else {
    return DISP_E_UNKNOWNNAME;
  }
  return S_OK;
}

STDMETHODIMP CConsolePlugin::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                    VARIANT* result, EXCEPINFO*, UINT*) noexcept {
  switch (id) {
    case kLog:
      return Log(flags, params, result);
    case kShowJsError:
      return ShowJsError(flags, params, result);
    default:
      return DISP_E_UNKNOWNNAME;
  }
}

HRESULT CConsolePlugin::Log(WORD flags, const DISPPARAMS* params, VARIANT* result) noexcept {
  if (flags & DISPATCH_PROPERTYGET) {
    if (result) VariantInit(result);
    return S_OK;
  }
  DispArgs args(params);
  if (args.Count() == 0) return E_FAIL;
  const wchar_t* text = nullptr;
  UINT length = 0;
  if (FAILED(args.String(0, &text, &length))) return S_OK;
  try {
    std::wstring line(text, length);
    line += L'\n';
    OutputDebugStringW(line.c_str());
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  Terminal().WriteLine(std::wstring_view(text, length));
  return S_OK;
}

HRESULT CConsolePlugin::ShowJsError(WORD flags, const DISPPARAMS* params, VARIANT* result) noexcept {
  if (flags & DISPATCH_PROPERTYGET) {
    if (!result) return S_OK;
    VariantInit(result);
    return VariantCopy(result, showJsError_.get());
  }
  if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
    DispArgs args(params);
    if (args.Count() == 0) return E_FAIL;
    return showJsError_.CopyFrom(args[0]);
  }
  return E_FAIL;
}

}  // namespace omb
