// The script host of the benches' floors: the platform's JScript engine, set
// up the way the page engine sets up its own (language version 5.8, started
// and connected), with host objects of our own as its named items. Bare on
// purpose: nothing of the host program is linked into a floor, so a floor
// measures only what any program built this way must do.
#pragma once

#include <windows.h>
#include <activscp.h>
#include <oleauto.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <utility>
#include <vector>

namespace bench {

inline constexpr CLSID kClsidJScript = {
    0xf414c260, 0x6ac0, 0x11cf, {0xb6, 0xd1, 0x00, 0xaa, 0x00, 0xbb, 0xbb, 0x58}};

// The least a host object can be: IUnknown and IDispatch, one member name
// with DISPID 1. Reading or calling the member runs the action, when there is
// one, and answers true, or the object itself for kReturnsSelf.
class MinimalObject final : public IDispatch {
 public:
  enum Answer { kReturnsTrue, kReturnsSelf };
  using Action = void (*)(const DISPPARAMS* params);

  MinimalObject(const wchar_t* name, Answer answer, Action action = nullptr) noexcept
      : name_(name), answer_(answer), action_(action) {}

  STDMETHODIMP QueryInterface(REFIID iid, void** out) noexcept override {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IDispatch) {
      *out = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() noexcept override { return ++refs_; }
  STDMETHODIMP_(ULONG) Release() noexcept override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }
  STDMETHODIMP GetTypeInfoCount(UINT* count) noexcept override {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) noexcept override { return DISP_E_BADINDEX; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) noexcept override {
    if (!names || !ids || count == 0) return E_INVALIDARG;
    if (!names[0] || std::wcscmp(names[0], name_) != 0) {
      ids[0] = DISPID_UNKNOWN;
      return DISP_E_UNKNOWNNAME;
    }
    ids[0] = 1;
    return S_OK;
  }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                      UINT*) noexcept override {
    if (id != 1) return DISP_E_MEMBERNOTFOUND;
    if (action_) action_(params);
    if (!result) return S_OK;
    VariantInit(result);
    if (answer_ == kReturnsSelf) {
      result->vt = VT_DISPATCH;
      result->pdispVal = this;
      AddRef();
    } else {
      result->vt = VT_BOOL;
      result->boolVal = VARIANT_TRUE;
    }
    return S_OK;
  }

 private:
  ~MinimalObject() = default;

  ULONG refs_ = 1;
  const wchar_t* name_;
  Answer answer_;
  Action action_;
};

// The site: hands out the named items and prints script errors to standard
// error, so a floor whose script fails says why.
class FloorSite final : public IActiveScriptSite {
 public:
  void Add(const wchar_t* name, IDispatch* item) {
    item->AddRef();
    items_.emplace_back(name, item);
  }
  ~FloorSite() {
    for (auto& item : items_) item.second->Release();
  }

  STDMETHODIMP QueryInterface(REFIID iid, void** out) noexcept override {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == __uuidof(IActiveScriptSite)) {
      *out = static_cast<IActiveScriptSite*>(this);
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  // Lives on the floor program's stack, longer than the engine.
  STDMETHODIMP_(ULONG) AddRef() noexcept override { return 2; }
  STDMETHODIMP_(ULONG) Release() noexcept override { return 1; }
  STDMETHODIMP GetLCID(LCID*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP GetItemInfo(LPCOLESTR name, DWORD mask, IUnknown** item, ITypeInfo** info) noexcept override {
    if (item) *item = nullptr;
    if (info) *info = nullptr;
    for (auto& entry : items_) {
      if (!name || entry.first != name) continue;
      if (mask & SCRIPTINFO_IUNKNOWN) {
        if (!item) return E_POINTER;
        *item = entry.second;
        entry.second->AddRef();
      }
      return S_OK;
    }
    return TYPE_E_ELEMENTNOTFOUND;
  }
  STDMETHODIMP GetDocVersionString(BSTR*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP OnScriptTerminate(const VARIANT*, const EXCEPINFO*) noexcept override { return S_OK; }
  STDMETHODIMP OnStateChange(SCRIPTSTATE) noexcept override { return S_OK; }
  STDMETHODIMP OnScriptError(IActiveScriptError* error) noexcept override {
    EXCEPINFO info = {};
    if (error && SUCCEEDED(error->GetExceptionInfo(&info))) {
      std::fwprintf(stderr, L"floor script error: %ls\n",
                    info.bstrDescription ? info.bstrDescription : L"(no description)");
      SysFreeString(info.bstrSource);
      SysFreeString(info.bstrDescription);
      SysFreeString(info.bstrHelpFile);
    }
    failed_ = true;
    return S_OK;
  }
  STDMETHODIMP OnEnterScript() noexcept override { return S_OK; }
  STDMETHODIMP OnLeaveScript() noexcept override { return S_OK; }

  bool Failed() const noexcept { return failed_; }

 private:
  std::vector<std::pair<std::wstring, IDispatch*>> items_;
  bool failed_ = false;
};

// Creates the engine, adds the site's items by name and runs code in it.
// Answers false (after printing why) when any step fails.
inline bool RunScript(FloorSite& site, const std::vector<const wchar_t*>& items, const wchar_t* code) {
  IActiveScript* script = nullptr;
  HRESULT hr = CoCreateInstance(kClsidJScript, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IActiveScript),
                                reinterpret_cast<void**>(&script));
  if (FAILED(hr)) {
    std::fprintf(stderr, "floor: JScript not created: %08lX\n", static_cast<unsigned long>(hr));
    return false;
  }
  IActiveScriptProperty* property = nullptr;
  if (SUCCEEDED(script->QueryInterface(__uuidof(IActiveScriptProperty), reinterpret_cast<void**>(&property)))) {
    VARIANT version;
    VariantInit(&version);
    version.vt = VT_I4;
    version.lVal = SCRIPTLANGUAGEVERSION_5_8;
    property->SetProperty(SCRIPTPROP_INVOKEVERSIONING, nullptr, &version);
    property->Release();
  }
  IActiveScriptParse* parse = nullptr;
  hr = script->QueryInterface(__uuidof(IActiveScriptParse), reinterpret_cast<void**>(&parse));
  if (SUCCEEDED(hr)) hr = parse->InitNew();
  if (SUCCEEDED(hr)) hr = script->SetScriptSite(&site);
  for (const wchar_t* name : items)
    if (SUCCEEDED(hr)) hr = script->AddNamedItem(name, SCRIPTITEM_ISVISIBLE);
  if (SUCCEEDED(hr)) hr = script->SetScriptState(SCRIPTSTATE_CONNECTED);
  if (SUCCEEDED(hr)) {
    EXCEPINFO exception = {};
    hr = parse->ParseScriptText(code, nullptr, nullptr, nullptr, 0, 0, SCRIPTTEXT_ISVISIBLE, nullptr,
                                &exception);
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
  }
  if (FAILED(hr)) std::fprintf(stderr, "floor: script failed: %08lX\n", static_cast<unsigned long>(hr));
  if (parse) parse->Release();
  script->Close();
  script->Release();
  return SUCCEEDED(hr) && !site.Failed();
}

}  // namespace bench
