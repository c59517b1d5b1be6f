// The "minizip" plug-in: "unzip" extracts an archive into a folder and "zip"
// builds one from files and folders, each on its own worker thread reporting
// through progress, success and fail.
#pragma once

#include <span>
#include <string>

#include "sdk/com.h"
#include "sdk/dispatch.h"
#include "sdk/omb.h"

namespace omb {

class CZipPlugin : public ComObject<CZipPlugin, OMB::IPluginImpl<CZipPlugin>,
                                    DispatchTable<CZipPlugin>> {
 public:
  static constexpr const char* kClassName = "CZipPlugin";
  static constexpr DISPID kUnzipId = -6999;
  static constexpr DISPID kZipId = -6998;
  static std::span<const DispMember<CZipPlugin>> Members() noexcept;

  // Keeps the window's core for resolving script paths.
  STDMETHODIMP Initialize(OMB::ICore* core, IUnknown* browser) noexcept override;

  HRESULT Unzip(DispCall& call);
  HRESULT Zip(DispCall& call);

 private:
  // A path from script, resolved against the page (unchanged without a core).
  std::wstring Resolve(const wchar_t* path) const;

  ComPtr<OMB::ICore> core_;
};

}  // namespace omb
