#include "app/core/script_object.h"

#include <cwchar>
#include <new>

#include "sdk/dispatch.h"
#include "sdk/trace.h"

namespace {

// Member DISPIDs of every CObject and CArray: -6001, -6002, ..., passing
// over the ids of CArray's own "push" and "length", which the counter reaches
// after some 3,000 members: a member with one of them would be unreachable.
DISPID NextMemberId() noexcept {
  static LONG counter = -6000;
  for (;;) {
    const DISPID id = static_cast<DISPID>(::InterlockedDecrement(&counter));
    if (id != CArray::kPushId && id != CArray::kLengthId) return id;
  }
}

}  // namespace

// ---------------------------------------------------------------------------
// CObject::Value

// A by-reference value points into its caller's storage, which does not
// outlive the call: what it points to is stored instead.
HRESULT CObject::Value::Copy(VARIANT* dst, const VARIANT& src) noexcept {
  ::VariantInit(dst);
  if (src.vt == VT_PTR) {
    *dst = src;
    return S_OK;
  }
  if (src.vt & VT_BYREF) {
    if (!src.byref) return E_INVALIDARG;
    return ::VariantCopyInd(dst, const_cast<VARIANT*>(&src));
  }
  return ::VariantCopy(dst, const_cast<VARIANT*>(&src));
}

void CObject::Value::Clear() noexcept {
  if (v_.vt != VT_PTR) ::VariantClear(&v_);
  ::VariantInit(&v_);
}

// Copies first, so assigning a member its own value or a failed copy leaves
// the old value intact.
HRESULT CObject::Value::Assign(const VARIANT& src) noexcept {
  VARIANT copy;
  OMB_RETURN_IF_FAILED(Copy(&copy, src));
  Clear();
  v_ = copy;
  return S_OK;
}

HRESULT CObject::Value::CopyTo(VARIANT* dst) const noexcept { return Copy(dst, v_); }

// ---------------------------------------------------------------------------
// CObject

STDMETHODIMP CObject::GetTypeInfoCount(UINT* count) noexcept {
  if (!count) return E_POINTER;
  *count = 1;
  return S_OK;
}

// No type library is provided.
STDMETHODIMP CObject::GetTypeInfo(UINT index, LCID, ITypeInfo** info) noexcept {
  if (!info) return E_POINTER;
  *info = nullptr;
  return index == 0 ? TYPE_E_ELEMENTNOTFOUND : DISP_E_BADINDEX;
}

// Only the first name is looked up, case-sensitively.
STDMETHODIMP CObject::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                    DISPID* ids) noexcept {
  if (!ids || !names || count == 0) return E_INVALIDARG;
  for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
  const auto found = names_.find(std::wstring_view(names[0] ? names[0] : L""));
  if (found == names_.end()) return DISP_E_UNKNOWNNAME;
  ids[0] = found->second;
  return S_OK;
}

// Nothing is callable: a get (which wins over every other flag) answers a copy
// of the value, a put replaces it.
STDMETHODIMP CObject::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                             VARIANT* result, EXCEPINFO*, UINT*) noexcept {
  const auto member = values_.find(id);
  if (member == values_.end()) return E_INVALIDARG;
  if (flags & DISPATCH_PROPERTYGET) {
    if (!result) return E_INVALIDARG;
    return member->second.CopyTo(result);
  }
  if (flags & DISPATCH_PROPERTYPUT) {
    if (!params || params->cArgs == 0 || !params->rgvarg) return E_INVALIDARG;
    return member->second.Assign(params->rgvarg[0]);
  }
  return E_NOTIMPL;
}

STDMETHODIMP CObject::GetDispID(BSTR name, DWORD flags, DISPID* id) noexcept {
  if (!id) return E_INVALIDARG;
  LPOLESTR names[1] = {name ? name : const_cast<LPOLESTR>(L"")};
  // Through the virtual lookup, so a CArray's own names are found here too.
  const HRESULT hr = GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, id);
  if (hr != DISP_E_UNKNOWNNAME || (flags & fdexNameEnsure) == 0) return hr;
  return EnsureMember(names[0], id);
}

STDMETHODIMP CObject::InvokeEx(DISPID id, LCID lcid, WORD flags, DISPPARAMS* params,
                               VARIANT* result, EXCEPINFO* excep, IServiceProvider*) noexcept {
  return Invoke(id, IID_NULL, lcid, flags, params, result, excep, nullptr);
}

STDMETHODIMP CObject::GetMemberName(DISPID id, BSTR* name) noexcept {
  if (!name) return E_POINTER;
  *name = nullptr;
  for (const auto& [memberName, memberId] : names_) {
    if (memberId != id) continue;
    *name = ::SysAllocStringLen(memberName.data(), static_cast<UINT>(memberName.size()));
    return *name ? S_OK : E_OUTOFMEMORY;
  }
  return DISP_E_UNKNOWNNAME;
}

// Ascending DISPID order, which is newest member first. A DISPID that is not
// a member ends the enumeration.
STDMETHODIMP CObject::GetNextDispID(DWORD, DISPID id, DISPID* next) noexcept {
  if (!next) return E_INVALIDARG;
  *next = DISPID_UNKNOWN;
  auto member = values_.end();
  if (id == DISPID_STARTENUM) {
    member = values_.begin();
  } else {
    member = values_.find(id);
    if (member != values_.end()) ++member;
  }
  if (member == values_.end()) return S_FALSE;
  *next = member->first;
  return S_OK;
}

HRESULT CObject::SetMember(const wchar_t* name, const VARIANT& value) noexcept {
  DISPID id = DISPID_UNKNOWN;
  OMB_RETURN_IF_FAILED(GetDispID(const_cast<BSTR>(name), fdexNameEnsure, &id));
  return Put(id, value);
}

// The property-put of Invoke, with value as the single named argument.
HRESULT CObject::Put(DISPID id, const VARIANT& value) noexcept {
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS params = {const_cast<VARIANT*>(&value), &named, 1, 1};
  return Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &params, nullptr, nullptr,
                nullptr);
}

HRESULT CObject::EnsureMember(const wchar_t* name, DISPID* id) noexcept {
  const DISPID newId = NextMemberId();
  try {
    const auto inserted = names_.emplace(name, newId);
    try {
      values_.try_emplace(newId);
    } catch (...) {
      names_.erase(inserted.first);
      throw;
    }
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
  *id = newId;
  return S_OK;
}

// ---------------------------------------------------------------------------
// CArray

STDMETHODIMP CArray::GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid,
                                   DISPID* ids) noexcept {
  if (ids && names && count > 0 && names[0]) {
    DISPID own = DISPID_UNKNOWN;
    if (wcscmp(names[0], L"push") == 0) own = kPushId;
    if (wcscmp(names[0], L"length") == 0) own = kLengthId;
    if (own != DISPID_UNKNOWN) {
      for (UINT i = 1; i < count; ++i) ids[i] = DISPID_UNKNOWN;
      ids[0] = own;
      return S_OK;
    }
  }
  return CObject::GetIDsOfNames(iid, names, count, lcid, ids);
}

STDMETHODIMP CArray::Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params,
                            VARIANT* result, EXCEPINFO* excep, UINT* argErr) noexcept {
  if (id == kPushId) {
    const omb::DispArgs args(params);
    if (args.Count() > 0) Push(args[0]);
    return S_OK;
  }
  if (id == kLengthId) {
    if ((flags & DISPATCH_PROPERTYGET) == 0 || !result) return E_INVALIDARG;
    ::VariantInit(result);
    result->vt = VT_UI8;
    result->ullVal = Count();
    return S_OK;
  }
  return CObject::Invoke(id, iid, lcid, flags, params, result, excep, argErr);
}

HRESULT CArray::Push(const VARIANT& value) noexcept {
  try {
    const std::wstring name = std::to_wstring(Count());
    DISPID id = DISPID_UNKNOWN;
    if (SUCCEEDED(GetDispID(const_cast<BSTR>(name.c_str()), fdexNameEnsure, &id)))
      Put(id, value);
  } catch (...) {
    OMB_TRACE(omb::kTraceErrors, "CArray::Push", L"Out of memory.");
  }
  return S_OK;
}

// ---------------------------------------------------------------------------

HRESULT CreateScriptObject(const wchar_t* kind, IDispatch** out) noexcept {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  if (!kind) return E_NOINTERFACE;
  // The new object's own first reference is the one handed out.
  CObject* object = nullptr;
  if (::CompareStringOrdinal(kind, -1, L"object", -1, TRUE) == CSTR_EQUAL)
    object = new (std::nothrow) CObject();
  else if (::CompareStringOrdinal(kind, -1, L"array", -1, TRUE) == CSTR_EQUAL)
    object = new (std::nothrow) CArray();
  else
    return E_NOINTERFACE;
  if (!object) return E_OUTOFMEMORY;
  *out = object;
  return S_OK;
}
