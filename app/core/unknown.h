// Bases for the host's small script-visible objects that are not plug-ins.
#pragma once

#include "sdk/com.h"
#include "sdk/dispatch.h"

// A reference-counted object answering IUnknown, IDispatch and any further
// interfaces listed; the derived class implements IDispatch itself (its own
// name lookup and invocation). Create it with omb::Make<Derived>().
template <class Derived, class... Interfaces>
using CUnknown = omb::ComObject<Derived, IDispatch, Interfaces...>;

// IDispatch for objects that receive calls by DISPID only (event sinks):
// every call goes to OnInvoke; there is no type information (a count of 0,
// S_OK also for a null pointer), a name lookup answers DISP_E_UNKNOWNINTERFACE
// and any interface but IUnknown and IDispatch E_NOTIMPL.
class CDispatchBase : public omb::ComObject<CDispatchBase, omb::InvokeOnly> {
 public:
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
