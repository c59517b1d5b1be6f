// Reading, writing and calling members of script objects.
//
// Option objects are read by name; a value of another type than the one
// asked for counts as absent. Script functions are called as
// fn(args..., context): DISPID 0, the user's default locale, the method flag,
// arguments passed last-first as dispatch requires, no exception information.
// Everything here runs on the thread that owns the objects (the user-interface
// thread); worker threads use CJob (job.h).
#pragma once

#include <array>
#include <cstddef>
#include <initializer_list>
#include <optional>
#include <span>

#include "sdk/com.h"

// ---------------------------------------------------------------------------
// Members

// Reads obj[name] (GetIDsOfNames, then a property get with no arguments).
// *out is initialised first (pass an empty variant); on failure it stays
// VT_EMPTY, which callers treat as an absent option.
HRESULT ReadMember(IDispatch* obj, const wchar_t* name, VARIANT* out) noexcept;

// Writes obj[id] = value with DISPID_PROPERTYPUT as the one named argument.
// Objects, arrays and references are first offered by reference
// (DISPATCH_PROPERTYPUTREF); when that fails, or for other values, a plain put.
HRESULT WriteMember(IDispatch* obj, DISPID id, const VARIANT& value) noexcept;

// Writes obj[name] = value on an object that can grow (CObject, the page's
// script engine): IDispatchEx::GetDispID with fdexNameEnsure, then WriteMember.
// An object without IDispatchEx can only have existing members written.
HRESULT WriteMemberByName(IDispatch* obj, const wchar_t* name, const VARIANT& value) noexcept;

// Calls array.push(value) on a script array (CArray or the script engine's).
HRESULT ArrayPush(IDispatch* array, const VARIANT& value) noexcept;

// ---------------------------------------------------------------------------
// Typed option readers

// A string option (VT_BSTR); false, with *out empty, when absent or not a
// string. On success *out is never null (a null BSTR becomes "").
bool OptionString(IDispatch* options, const wchar_t* name, omb::unique_bstr* out) noexcept;
// A boolean option (VT_BOOL, true only as VARIANT_TRUE); fallback otherwise.
bool OptionBool(IDispatch* options, const wchar_t* name, bool fallback) noexcept;
// Exactly a 32-bit integer (VT_I4).
std::optional<LONG> OptionInt(IDispatch* options, const wchar_t* name) noexcept;
// Any present value that the platform's conversion turns into a 32-bit integer.
std::optional<LONG> OptionNumber(IDispatch* options, const wchar_t* name) noexcept;
// Any present value converted to vt (VariantChangeType); *out is initialised
// first. E_INVALIDARG when absent; the conversion's failure otherwise.
HRESULT OptionConvert(IDispatch* options, const wchar_t* name, VARTYPE vt, VARIANT* out) noexcept;
// A function or object: VT_DISPATCH is used directly; VT_UNKNOWN is taken to
// be a marshalled function (an IStream) and unmarshalled as IDispatch, which
// consumes the stream. Null when absent or of another type.
ComPtr<IDispatch> OptionFunction(IDispatch* options, const wchar_t* name) noexcept;

// ---------------------------------------------------------------------------
// Calling script functions

// Argument values for calls. They borrow: the caller keeps ownership of
// strings and objects until the call returns. ArgString needs a real BSTR
// (SysAllocString), not a literal, since a marshalled call reads its length.
VARIANT ArgI4(LONG value) noexcept;
VARIANT ArgUI4(ULONG value) noexcept;
VARIANT ArgUI8(ULONGLONG value) noexcept;
VARIANT ArgDouble(double value) noexcept;
VARIANT ArgBool(bool value) noexcept;
VARIANT ArgString(BSTR value) noexcept;
VARIANT ArgObject(IDispatch* value) noexcept;
VARIANT ArgNull() noexcept;

// Calls fn(args..., context). S_FALSE without calling when fn is null;
// otherwise Invoke's answer (a script exception is only a failed result).
// result, when given, receives the function's answer (pass an empty variant).
HRESULT CallScript(IDispatch* fn, std::span<const VARIANT> args, const VARIANT& context,
                   VARIANT* result = nullptr) noexcept;
HRESULT CallScript(IDispatch* fn, std::initializer_list<VARIANT> args, const VARIANT& context,
                   VARIANT* result = nullptr) noexcept;

// Reads the function option name and "context" from options and calls
// name(args..., context); S_FALSE when the option is not a function.
HRESULT CallOption(IDispatch* options, const wchar_t* name, std::initializer_list<VARIANT> args,
                   VARIANT* result = nullptr) noexcept;

// The functions an operation will call, with the "context" option, read once
// from an option object. A worker job is started from such a set (StartJob in
// job.h); on the owning thread the functions can be called directly, for
// example to report a failure to start before the method returns.
class CScriptCallbacks {
 public:
  static constexpr size_t kMaxEntries = 8;
  struct Entry {
    const wchar_t* name = nullptr;  // names are string literals, never copied
    ComPtr<IDispatch> object;
  };

  CScriptCallbacks() noexcept;
  // Reads each named option that holds a function (OptionFunction) and
  // "context" (ReadMember).
  CScriptCallbacks(IDispatch* options, std::initializer_list<const wchar_t*> functions) noexcept;
  CScriptCallbacks(const CScriptCallbacks&) = delete;
  CScriptCallbacks& operator=(const CScriptCallbacks&) = delete;

  // Adds or replaces an entry; a null object is ignored (S_FALSE). Besides
  // functions, any object a job needs on its worker can be added (for example
  // the option object itself). E_OUTOFMEMORY beyond kMaxEntries.
  HRESULT Set(const wchar_t* name, IDispatch* object) noexcept;
  HRESULT SetContext(const VARIANT& context) noexcept;

  bool Has(const wchar_t* name) const noexcept { return Get(name) != nullptr; }
  IDispatch* Get(const wchar_t* name) const noexcept;
  const VARIANT& Context() const noexcept { return *context_; }
  std::span<const Entry> Entries() const noexcept { return {entries_.data(), count_}; }

  // name(args..., context) on this thread; S_FALSE when name is absent.
  HRESULT Call(const wchar_t* name, std::initializer_list<VARIANT> args,
               VARIANT* result = nullptr) const noexcept;

 private:
  std::array<Entry, kMaxEntries> entries_;
  size_t count_ = 0;
  omb::unique_variant context_;
};
