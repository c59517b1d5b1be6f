// Table-driven IDispatch for plug-ins.
//
// A plug-in lists its script names once, as a static table of
// {DISPID, name, handler}; DispatchTable looks names up case-sensitively,
// writes the "Not implement name: %s" trace for unknown ones, routes Invoke to
// the member's handler and hides the reversed argument array behind DispArgs.
// Each plug-in then reads as its table plus one short function per member.
//
//   class CFooPlugin : public omb::ComObject<CFooPlugin, OMB::IPluginImpl<CFooPlugin>,
//                                            omb::DispatchTable<CFooPlugin>> {
//    public:
//     static constexpr const char* kClassName = "CFooPlugin";
//     static std::span<const omb::DispMember<CFooPlugin>> Members() noexcept;
//     HRESULT Bar(omb::DispCall& call);
//   };
//
// Policies a plug-in may declare where its result codes differ:
//   static constexpr bool kTypeInfoNotImplemented = true;
//       the type-information calls write a category-1 trace line and answer
//       E_NOTIMPL (default: one type-information object, none provided);
//   static constexpr HRESULT kUnknownMemberResult = E_NOTIMPL;
//       Invoke of a DISPID that is not in the table (default
//       DISP_E_MEMBERNOTFOUND);
//   static constexpr bool kTraceUnknownNames = false;
//       an unknown name answers DISP_E_UNKNOWNNAME without the trace line.
#pragma once

#include <span>
#include <string>

#include "sdk/com.h"
#include "sdk/trace.h"

namespace omb {

// The arguments of one call in script order: args[0] is the first argument
// script passed (the platform's array holds them last-first).
class DispArgs {
 public:
  explicit DispArgs(const DISPPARAMS* params) noexcept : params_(params) {}

  UINT Count() const noexcept { return params_ ? params_->cArgs : 0; }

  // The argument as script gave it; a by-reference variant is followed.
  const VARIANT& operator[](UINT i) const noexcept {
    const VARIANT& v = params_->rgvarg[params_->cArgs - 1 - i];
    if (v.vt == (VT_BYREF | VT_VARIANT) && v.pvarVal) return *v.pvarVal;
    return v;
  }
  VARTYPE Type(UINT i) const noexcept { return i < Count() ? (*this)[i].vt : static_cast<VARTYPE>(VT_EMPTY); }

  // Typed reads: E_INVALIDARG when the argument is missing or of another type.
  HRESULT String(UINT i, const wchar_t** out, UINT* length = nullptr) const noexcept {
    if (Type(i) != VT_BSTR) return E_INVALIDARG;
    BSTR s = (*this)[i].bstrVal;
    *out = s ? s : L"";
    if (length) *length = ::SysStringLen(s);
    return S_OK;
  }
  HRESULT Bool(UINT i, bool* out) const noexcept {
    if (Type(i) != VT_BOOL) return E_INVALIDARG;
    *out = IsTrue((*this)[i]);
    return S_OK;
  }
  // Exactly a 32-bit integer.
  HRESULT Int(UINT i, LONG* out) const noexcept {
    if (Type(i) != VT_I4) return E_INVALIDARG;
    *out = (*this)[i].lVal;
    return S_OK;
  }
  // Any value that converts to a 32-bit integer.
  HRESULT Number(UINT i, LONG* out) const noexcept {
    if (i >= Count()) return E_INVALIDARG;
    VARIANT converted;
    ::VariantInit(&converted);
    if (FAILED(::VariantChangeType(&converted, const_cast<VARIANT*>(&(*this)[i]), 0, VT_I4)))
      return E_INVALIDARG;
    *out = converted.lVal;
    return S_OK;
  }
  // An object (VT_DISPATCH, not null). No reference is added.
  HRESULT Object(UINT i, IDispatch** out) const noexcept {
    if (Type(i) != VT_DISPATCH || !(*this)[i].pdispVal) return E_INVALIDARG;
    *out = (*this)[i].pdispVal;
    return S_OK;
  }

 private:
  const DISPPARAMS* params_;
};

// One call routed to a member handler. Results are written only when the
// caller asked for one.
struct DispCall {
  DISPID id;
  WORD flags;
  DispArgs args;
  VARIANT* result;

  bool IsMethod() const noexcept { return (flags & DISPATCH_METHOD) != 0; }
  bool IsGet() const noexcept { return (flags & DISPATCH_PROPERTYGET) != 0; }
  bool IsPut() const noexcept { return (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0; }
  bool WantsResult() const noexcept { return result != nullptr; }

  HRESULT ReturnBool(bool b) noexcept {
    if (result) SetBool(result, b);
    return S_OK;
  }
  HRESULT ReturnInt(LONG n) noexcept {
    if (result) SetI4(result, n);
    return S_OK;
  }
  HRESULT ReturnString(const wchar_t* s) noexcept { return result ? SetString(result, s) : S_OK; }
  HRESULT ReturnString(const wchar_t* s, UINT length) noexcept {
    return result ? SetString(result, s, length) : S_OK;
  }
  // Hands a new reference to obj to the caller (null gives a null object).
  HRESULT ReturnDispatch(IDispatch* obj) noexcept {
    if (result) SetDispatch(result, obj);
    return S_OK;
  }
  HRESULT ReturnCopy(const VARIANT& v) noexcept {
    if (!result) return S_OK;
    ::VariantInit(result);
    return ::VariantCopy(result, const_cast<VARIANT*>(&v));
  }
  HRESULT ReturnNull() noexcept {
    if (result) {
      ::VariantInit(result);
      result->vt = VT_NULL;
    }
    return S_OK;
  }
};

template <class T>
struct DispMember {
  DISPID id;
  const wchar_t* name;
  HRESULT (T::*handler)(DispCall& call);
};

// Code-unit equality of two terminated wide strings. Script engines look a
// name up before every call, so the comparison stays inline: most table
// entries differ from the asked name in their first character.
inline bool SameName(const wchar_t* a, const wchar_t* b) noexcept {
  while (*a == *b) {
    if (*a == L'\0') return true;
    ++a;
    ++b;
  }
  return false;
}

// Finds a member by name (case-sensitive) or by DISPID; null when absent.
template <class T>
const DispMember<T>* FindMember(std::span<const DispMember<T>> table, const wchar_t* name) noexcept {
  if (!name) return nullptr;
  for (const auto& m : table)
    if (SameName(m.name, name)) return &m;
  return nullptr;
}
template <class T>
const DispMember<T>* FindMember(std::span<const DispMember<T>> table, DISPID id) noexcept {
  // Tables count their DISPIDs up from the first entry's: the entry at the
  // distance from the first DISPID is tried before the whole table.
  if (!table.empty() && id >= table.front().id) {
    const auto at = static_cast<size_t>(static_cast<LONG64>(id) - table.front().id);
    if (at < table.size() && table[at].id == id) return &table[at];
  }
  for (const auto& m : table)
    if (m.id == id) return &m;
  return nullptr;
}

// Writes the trace line for a name that a dispatch table does not know.
inline void TraceUnknownName(const char* className, const wchar_t* name) noexcept {
  if ((Logger().flags & kTraceErrors) == 0) return;
  std::string method;
  try {
    method = std::string(className) + "::GetIDsOfNames";
  } catch (...) {
    return;
  }
  OMB_TRACE(kTraceErrors, method.c_str(), L"Not implement name: %s", name ? name : L"");
}

// Writes a category-1 trace line naming "<className><method>".
inline void TraceCall(const char* className, const char* method) noexcept {
  if ((Logger().flags & kTraceCalls) == 0) return;
  try {
    const std::string name = std::string(className) + method;
    OMB_TRACE(kTraceCalls, name.c_str(), nullptr);
  } catch (...) {
  }
}

template <class Derived>
class DispatchTable : public IDispatch {
 public:
  using ComInterface = IDispatch;

  STDMETHODIMP GetTypeInfoCount(UINT* count) noexcept override {
    if constexpr (TypeInfoNotImplemented()) {
      TraceCall(Derived::kClassName, "::GetTypeInfoCount");
      return E_NOTIMPL;
    }
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
  }
  // No type library is provided.
  STDMETHODIMP GetTypeInfo(UINT index, LCID, ITypeInfo** info) noexcept override {
    if constexpr (TypeInfoNotImplemented()) {
      TraceCall(Derived::kClassName, "::GetTypeInfo");
      return E_NOTIMPL;
    }
    if (!info) return E_POINTER;
    *info = nullptr;
    return index == 0 ? TYPE_E_ELEMENTNOTFOUND : DISP_E_BADINDEX;
  }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                             DISPID* ids) noexcept override {
    if (!names || !ids || count == 0) return E_INVALIDARG;
    for (UINT i = 1; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    const auto* member = FindMember(Derived::Members(), names[0]);
    if (!member) {
      ids[0] = DISPID_UNKNOWN;
      if constexpr (TraceUnknownNames()) TraceUnknownName(Derived::kClassName, names[0]);
      return DISP_E_UNKNOWNNAME;
    }
    ids[0] = member->id;
    return S_OK;
  }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO*, UINT*) noexcept override {
    const auto* member = FindMember(Derived::Members(), id);
    if (!member) return UnknownMemberResult();
    DispCall call{id, flags, DispArgs(params), result};
    try {
      return (static_cast<Derived*>(this)->*(member->handler))(call);
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    } catch (...) {
      return E_UNEXPECTED;
    }
  }

 private:
  static constexpr bool TypeInfoNotImplemented() noexcept {
    if constexpr (requires { Derived::kTypeInfoNotImplemented; })
      return Derived::kTypeInfoNotImplemented;
    else
      return false;
  }
  static constexpr bool TraceUnknownNames() noexcept {
    if constexpr (requires { Derived::kTraceUnknownNames; })
      return Derived::kTraceUnknownNames;
    else
      return true;
  }
  static constexpr HRESULT UnknownMemberResult() noexcept {
    if constexpr (requires { Derived::kUnknownMemberResult; })
      return Derived::kUnknownMemberResult;
    else
      return DISP_E_MEMBERNOTFOUND;
  }
};

// IDispatch for objects that are only ever called by DISPID (functions handed
// to script or to a plug-in, event sinks): no type information and no names.
// The derived class implements Invoke:
//
//   class CDone : public omb::ComObject<CDone, omb::InvokeOnly> {
//     STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*,
//                         EXCEPINFO*, UINT*) noexcept override;
//   };
class InvokeOnly : public IDispatch {
 public:
  using ComInterface = IDispatch;

  STDMETHODIMP GetTypeInfoCount(UINT* count) noexcept override {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) noexcept override {
    if (info) *info = nullptr;
    return DISP_E_BADINDEX;
  }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT count, LCID, DISPID* ids) noexcept override {
    for (UINT i = 0; ids && i < count; ++i) ids[i] = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
  }
};

}  // namespace omb
