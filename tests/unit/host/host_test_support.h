// Stand-ins the host tests share: plug-ins that record what the host tells
// them, a core that records the windows it is asked for, and small helpers
// for dispatch calls.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/core/plugin_registry.h"
#include "sdk/com.h"
#include "sdk/omb.h"

namespace hosttest {

// Everything the recording plug-ins were told, in order ("init kept", ...).
inline std::vector<std::wstring>& PluginLog() {
  static std::vector<std::wstring> log;
  return log;
}

inline int& LivePlugins() {
  static int live = 0;
  return live;
}

template <const wchar_t* Name>
class RecordingPlugin
    : public omb::ComObject<RecordingPlugin<Name>, OMB::IPluginImpl<RecordingPlugin<Name>>, IDispatch> {
 public:
  RecordingPlugin() { ++LivePlugins(); }
  ~RecordingPlugin() override { --LivePlugins(); }

  OMB::ICore* core = nullptr;

  STDMETHODIMP Initialize(OMB::ICore* c, IUnknown*) noexcept override {
    core = c;
    PluginLog().push_back(std::wstring(L"init ") + Name);
    return S_OK;
  }
  STDMETHODIMP OnNavigateComplete(ULONG_PTR) noexcept override {
    PluginLog().push_back(std::wstring(L"nav ") + Name);
    return S_OK;
  }
  STDMETHODIMP OnDocumentComplete(ULONG_PTR) noexcept override {
    PluginLog().push_back(std::wstring(L"doc ") + Name);
    return S_OK;
  }
  STDMETHODIMP GetTypeInfoCount(UINT* n) noexcept override {
    *n = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) noexcept override {
    return DISP_E_UNKNOWNNAME;
  }
  STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                      UINT*) noexcept override {
    return DISP_E_MEMBERNOTFOUND;
  }
};

inline constexpr wchar_t kKeptName[] = L"hostKept";
inline constexpr wchar_t kFreshName[] = L"hostFresh";
inline constexpr wchar_t kLateName[] = L"hostLate";
inline constexpr wchar_t kFailingName[] = L"hostFails";
using KeptPlugin = RecordingPlugin<kKeptName>;
using FreshPlugin = RecordingPlugin<kFreshName>;
using LatePlugin = RecordingPlugin<kLateName>;

inline int& FailingFactoryCalls() {
  static int calls = 0;
  return calls;
}

inline HRESULT STDMETHODCALLTYPE FailingFactory(REFIID, void** out) noexcept {
  ++FailingFactoryCalls();
  if (out) *out = nullptr;
  return E_OUTOFMEMORY;
}

// Registers the recording plug-ins once per process.
inline void RegisterTestPlugins() {
  static const bool done = [] {
    omb::RegisterPlugin(kKeptName, &omb::CreateBuiltinPlugin<KeptPlugin>, 0);
    omb::RegisterPlugin(kFreshName, &omb::CreateBuiltinPlugin<FreshPlugin>,
                        OMB::kFlagNewInstancePerAccess);
    omb::RegisterPlugin(kLateName, &omb::CreateBuiltinPlugin<LatePlugin>, 0);
    omb::RegisterPlugin(kFailingName, &FailingFactory, 0);
    return true;
  }();
  (void)done;
}

// A core that records CreateBrowserWindow calls and answers with a chosen
// window object.
class FakeCore : public omb::ComObject<FakeCore, OMB::ICore> {
 public:
  struct WindowRequest {
    bool urlGiven = false;
    std::wstring url;
    BOOL inherit = FALSE;
    VARTYPE callbackType = VT_EMPTY;
    VARTYPE contextType = VT_EMPTY;
    LONG contextValue = 0;
  };
  std::vector<WindowRequest> requests;
  ComPtr<IDispatch> windowToGive;
  std::vector<std::wstring> createdKinds;

  ULONG Refs() {
    AddRef();
    return Release();
  }

  STDMETHODIMP CreateBrowserWindow(const wchar_t* url, BOOL inherit, VARIANT* callback,
                                   VARIANT* context, IDispatch** window) noexcept override {
    WindowRequest r;
    r.urlGiven = url != nullptr;
    r.url = url ? url : L"";
    r.inherit = inherit;
    r.callbackType = callback ? callback->vt : static_cast<VARTYPE>(VT_ILLEGAL);
    r.contextType = context ? context->vt : static_cast<VARTYPE>(VT_ILLEGAL);
    r.contextValue = context && context->vt == VT_I4 ? context->lVal : 0;
    requests.push_back(r);
    if (window) windowToGive.CopyTo(window);
    return windowToGive ? S_OK : E_FAIL;
  }
  STDMETHODIMP_(HWND) GetWindowHandle() noexcept override { return nullptr; }
  STDMETHODIMP QueryPlugin(const wchar_t*, IDispatch**) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP ResolvePath(const wchar_t*, BSTR*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP CreateObject(const wchar_t* kind, IDispatch**) noexcept override {
    createdKinds.push_back(kind);
    return E_NOTIMPL;
  }
};

// Calls obj's member id with the given flags and script-order arguments.
inline HRESULT Call(IDispatch* obj, DISPID id, WORD flags, std::vector<VARIANT> args,
                    VARIANT* result) {
  std::vector<VARIANT> reversed(args.rbegin(), args.rend());
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS params = {reversed.empty() ? nullptr : reversed.data(), nullptr,
                       static_cast<UINT>(reversed.size()), 0};
  if (flags & DISPATCH_PROPERTYPUT) {
    params.rgdispidNamedArgs = &named;
    params.cNamedArgs = 1;
  }
  return obj->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, nullptr, nullptr);
}

inline HRESULT IdOf(IDispatch* obj, const wchar_t* name, DISPID* id) {
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  return obj->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, id);
}

inline VARIANT I4(LONG n) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = n;
  return v;
}

}  // namespace hosttest
