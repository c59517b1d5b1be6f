// Script objects the host builds itself.
//
// CObject is a property bag for script: members are created on first
// assignment (IDispatchEx::GetDispID with fdexNameEnsure) and never deleted.
// Member DISPIDs come from one process-wide counter shared by every CObject
// and CArray (-6001, -6002, ..., passing over CArray's own -8999 and -8998),
// and values are kept in ascending DISPID order, so enumeration yields the
// newest member first. CArray is a CObject whose elements are the members
// "0", "1", ...; it adds "push" and "length".
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <string>

#include "sdk/com.h"

class CObject : public omb::ComObject<CObject, IDispatchEx> {
 public:
  CObject() noexcept = default;

  // IDispatch
  STDMETHODIMP GetTypeInfoCount(UINT* count) noexcept override;
  STDMETHODIMP GetTypeInfo(UINT index, LCID, ITypeInfo** info) noexcept override;
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                             DISPID* ids) noexcept override;
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO*, UINT*) noexcept override;

  // IDispatchEx
  STDMETHODIMP GetDispID(BSTR name, DWORD flags, DISPID* id) noexcept override;
  STDMETHODIMP InvokeEx(DISPID id, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO*, IServiceProvider*) noexcept override;
  STDMETHODIMP DeleteMemberByName(BSTR, DWORD) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP DeleteMemberByDispID(DISPID) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP GetMemberProperties(DISPID, DWORD, DWORD*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP GetMemberName(DISPID id, BSTR* name) noexcept override;
  STDMETHODIMP GetNextDispID(DWORD flags, DISPID id, DISPID* next) noexcept override;
  STDMETHODIMP GetNameSpaceParent(IUnknown**) noexcept override { return E_NOTIMPL; }

  // Host-side shortcut for GetDispID(name, fdexNameEnsure) and a put.
  [[nodiscard]] HRESULT SetMember(const wchar_t* name, const VARIANT& value) noexcept;
  // Number of members, named and indexed alike.
  size_t Count() const noexcept { return values_.size(); }

 protected:
  // The stored value of a member: a deep copy, except VT_PTR which is kept as
  // the raw pointer (what it points to is neither copied nor freed). A
  // by-reference value (VT_BYREF) is stored as the value it refers to.
  class Value {
   public:
    Value() noexcept { ::VariantInit(&v_); }
    Value(const Value&) = delete;
    Value& operator=(const Value&) = delete;
    ~Value() { Clear(); }
    HRESULT Assign(const VARIANT& src) noexcept;
    HRESULT CopyTo(VARIANT* dst) const noexcept;

   private:
    static HRESULT Copy(VARIANT* dst, const VARIANT& src) noexcept;
    void Clear() noexcept;
    VARIANT v_;
  };

  HRESULT Put(DISPID id, const VARIANT& value) noexcept;
  HRESULT EnsureMember(const wchar_t* name, DISPID* id) noexcept;

 private:
  std::map<std::wstring, DISPID, std::less<>> names_;
  std::map<DISPID, Value> values_;
};

class CArray : public CObject {
 public:
  static constexpr DISPID kPushId = -8999;
  static constexpr DISPID kLengthId = -8998;

  STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid,
                             DISPID* ids) noexcept override;
  STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params,
                      VARIANT* result, EXCEPINFO* excep, UINT* argErr) noexcept override;

  // Stores value as the member named by the current count ("%d"); like the
  // script method, it succeeds whatever happens.
  HRESULT Push(const VARIANT& value) noexcept;
};

// A new empty script object for kind "object" (CObject) or "array" (CArray),
// compared case-insensitively, as IDispatch with one reference.
// E_INVALIDARG for a null out pointer; E_NOINTERFACE for any other kind.
[[nodiscard]] HRESULT CreateScriptObject(const wchar_t* kind, IDispatch** out) noexcept;
