// The library's description of itself: contract version 3.1, the plug-in
// name "resEditor" and flags 0 (one kept instance per window).
#pragma once

#include "sdk/com.h"
#include "sdk/omb.h"

namespace vellum {

constexpr LONG kMajorVersion = OMB::kContractMajor;
constexpr LONG kMinorVersion = 1;
constexpr const wchar_t* kPluginName = L"resEditor";

class CVersion : public omb::ComObject<CVersion, OMB::IVersion> {
 public:
  STDMETHODIMP GetVersion(LONG* major, LONG* minor) noexcept override {
    if (major) *major = kMajorVersion;
    if (minor) *minor = kMinorVersion;
    return S_OK;
  }
  STDMETHODIMP GetName(BSTR* name) noexcept override {
    if (!name) return E_POINTER;
    *name = ::SysAllocString(kPluginName);
    return *name ? S_OK : E_OUTOFMEMORY;
  }
  STDMETHODIMP GetFlags(LONG* flags) noexcept override {
    if (!flags) return E_INVALIDARG;
    *flags = 0;
    return S_OK;
  }
};

}  // namespace vellum
