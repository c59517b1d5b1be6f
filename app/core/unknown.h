// Bases for the host's small script-visible objects that are not plug-ins
// (the window's message object, drag sinks, the HTTP client object).
#pragma once

#include "sdk/com.h"

// A reference-counted object answering IUnknown, IDispatch and any further
// interfaces listed; the derived class implements IDispatch itself (its own
// name lookup and invocation). Create it with omb::Make<Derived>().
template <class Derived, class... Interfaces>
using CUnknown = omb::ComObject<Derived, IDispatch, Interfaces...>;

// IDispatch for objects that receive calls by DISPID only (event sinks):
// every call goes to OnInvoke; names cannot be looked up and there is no type
// information.
class CDispatchBase : public omb::ComObject<CDispatchBase, IDispatch> {
 public:
  // IUnknown and IDispatch only; any other interface answers E_NOTIMPL.
  STDMETHODIMP QueryInterface(REFIID iid, void** out) noexcept override {
    if (!out) return E_INVALIDARG;
    if (iid != IID_IUnknown && iid != IID_IDispatch) {
      *out = nullptr;
      return E_NOTIMPL;
    }
    *out = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }

  STDMETHODIMP GetTypeInfoCount(UINT* count) noexcept override {
    if (count) *count = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) noexcept override {
    if (info) *info = nullptr;
    return DISP_E_BADINDEX;
  }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) noexcept override {
    return DISP_E_UNKNOWNINTERFACE;
  }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO*, UINT*) noexcept override {
    return OnInvoke(id, flags, params, result);
  }

 protected:
  CDispatchBase() noexcept = default;

  // The one handler of every call; its answer is the call's answer.
  virtual HRESULT OnInvoke(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result) noexcept = 0;
};
