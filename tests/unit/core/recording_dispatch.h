// A stand-in for a script function or script object: an IDispatch that
// records every Invoke (thread, DISPID, flags, locale, arguments in script
// order) and answers with a chosen value.
#pragma once

#include <string>
#include <vector>

#include "sdk/com.h"
#include "sdk/dispatch.h"

// Takes over the one reference a new object starts with. (MinGW's
// ComPtr::Attach adds a reference of its own, so it cannot be used for that.)
template <class T>
ComPtr<T> Own(T* raw) {
  ComPtr<T> p;
  *p.GetAddressOf() = raw;
  return p;
}
template <class T>
ComPtr<T> New() {
  return Own(new T());
}

class RecordingDispatch : public omb::ComObject<RecordingDispatch, omb::InvokeOnly> {
 public:
  struct Call {
    DWORD thread = 0;
    DISPID id = 0;
    WORD flags = 0;
    LCID lcid = 0;
    UINT namedCount = 0;
    DISPID firstNamed = 0;
    bool wantedResult = false;
    std::vector<std::wstring> args;  // script order, each as "type:text"
    std::vector<IUnknown*> objects;  // identity of object arguments, script order
  };

  std::vector<Call> calls;
  HRESULT answerResult = S_OK;
  WORD refusedFlags = 0;  // calls with any of these flags answer DISP_E_MEMBERNOTFOUND
  omb::unique_variant answer;

  // The current reference count.
  ULONG Refs() {
    AddRef();
    return Release();
  }

  STDMETHODIMP Invoke(DISPID id, REFIID, LCID lcid, WORD flags, DISPPARAMS* params,
                      VARIANT* result, EXCEPINFO*, UINT*) noexcept override {
    if (flags & refusedFlags) return DISP_E_MEMBERNOTFOUND;
    Call call;
    call.thread = GetCurrentThreadId();
    call.id = id;
    call.flags = flags;
    call.lcid = lcid;
    call.namedCount = params->cNamedArgs;
    call.firstNamed = params->cNamedArgs ? params->rgdispidNamedArgs[0] : 0;
    call.wantedResult = result != nullptr;
    for (UINT i = params->cArgs; i-- > 0;) {
      call.args.push_back(Describe(params->rgvarg[i]));
      const VARIANT& v = params->rgvarg[i];
      call.objects.push_back(v.vt == VT_DISPATCH || v.vt == VT_UNKNOWN ? v.punkVal : nullptr);
    }
    calls.push_back(std::move(call));
    if (result) VariantCopy(result, answer.get());
    return answerResult;
  }

  static std::wstring Describe(const VARIANT& v) {
    VARIANT text;
    VariantInit(&text);
    std::wstring out = std::to_wstring(v.vt) + L":";
    if (v.vt != VT_DISPATCH && v.vt != VT_UNKNOWN &&
        SUCCEEDED(VariantChangeType(&text, const_cast<VARIANT*>(&v), 0, VT_BSTR)))
      out += text.bstrVal ? text.bstrVal : L"";
    VariantClear(&text);
    return out;
  }
};
