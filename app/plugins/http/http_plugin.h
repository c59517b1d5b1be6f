// "http": the platform's XMLHTTP request object, and download clients whose
// "downloadToFile" fetches a URL into a file on a worker thread with byte
// progress (download.h).
#pragma once

#include <span>

#include "sdk/com.h"
#include "sdk/dispatch.h"
#include "sdk/omb.h"

class CScriptCallbacks;

namespace omb {

class CHttpPlugin : public ComObject<CHttpPlugin, OMB::IPluginImpl<CHttpPlugin>,
                                     DispatchTable<CHttpPlugin>> {
 public:
  static constexpr const char* kClassName = "CHttpPlugin";
  static constexpr bool kTypeInfoNotImplemented = true;
  static constexpr HRESULT kUnknownMemberResult = E_NOTIMPL;
  static std::span<const DispMember<CHttpPlugin>> Members() noexcept;

  // Both the core and the browser must be given; only the core is kept.
  STDMETHODIMP Initialize(OMB::ICore* core, IUnknown* browser) noexcept override;

  // Script members.
  HRESULT CreateClient(DispCall& call);
  HRESULT CreateXmlHttp(DispCall& call);

 private:
  ComPtr<OMB::ICore> core_;
};

// A download client: "downloadToFile" and the result constants.
class CClientDispatch : public ComObject<CClientDispatch, DispatchTable<CClientDispatch>> {
 public:
  static constexpr const char* kClassName = "CClientDispatch";
  static constexpr bool kTypeInfoNotImplemented = true;
  static constexpr HRESULT kUnknownMemberResult = E_NOTIMPL;
  static std::span<const DispMember<CClientDispatch>> Members() noexcept;

  explicit CClientDispatch(OMB::ICore* core) noexcept : core_(core) {}

  // Script members.
  HRESULT DownloadToFile(DispCall& call);
  HRESULT SOk(DispCall& call);
  HRESULT EAbort(DispCall& call);
  HRESULT EAccessDenied(DispCall& call);
  HRESULT EFileNotFound(DispCall& call);

 private:
  // Reads the options and starts the job; the start result.
  HRESULT StartDownload(IDispatch* options, const ::CScriptCallbacks& callbacks);

  ComPtr<OMB::ICore> core_;
};

// A byte count as progress hands it to script: an unsigned 32-bit integer
// below 2^32, a double (exact up to 2^53) above.
VARIANT ProgressCount(ULONGLONG count) noexcept;

}  // namespace omb
