// Small helpers shared by the engine's script-visible objects: reading the
// positional arguments of an Invoke, turning values into the strings script
// would show, calling script functions, and expando properties.
#pragma once

#include <string>
#include <vector>

#include "app/engine/engine_com.h"
#include "sdk/dispatch.h"

namespace omb::engine {

// Positional arguments in script order (the platform stores them last-first,
// after any named arguments); by-reference variants are followed.
class CallArgs {
 public:
  explicit CallArgs(const DISPPARAMS* params) noexcept : params_(params) {}

  UINT Count() const noexcept { return params_ ? params_->cArgs - params_->cNamedArgs : 0; }
  // The argument, or null when the caller passed fewer.
  const VARIANT* At(UINT i) const noexcept;
  // The argument as a string ("undefined" when absent, as script shows it).
  std::wstring String(UINT i) const;
  // The argument as an object, without a reference; null otherwise.
  IDispatch* Object(UINT i) const noexcept;
  // The argument converted to an integer, or fallback.
  LONG Int(UINT i, LONG fallback) const noexcept;

 private:
  const DISPPARAMS* params_;
};

// The value a property put carries (the DISPID_PROPERTYPUT argument).
const VARIANT* PutValue(const DISPPARAMS* params) noexcept;

// The string script shows for a value: "undefined", "null", "true", numbers
// in the invariant form, an object's default value.
std::wstring DisplayString(const VARIANT& value);

// Calls fn(args...) as script calls a function value: DISPID 0, the method
// flag, arguments given in script order. A script exception fills exception.
HRESULT CallFunction(IDispatch* fn, const std::vector<VARIANT>& args, VARIANT* result,
                     EXCEPINFO* exception = nullptr) noexcept;

// True when both pointers are the same COM object.
bool SameObject(IUnknown* a, IUnknown* b) noexcept;

// Sets *out to a new BSTR copy of text; E_POINTER for a null out.
HRESULT ReturnBstr(std::wstring_view text, BSTR* out) noexcept;

// Properties script adds to a host object by assignment ("expandos"). The
// object's name lookup creates an entry for an unknown name so a following
// put succeeds; reading an entry that was never written gives undefined.
class ExpandoBag {
 public:
  static constexpr DISPID kFirstDispid = 0x20000;

  DISPID Ensure(const wchar_t* name);
  bool Owns(DISPID id) const noexcept {
    return id >= kFirstDispid && id < kFirstDispid + static_cast<DISPID>(entries_.size());
  }
  HRESULT Invoke(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result) noexcept;
  void Clear() noexcept { entries_.clear(); }

 private:
  struct Entry {
    std::wstring name;
    unique_variant value;
  };
  std::vector<Entry> entries_;
};

// Name lookup of a host object with a member table and expandos: a table
// name answers its DISPID, any other name becomes (or is) an expando.
template <class T>
HRESULT TableOrExpandoIds(ExpandoBag& bag, LPOLESTR* names, UINT count, DISPID* ids) noexcept {
  if (!names || !ids || count == 0) return E_INVALIDARG;
  for (UINT i = 1; i < count; ++i) ids[i] = DISPID_UNKNOWN;
  if (const auto* member = FindMember(T::Members(), names[0])) {
    ids[0] = member->id;
    return S_OK;
  }
  try {
    ids[0] = bag.Ensure(names[0]);
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

// Invocation for the same objects; the default value reads as objectName
// ("[object Document]").
template <class T>
HRESULT TableOrExpandoInvoke(T* self, ExpandoBag& bag, const wchar_t* objectName, DISPID id,
                             WORD flags, DISPPARAMS* params, VARIANT* result) noexcept {
  if (bag.Owns(id)) return bag.Invoke(id, flags, params, result);
  if (id == DISPID_VALUE && (flags & DISPATCH_PROPERTYGET) && result)
    return SetString(result, objectName);
  const auto* member = FindMember(T::Members(), id);
  if (!member) return DISP_E_MEMBERNOTFOUND;
  DispCall call{id, flags, DispArgs(params), result};
  try {
    return (self->*(member->handler))(call);
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace omb::engine
