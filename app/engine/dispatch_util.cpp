#include "app/engine/dispatch_util.h"

#include <cmath>

#include "sdk/trace.h"

namespace omb::engine {

const VARIANT* CallArgs::At(UINT i) const noexcept {
  if (i >= Count()) return nullptr;
  const VARIANT* v = &params_->rgvarg[params_->cArgs - 1 - i];
  if (v->vt == (VT_BYREF | VT_VARIANT) && v->pvarVal) v = v->pvarVal;
  return v;
}

std::wstring CallArgs::String(UINT i) const {
  const VARIANT* v = At(i);
  if (!v) return L"undefined";
  return DisplayString(*v);
}

IDispatch* CallArgs::Object(UINT i) const noexcept {
  const VARIANT* v = At(i);
  return v && v->vt == VT_DISPATCH ? v->pdispVal : nullptr;
}

LONG CallArgs::Int(UINT i, LONG fallback) const noexcept {
  const VARIANT* v = At(i);
  if (!v) return fallback;
  VARIANT converted;
  VariantInit(&converted);
  if (FAILED(VariantChangeTypeEx(&converted, const_cast<VARIANT*>(v), LOCALE_INVARIANT, 0, VT_R8)))
    return fallback;
  const double d = converted.dblVal;
  if (!std::isfinite(d)) return fallback;
  if (d > 2147483647.0) return LONG_MAX;
  if (d < -2147483648.0) return LONG_MIN;
  return static_cast<LONG>(d);
}

const VARIANT* PutValue(const DISPPARAMS* params) noexcept {
  if (!params || params->cArgs == 0) return nullptr;
  for (UINT i = 0; i < params->cNamedArgs; ++i)
    if (params->rgdispidNamedArgs[i] == DISPID_PROPERTYPUT) return &params->rgvarg[i];
  return &params->rgvarg[0];
}

std::wstring DisplayString(const VARIANT& value) {
  const VARIANT* v = &value;
  if (v->vt == (VT_BYREF | VT_VARIANT) && v->pvarVal) v = v->pvarVal;
  switch (v->vt) {
    case VT_EMPTY:
      return L"undefined";
    case VT_NULL:
      return L"null";
    case VT_BOOL:
      return v->boolVal ? L"true" : L"false";
    case VT_BSTR:
      return v->bstrVal ? std::wstring(v->bstrVal, SysStringLen(v->bstrVal)) : std::wstring();
    case VT_R8:
    case VT_R4: {
      const double d = v->vt == VT_R8 ? v->dblVal : v->fltVal;
      if (std::isnan(d)) return L"NaN";
      if (std::isinf(d)) return d > 0 ? L"Infinity" : L"-Infinity";
      if (d == std::floor(d) && std::fabs(d) < 1e15) return Format(L"%.0f", d);
      return Format(L"%.15g", d);
    }
    default:
      break;
  }
  unique_variant converted;
  if (SUCCEEDED(VariantChangeTypeEx(converted.get(), const_cast<VARIANT*>(v), LOCALE_INVARIANT,
                                    VARIANT_ALPHABOOL, VT_BSTR)) &&
      converted->bstrVal)
    return std::wstring(converted->bstrVal, SysStringLen(converted->bstrVal));
  return v->vt == VT_DISPATCH || v->vt == VT_UNKNOWN ? L"[object]" : L"";
}

HRESULT CallFunction(IDispatch* fn, const std::vector<VARIANT>& args, VARIANT* result,
                     EXCEPINFO* exception) noexcept {
  if (!fn) return E_POINTER;
  std::vector<VARIANT> reversed;
  try {
    reversed.assign(args.rbegin(), args.rend());
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), nullptr,
                    static_cast<UINT>(reversed.size()), 0};
  return fn->Invoke(DISPID_VALUE, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result,
                    exception, nullptr);
}

bool SameObject(IUnknown* a, IUnknown* b) noexcept {
  if (!a || !b) return a == b;
  ComPtr<IUnknown> ua, ub;
  a->QueryInterface(IID_PPV_ARGS(&ua));
  b->QueryInterface(IID_PPV_ARGS(&ub));
  return ua && ua == ub;
}

HRESULT ReturnBstr(std::wstring_view text, BSTR* out) noexcept {
  if (!out) return E_POINTER;
  *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  return *out ? S_OK : E_OUTOFMEMORY;
}

DISPID ExpandoBag::Ensure(const wchar_t* name) {
  for (size_t i = 0; i < entries_.size(); ++i)
    if (entries_[i].name == name) return kFirstDispid + static_cast<DISPID>(i);
  entries_.push_back(Entry{name, {}});
  return kFirstDispid + static_cast<DISPID>(entries_.size() - 1);
}

HRESULT ExpandoBag::Invoke(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result) noexcept {
  if (!Owns(id)) return DISP_E_MEMBERNOTFOUND;
  unique_variant& value = entries_[static_cast<size_t>(id - kFirstDispid)].value;
  if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
    const VARIANT* v = PutValue(params);
    if (!v) return DISP_E_PARAMNOTOPTIONAL;
    return value.CopyFrom(*v);
  }
  if ((flags & DISPATCH_METHOD) && value.vt() == VT_DISPATCH && value->pdispVal) {
    ComPtr<IDispatch> function(value->pdispVal);
    DISPPARAMS none{};
    return function->Invoke(DISPID_VALUE, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD,
                            params ? params : &none, result, nullptr, nullptr);
  }
  if (!(flags & DISPATCH_PROPERTYGET)) return DISP_E_MEMBERNOTFOUND;
  if (!result) return S_OK;
  VariantInit(result);
  return VariantCopy(result, value.get());
}

}  // namespace omb::engine
