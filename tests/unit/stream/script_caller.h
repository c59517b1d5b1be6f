// Calls members of a dispatch object the way page script does: by name,
// arguments in script order, methods with the method and get flags.
#pragma once

#include <algorithm>
#include <initializer_list>
#include <limits>
#include <string>
#include <vector>

#include "sdk/com.h"

namespace scripttest {

inline VARIANT I4(LONG n) {
  VARIANT v;
  omb::SetI4(&v, n);
  return v;
}
inline VARIANT R8(double d) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_R8;
  v.dblVal = d;
  return v;
}
inline VARIANT Obj(IDispatch* d) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_DISPATCH;
  v.pdispVal = d;
  return v;
}

// Owns the strings it hands out for the life of the test.
class Strings {
 public:
  ~Strings() {
    for (BSTR s : owned_) SysFreeString(s);
  }
  VARIANT operator()(const wchar_t* text) {
    owned_.push_back(SysAllocString(text));
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = owned_.back();
    return v;
  }

 private:
  std::vector<BSTR> owned_;
};

inline DISPID IdOf(IDispatch* obj, const wchar_t* name) {
  DISPID id = DISPID_UNKNOWN;
  LPOLESTR n = const_cast<LPOLESTR>(name);
  obj->GetIDsOfNames(IID_NULL, &n, 1, LOCALE_USER_DEFAULT, &id);
  return id;
}

inline HRESULT Invoke(IDispatch* obj, const wchar_t* name, WORD flags,
                      std::initializer_list<VARIANT> args, VARIANT* result) {
  std::vector<VARIANT> reversed(args.begin(), args.end());
  std::reverse(reversed.begin(), reversed.end());
  DISPID named = DISPID_PROPERTYPUT;
  const bool put = (flags & DISPATCH_PROPERTYPUT) != 0;
  DISPPARAMS params{reversed.data(), put ? &named : nullptr, static_cast<UINT>(reversed.size()),
                    put ? 1u : 0u};
  if (result) VariantInit(result);
  return obj->Invoke(IdOf(obj, name), IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result,
                     nullptr, nullptr);
}

// A method call as script makes it; result (owned by the caller) is cleared first.
inline HRESULT Call(IDispatch* obj, const wchar_t* name, std::initializer_list<VARIANT> args,
                    VARIANT* result) {
  if (result) VariantClear(result);
  return Invoke(obj, name, DISPATCH_METHOD | DISPATCH_PROPERTYGET, args, result);
}
inline HRESULT Get(IDispatch* obj, const wchar_t* name, VARIANT* result) {
  if (result) VariantClear(result);
  return Invoke(obj, name, DISPATCH_PROPERTYGET, {}, result);
}

// The value as a double (any numeric variant); NaN for others.
inline double Num(const omb::unique_variant& v) {
  VARIANT d;
  VariantInit(&d);
  if (FAILED(VariantChangeType(&d, const_cast<VARIANT*>(v.get()), 0, VT_R8)))
    return std::numeric_limits<double>::quiet_NaN();
  return d.dblVal;
}
inline std::wstring Str(const omb::unique_variant& v) {
  return v.vt() == VT_BSTR ? std::wstring(v->bstrVal, SysStringLen(v->bstrVal)) : L"<not a string>";
}

}  // namespace scripttest
