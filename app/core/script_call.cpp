#include "app/core/script_call.h"

#include <cwchar>
#include <iterator>
#include <memory>
#include <new>

namespace {

HRESULT LookUp(IDispatch* obj, const wchar_t* name, DISPID* id) noexcept {
  if (!obj || !name) return E_POINTER;
  LPOLESTR names[1] = {const_cast<LPOLESTR>(name)};
  return obj->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, id);
}

bool IsByReferenceValue(const VARIANT& value) noexcept {
  return value.vt == VT_DISPATCH || value.vt == VT_UNKNOWN || (value.vt & VT_ARRAY) != 0 ||
         (value.vt & VT_BYREF) != 0;
}

VARIANT Arg(VARTYPE vt) noexcept {
  VARIANT v;
  ::VariantInit(&v);
  v.vt = vt;
  return v;
}

}  // namespace

// ---------------------------------------------------------------------------
// Members

HRESULT ReadMember(IDispatch* obj, const wchar_t* name, VARIANT* out) noexcept {
  if (!out) return E_POINTER;
  ::VariantInit(out);
  DISPID id = DISPID_UNKNOWN;
  OMB_RETURN_IF_FAILED(LookUp(obj, name, &id));
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  const HRESULT hr = obj->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none,
                                 out, nullptr, nullptr);
  if (FAILED(hr)) {
    ::VariantClear(out);
    ::VariantInit(out);
  }
  return hr;
}

HRESULT WriteMember(IDispatch* obj, DISPID id, const VARIANT& value) noexcept {
  if (!obj) return E_POINTER;
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS params = {const_cast<VARIANT*>(&value), &named, 1, 1};
  if (IsByReferenceValue(value)) {
    const HRESULT hr = obj->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUTREF,
                                   &params, nullptr, nullptr, nullptr);
    if (SUCCEEDED(hr)) return hr;
  }
  return obj->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &params, nullptr,
                     nullptr, nullptr);
}

HRESULT WriteMemberByName(IDispatch* obj, const wchar_t* name, const VARIANT& value) noexcept {
  if (!obj || !name) return E_POINTER;
  DISPID id = DISPID_UNKNOWN;
  ComPtr<IDispatchEx> growable;
  if (SUCCEEDED(obj->QueryInterface(IID_PPV_ARGS(&growable)))) {
    omb::unique_bstr bstrName(::SysAllocString(name));
    if (!bstrName) return E_OUTOFMEMORY;
    OMB_RETURN_IF_FAILED(growable->GetDispID(bstrName.get(), fdexNameEnsure, &id));
  } else {
    OMB_RETURN_IF_FAILED(LookUp(obj, name, &id));
  }
  return WriteMember(obj, id, value);
}

HRESULT ArrayPush(IDispatch* array, const VARIANT& value) noexcept {
  DISPID id = DISPID_UNKNOWN;
  OMB_RETURN_IF_FAILED(LookUp(array, L"push", &id));
  DISPPARAMS params = {const_cast<VARIANT*>(&value), nullptr, 1, 0};
  return array->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr,
                       nullptr, nullptr);
}

// ---------------------------------------------------------------------------
// Typed option readers

bool OptionString(IDispatch* options, const wchar_t* name, omb::unique_bstr* out) noexcept {
  out->reset();
  omb::unique_variant value;
  ReadMember(options, name, value.put());
  if (value.vt() != VT_BSTR) return false;
  out->reset(value->bstrVal ? value->bstrVal : ::SysAllocString(L""));
  value->vt = VT_EMPTY;  // the string now belongs to *out
  return static_cast<bool>(*out);
}

bool OptionBool(IDispatch* options, const wchar_t* name, bool fallback) noexcept {
  omb::unique_variant value;
  ReadMember(options, name, value.put());
  return value.vt() == VT_BOOL ? omb::IsTrue(*value) : fallback;
}

std::optional<LONG> OptionInt(IDispatch* options, const wchar_t* name) noexcept {
  omb::unique_variant value;
  ReadMember(options, name, value.put());
  if (value.vt() != VT_I4) return std::nullopt;
  return value->lVal;
}

std::optional<LONG> OptionNumber(IDispatch* options, const wchar_t* name) noexcept {
  omb::unique_variant value;
  if (FAILED(OptionConvert(options, name, VT_I4, value.put()))) return std::nullopt;
  return value->lVal;
}

HRESULT OptionConvert(IDispatch* options, const wchar_t* name, VARTYPE vt, VARIANT* out) noexcept {
  if (!out) return E_POINTER;
  ::VariantInit(out);
  omb::unique_variant value;
  ReadMember(options, name, value.put());
  if (value.vt() == VT_EMPTY) return E_INVALIDARG;
  return ::VariantChangeType(out, value.get(), 0, vt);
}

ComPtr<IDispatch> OptionFunction(IDispatch* options, const wchar_t* name) noexcept {
  omb::unique_variant value;
  ReadMember(options, name, value.put());
  ComPtr<IDispatch> fn;
  if (value.vt() == VT_DISPATCH) {
    fn = value->pdispVal;
  } else if (value.vt() == VT_UNKNOWN && value->punkVal) {
    ComPtr<IStream> stream;
    if (SUCCEEDED(value->punkVal->QueryInterface(IID_PPV_ARGS(&stream))))
      ::CoGetInterfaceAndReleaseStream(stream.Detach(), IID_PPV_ARGS(&fn));
  }
  return fn;
}

// ---------------------------------------------------------------------------
// Calling script functions

VARIANT ArgI4(LONG value) noexcept {
  VARIANT v = Arg(VT_I4);
  v.lVal = value;
  return v;
}
VARIANT ArgUI4(ULONG value) noexcept {
  VARIANT v = Arg(VT_UI4);
  v.ulVal = value;
  return v;
}
VARIANT ArgUI8(ULONGLONG value) noexcept {
  VARIANT v = Arg(VT_UI8);
  v.ullVal = value;
  return v;
}
VARIANT ArgDouble(double value) noexcept {
  VARIANT v = Arg(VT_R8);
  v.dblVal = value;
  return v;
}
VARIANT ArgBool(bool value) noexcept {
  VARIANT v = Arg(VT_BOOL);
  v.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
  return v;
}
VARIANT ArgString(BSTR value) noexcept {
  VARIANT v = Arg(VT_BSTR);
  v.bstrVal = value;
  return v;
}
VARIANT ArgObject(IDispatch* value) noexcept {
  VARIANT v = Arg(VT_DISPATCH);
  v.pdispVal = value;
  return v;
}
VARIANT ArgNull() noexcept { return Arg(VT_NULL); }

// The argument array holds the values last-first: the context is element 0.
// They are bitwise copies; the callee does not own [in] arguments.
HRESULT CallScript(IDispatch* fn, std::span<const VARIANT> args, const VARIANT& context,
                   VARIANT* result) noexcept {
  if (!fn) return S_FALSE;
  const size_t count = args.size() + 1;
  VARIANT local[8];
  std::unique_ptr<VARIANT[]> heap;
  VARIANT* argv = local;
  if (count > std::size(local)) {
    heap.reset(new (std::nothrow) VARIANT[count]);
    if (!heap) return E_OUTOFMEMORY;
    argv = heap.get();
  }
  argv[0] = context;
  for (size_t i = 1; i < count; ++i) argv[i] = args[count - 1 - i];
  DISPPARAMS params = {argv, nullptr, static_cast<UINT>(count), 0};
  return fn->Invoke(DISPID_VALUE, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result,
                    nullptr, nullptr);
}

HRESULT CallScript(IDispatch* fn, std::initializer_list<VARIANT> args, const VARIANT& context,
                   VARIANT* result) noexcept {
  return CallScript(fn, std::span<const VARIANT>(args.begin(), args.size()), context, result);
}

HRESULT CallOption(IDispatch* options, const wchar_t* name, std::initializer_list<VARIANT> args,
                   VARIANT* result) noexcept {
  const ComPtr<IDispatch> fn = OptionFunction(options, name);
  if (!fn) return S_FALSE;
  omb::unique_variant context;
  ReadMember(options, L"context", context.put());
  return CallScript(fn.Get(), args, *context, result);
}

// ---------------------------------------------------------------------------
// CScriptCallbacks

CScriptCallbacks::CScriptCallbacks() noexcept = default;

CScriptCallbacks::CScriptCallbacks(IDispatch* options,
                                   std::initializer_list<const wchar_t*> functions) noexcept {
  for (const wchar_t* name : functions) Set(name, OptionFunction(options, name).Get());
  ReadMember(options, L"context", context_.put());
}

HRESULT CScriptCallbacks::Set(const wchar_t* name, IDispatch* object) noexcept {
  if (!name) return E_INVALIDARG;
  if (!object) return S_FALSE;
  for (size_t i = 0; i < count_; ++i) {
    if (wcscmp(entries_[i].name, name) == 0) {
      entries_[i].object = object;
      return S_OK;
    }
  }
  if (count_ == kMaxEntries) return E_OUTOFMEMORY;
  entries_[count_].name = name;
  entries_[count_].object = object;
  ++count_;
  return S_OK;
}

HRESULT CScriptCallbacks::SetContext(const VARIANT& context) noexcept {
  return context_.CopyFrom(context);
}

IDispatch* CScriptCallbacks::Get(const wchar_t* name) const noexcept {
  if (!name) return nullptr;
  for (const Entry& entry : Entries())
    if (wcscmp(entry.name, name) == 0) return entry.object.Get();
  return nullptr;
}

HRESULT CScriptCallbacks::Call(const wchar_t* name, std::initializer_list<VARIANT> args,
                               VARIANT* result) const noexcept {
  return CallScript(Get(name), args, Context(), result);
}
