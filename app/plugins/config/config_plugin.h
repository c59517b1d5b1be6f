// "config": the application's settings store, chosen by "init": values under
// HKEY_CURRENT_USER\Software\<application name>, or in an INI file. The
// registry forms of the members take a value path ("group\name"), the INI
// forms a section and a key. A fresh object, with no store, is made for every
// read of the member.
#pragma once

#include <span>
#include <string>

#include "sdk/com.h"
#include "sdk/dispatch.h"
#include "sdk/omb.h"

namespace omb {

class CConfigPlugin : public ComObject<CConfigPlugin, OMB::IPluginImpl<CConfigPlugin>,
                                       DispatchTable<CConfigPlugin>> {
 public:
  static constexpr const char* kClassName = "CConfigPlugin";
  static std::span<const DispMember<CConfigPlugin>> Members() noexcept;

  STDMETHODIMP Initialize(OMB::ICore* core, IUnknown* browser) noexcept override;
  // Every member is a method.
  STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params,
                      VARIANT* result, EXCEPINFO* excep, UINT* argErr) noexcept override;

  HRESULT Init(DispCall& call);
  HRESULT Clear(DispCall& call);
  HRESULT SetValue(DispCall& call);
  HRESULT QueryValue(DispCall& call);
  HRESULT DeleteValue(DispCall& call);

 private:
  // The base key Software\<application name>, opened on first use and kept.
  // create: make it when missing (writing operations); otherwise a missing
  // key gives null.
  HKEY BaseKey(bool create) noexcept;
  bool ClearRegistry(const wchar_t* group) noexcept;
  bool ClearIni(const wchar_t* group) noexcept;

  std::wstring appName_;
  std::wstring iniPath_;
  unique_hkey baseKey_;
  ComPtr<OMB::ICore> core_;
};

// A value path of the registry forms: not empty, no backslash first or last;
// split at the last backslash into the key part (empty when there is none)
// and the value name. False for an invalid path.
bool SplitValuePath(const wchar_t* path, std::wstring* keyPart, std::wstring* name);

}  // namespace omb
