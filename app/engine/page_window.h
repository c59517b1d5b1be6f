// The page's `window`: the named item the script engine sees as `window`
// (and whose members are global: `alert`, `external`, `setTimeout`, ...).
//
// The engine's own global object does not show the members of a named item
// when script reads them through `window.x`, so this object answers its own
// members (external, alert, document, location, navigator, timers, open,
// close, the self references, load listeners, event) and forwards every other name - reads,
// writes, calls and fdexNameEnsure creation - to the engine's global
// dispatch. `window.x` and a global `x` are therefore one variable. A write
// to one of its own members (`window.alert = f`) replaces that member for
// both `window.alert(...)` and bare `alert(...)`.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "app/engine/dispatch_util.h"
#include "app/engine/interface_defaults.h"

namespace omb::engine {

class CPage;

class CPageWindow : public ComObject<CPageWindow, IDispatchEx, HtmlWindowDefaults> {
 public:
  explicit CPageWindow(CPage* page) noexcept;

  // Drops the page, overrides and forwarded names.
  void Close() noexcept;
  // Runs one of the window's own methods (a native function value calls it).
  HRESULT CallOwn(size_t member, const DISPPARAMS* params, VARIANT* result) noexcept;

  // IDispatch
  STDMETHODIMP GetTypeInfoCount(UINT* count) noexcept override;
  STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) noexcept override;
  STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid,
                             DISPID* ids) noexcept override;
  STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params,
                      VARIANT* result, EXCEPINFO* exception, UINT* argError) noexcept override;
  // IDispatchEx
  STDMETHODIMP GetDispID(BSTR name, DWORD options, DISPID* id) noexcept override;
  STDMETHODIMP InvokeEx(DISPID id, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* exception, IServiceProvider* caller) noexcept override;
  STDMETHODIMP DeleteMemberByName(BSTR name, DWORD options) noexcept override;
  STDMETHODIMP DeleteMemberByDispID(DISPID id) noexcept override;
  STDMETHODIMP GetMemberProperties(DISPID id, DWORD fetch, DWORD* properties) noexcept override;
  STDMETHODIMP GetMemberName(DISPID id, BSTR* name) noexcept override;
  STDMETHODIMP GetNextDispID(DWORD options, DISPID id, DISPID* next) noexcept override;
  STDMETHODIMP GetNameSpaceParent(IUnknown** parent) noexcept override;
  // IHTMLWindow2
  STDMETHODIMP get_document(IHTMLDocument2** document) noexcept override;
  STDMETHODIMP alert(BSTR message) noexcept override;
  STDMETHODIMP setTimeout(BSTR code, LONG delay, VARIANT* language, LONG* id) noexcept override;
  STDMETHODIMP clearTimeout(LONG id) noexcept override;
  STDMETHODIMP close() noexcept override;
  STDMETHODIMP open(BSTR url, BSTR name, BSTR features, VARIANT_BOOL replace,
                    IHTMLWindow2** window) noexcept override;
  STDMETHODIMP get_self(IHTMLWindow2** self) noexcept override;
  STDMETHODIMP get_window(IHTMLWindow2** self) noexcept override;
  STDMETHODIMP get_top(IHTMLWindow2** self) noexcept override;
  STDMETHODIMP get_parent(IHTMLWindow2** self) noexcept override;
  STDMETHODIMP execScript(BSTR code, BSTR language, VARIANT* result) noexcept override;
  STDMETHODIMP get_external(IDispatch** external) noexcept override;

 private:
  ~CPageWindow() override;
  friend class ComObject<CPageWindow, IDispatchEx, HtmlWindowDefaults>;

  static constexpr DISPID kOwnBase = 1000;
  static constexpr DISPID kForwardBase = 0x10000;
  static constexpr size_t kOwnCount = 21;

  struct Forwarded {
    std::wstring name;
    DISPID global;
  };

  HRESULT InvokeOwn(size_t member, WORD flags, DISPPARAMS* params, VARIANT* result,
                    EXCEPINFO* exception, IServiceProvider* caller) noexcept;
  HRESULT ReadOwn(size_t member, VARIANT* result) noexcept;
  HRESULT LookUp(BSTR name, DWORD options, DISPID* id) noexcept;
  HRESULT Forward(DISPID global, const wchar_t* name, DISPID* id);
  const Forwarded* FindForwarded(DISPID id) const noexcept;
  HRESULT SelfAs(IHTMLWindow2** out) noexcept;

  // Native members.
  HRESULT Alert(const std::wstring& text) noexcept;
  HRESULT AddTimer(const CallArgs& args, bool repeat, VARIANT* result) noexcept;
  HRESULT Open(const std::wstring& url) noexcept;
  HRESULT Listener(const CallArgs& args, bool add, bool attachForm, VARIANT* result) noexcept;

  ComPtr<CPage> page_;
  std::array<unique_variant, kOwnCount> overrides_;
  std::array<bool, kOwnCount> overridden_{};
  std::vector<Forwarded> forwarded_;
  bool lookingUp_ = false;
};

}  // namespace omb::engine
