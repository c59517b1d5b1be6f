// Numbers that page script passes to the stream and file I/O plug-ins.
//
// Script numbers arrive as 32-bit integers or doubles (and, from other host
// objects, as the other integer variants). Counts above what fits a signed
// 32-bit integer still mean "that many bytes", so counts and values are read
// through a 64-bit conversion instead of refusing a large but valid number.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <cmath>

#include "sdk/dispatch.h"

namespace omb {

// "All bytes": the count value the native stream operations read as "up to
// the end".
constexpr ULONG kAllBytes = 0xFFFFFFFFu;

// True when the argument was left out (missing, undefined or a missing
// optional parameter).
inline bool IsAbsent(const DispArgs& args, UINT i) noexcept {
  const VARTYPE vt = args.Type(i);
  return vt == VT_EMPTY || vt == VT_ERROR;
}

// The argument converted to vt with the platform's conversion.
inline HRESULT ConvertArg(const DispArgs& args, UINT i, VARTYPE vt, VARIANT* out) noexcept {
  ::VariantInit(out);
  if (i >= args.Count()) return E_INVALIDARG;
  if (FAILED(::VariantChangeType(out, const_cast<VARIANT*>(&args[i]), 0, vt))) return E_INVALIDARG;
  return S_OK;
}

// Doubles are converted here rather than by the platform, whose conversion
// refuses part of the 64-bit range under some runtimes. Rounding is to
// nearest, ties to even, as the platform's.
inline bool DoubleArg(const DispArgs& args, UINT i, double* out) noexcept {
  if (args.Type(i) != VT_R8) return false;
  *out = std::nearbyint(args[i].dblVal);
  return true;
}

inline HRESULT SignedArg(const DispArgs& args, UINT i, LONGLONG* out) noexcept {
  double d = 0;
  if (DoubleArg(args, i, &d)) {
    if (!(d >= -9223372036854775808.0 && d < 9223372036854775808.0)) return E_INVALIDARG;
    *out = static_cast<LONGLONG>(d);
    return S_OK;
  }
  VARIANT v;
  OMB_RETURN_IF_FAILED(ConvertArg(args, i, VT_I8, &v));
  *out = v.llVal;
  return S_OK;
}

inline HRESULT UnsignedArg(const DispArgs& args, UINT i, ULONGLONG* out) noexcept {
  double d = 0;
  if (DoubleArg(args, i, &d)) {
    if (!(d >= 0.0 && d < 18446744073709551616.0)) return E_INVALIDARG;
    *out = static_cast<ULONGLONG>(d);
    return S_OK;
  }
  VARIANT v;
  OMB_RETURN_IF_FAILED(ConvertArg(args, i, VT_UI8, &v));
  *out = v.ullVal;
  return S_OK;
}

// A byte count: negative counts are refused; counts beyond 32 bits mean
// "all" (kAllBytes). An explicit 0 is returned as 0 for the caller to judge.
inline HRESULT CountArg(const DispArgs& args, UINT i, ULONG* out) noexcept {
  LONGLONG n = 0;
  OMB_RETURN_IF_FAILED(SignedArg(args, i, &n));
  if (n < 0) return E_INVALIDARG;
  *out = n > static_cast<LONGLONG>(kAllBytes) ? kAllBytes : static_cast<ULONG>(n);
  return S_OK;
}

// An optional byte count: absent means kAllBytes, an explicit 0 is refused.
inline HRESULT OptionalCountArg(const DispArgs& args, UINT i, ULONG* out) noexcept {
  if (IsAbsent(args, i)) {
    *out = kAllBytes;
    return S_OK;
  }
  OMB_RETURN_IF_FAILED(CountArg(args, i, out));
  return *out == 0 ? E_INVALIDARG : S_OK;
}

inline void SetUI4(VARIANT* v, ULONG n) noexcept {
  ::VariantInit(v);
  v->vt = VT_UI4;
  v->ulVal = n;
}
inline void SetUI8(VARIANT* v, ULONGLONG n) noexcept {
  ::VariantInit(v);
  v->vt = VT_UI8;
  v->ullVal = n;
}
inline void SetR8(VARIANT* v, double d) noexcept {
  ::VariantInit(v);
  v->vt = VT_R8;
  v->dblVal = d;
}

}  // namespace omb
