// What a plug-in library needs besides its plug-in class: the version object
// that describes the library, and the answer of its CreateInterface export.
//
//   OMB_EXPORT_CREATE_INTERFACE {
//     return omb::AnswerCreateInterface<CMyPlugin>(iid, out, L"myName", /*flags*/ 0);
//   }
#pragma once

#include <type_traits>

#include "sdk/com.h"
#include "sdk/omb.h"

namespace omb {

class CPluginVersion : public ComObject<CPluginVersion, OMB::IVersion> {
 public:
  CPluginVersion(const wchar_t* name, LONG major, LONG minor, LONG flags) noexcept
      : name_(name), major_(major), minor_(minor), flags_(flags) {}

  STDMETHODIMP GetVersion(LONG* major, LONG* minor) noexcept override {
    if (major) *major = major_;
    if (minor) *minor = minor_;
    return S_OK;
  }
  STDMETHODIMP GetName(BSTR* name) noexcept override {
    if (!name) return E_POINTER;
    *name = ::SysAllocString(name_);
    return *name ? S_OK : E_OUTOFMEMORY;
  }
  STDMETHODIMP GetFlags(LONG* flags) noexcept override {
    if (!flags) return E_INVALIDARG;
    *flags = flags_;
    return S_OK;
  }

 private:
  const wchar_t* name_;
  LONG major_, minor_, flags_;
};

struct PluginDescription {
  const wchar_t* name;
  LONG flags = 0;
  LONG minor = 0;
  LONG major = OMB::kContractMajor;
};

// IID_IVersion gives the version object, IID_IPlugin a new TPlugin (none when
// TPlugin is void); anything else E_NOINTERFACE, writing only a null pointer.
template <class TPlugin>
HRESULT AnswerCreateInterface(REFIID iid, void** out, const PluginDescription& description) noexcept {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (iid == __uuidof(OMB::IVersion))
    return CreateAndQuery<CPluginVersion>(iid, out, description.name, description.major,
                                          description.minor, description.flags);
  if constexpr (!std::is_void_v<TPlugin>) {
    if (iid == __uuidof(OMB::IPlugin)) return CreateAndQuery<TPlugin>(iid, out);
  }
  return E_NOINTERFACE;
}

}  // namespace omb
