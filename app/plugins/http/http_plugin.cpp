#include "app/plugins/http/http_plugin.h"

#include <memory>
#include <string>
#include <utility>

#include "app/core/job.h"
#include "app/core/plugin_registry.h"
#include "app/core/script_call.h"
#include "app/plugins/http/download.h"
#include "sdk/trace.h"

namespace omb {

OMB_REGISTER_BUILTIN_PLUGIN(L"http", CHttpPlugin, OMB::kFlagNewInstancePerAccess);

namespace {

const DispMember<CHttpPlugin> kPluginMembers[] = {
    {-10000, L"createClient", &CHttpPlugin::CreateClient},
    {-9999, L"createXmlHttp", &CHttpPlugin::CreateXmlHttp},
};

const DispMember<CClientDispatch> kClientMembers[] = {
    {-9900, L"downloadToFile", &CClientDispatch::DownloadToFile},
    {-9899, L"S_OK", &CClientDispatch::SOk},
    {-9898, L"E_ABORT", &CClientDispatch::EAbort},
    {-9897, L"E_ACCESSDENIED", &CClientDispatch::EAccessDenied},
    {-9896, L"E_FILENOTFOUND", &CClientDispatch::EFileNotFound},
};

// The plug-in's members are methods without arguments; a caller that wants
// no result gets nothing made, and a trace line.
HRESULT CheckCreateCall(const DispCall& call, const char* method) noexcept {
  if (!call.IsMethod() || call.args.Count() != 0) return E_NOTIMPL;
  if (!call.WantsResult()) {
    OMB_TRACE(kTraceErrors, method, L"pResult is NULL.");
    return S_FALSE;
  }
  return S_OK;
}

HRESULT ReturnConstant(DispCall& call, LONG value) noexcept {
  if (!call.IsGet() || call.IsMethod() || call.args.Count() != 0) return E_NOTIMPL;
  if (!call.WantsResult()) return E_INVALIDARG;
  return call.ReturnInt(value);
}

// The job's "progress" function as the download's progress report: an
// answer of false stops the download.
class CJobProgress final : public IDownloadProgress {
 public:
  explicit CJobProgress(CJob& job) noexcept : job_(job) {}
  HRESULT Progress(ULONGLONG received, ULONGLONG total) noexcept override {
    if (!job_.Has(L"progress")) return S_OK;
    unique_variant answer;
    OMB_RETURN_IF_FAILED(
        job_.Call(L"progress", {ProgressCount(received), ProgressCount(total)}, answer.put()));
    return answer.vt() == VT_BOOL && answer->boolVal == VARIANT_FALSE ? E_ABORT : S_OK;
  }

 private:
  CJob& job_;
};

}  // namespace

std::span<const DispMember<CHttpPlugin>> CHttpPlugin::Members() noexcept { return kPluginMembers; }
std::span<const DispMember<CClientDispatch>> CClientDispatch::Members() noexcept {
  return kClientMembers;
}

VARIANT ProgressCount(ULONGLONG count) noexcept {
  return count <= 0xFFFFFFFFull ? ArgUI4(static_cast<ULONG>(count))
                                : ArgDouble(static_cast<double>(count));
}

STDMETHODIMP CHttpPlugin::Initialize(OMB::ICore* core, IUnknown* browser) noexcept {
  if (!core || !browser) return E_INVALIDARG;
  core_ = core;
  return S_OK;
}

HRESULT CHttpPlugin::CreateClient(DispCall& call) {
  const HRESULT check = CheckCreateCall(call, "CHttpPlugin::CreateClient");
  if (check != S_OK) return SUCCEEDED(check) ? S_OK : check;
  ComPtr<CClientDispatch> client = Make<CClientDispatch>(core_.Get());
  if (!client) return E_OUTOFMEMORY;
  return call.ReturnDispatch(client.Get());
}

// The platform's component; when it cannot be created nothing is returned.
HRESULT CHttpPlugin::CreateXmlHttp(DispCall& call) {
  const HRESULT check = CheckCreateCall(call, "CHttpPlugin::CreateXmlHttp");
  if (check != S_OK) return SUCCEEDED(check) ? S_OK : check;
  CLSID clsid;
  if (FAILED(::CLSIDFromProgID(L"Microsoft.XMLHTTP", &clsid))) return S_OK;
  ComPtr<IDispatch> request;
  if (FAILED(::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&request))))
    return S_OK;
  return call.ReturnDispatch(request.Get());
}

// ---------------------------------------------------------------------------
// Download client

HRESULT CClientDispatch::DownloadToFile(DispCall& call) {
  if (!call.IsMethod() || call.args.Count() != 1) return E_NOTIMPL;
  IDispatch* options = nullptr;
  OMB_RETURN_IF_FAILED(call.args.Object(0, &options));
  CScriptCallbacks callbacks(options, {L"progress", L"success", L"fail"});
  const HRESULT started = StartDownload(options, callbacks);
  if (FAILED(started)) (void)callbacks.Call(L"fail", {ArgI4(started)});
  return call.ReturnBool(SUCCEEDED(started));
}

HRESULT CClientDispatch::StartDownload(IDispatch* options, const CScriptCallbacks& callbacks) {
  unique_bstr destPath;
  if (!OptionString(options, L"destPath", &destPath) || !*destPath.get()) return E_INVALIDARG;
  unique_bstr resolved;
  if (!core_) return E_UNEXPECTED;
  OMB_RETURN_IF_FAILED(core_->ResolvePath(destPath.get(), resolved.put()));
  if (!resolved) return E_OUTOFMEMORY;
  unique_bstr url;
  if (!OptionString(options, L"url", &url) || !*url.get()) return E_INVALIDARG;

  // The job needs nothing of the client, so it holds no reference to it:
  // the client (and the window's core it keeps) is then always released on
  // the user-interface thread, never by a worker at the end of its job.
  return StartJob(callbacks, nullptr,
                  [url = std::move(url), path = std::move(resolved)](CJob& job) noexcept {
                    CJobProgress progress(job);
                    const HRESULT outcome = ::DownloadToFile(url.get(), path.get(), &progress);
                    if (outcome == S_OK)
                      (void)job.Call(L"success", {});
                    else if (outcome != E_ABORT)
                      (void)job.Call(L"fail", {ArgI4(outcome)});
                  });
}

HRESULT CClientDispatch::SOk(DispCall& call) { return ReturnConstant(call, S_OK); }
HRESULT CClientDispatch::EAbort(DispCall& call) { return ReturnConstant(call, E_ABORT); }
HRESULT CClientDispatch::EAccessDenied(DispCall& call) {
  return ReturnConstant(call, E_ACCESSDENIED);
}
HRESULT CClientDispatch::EFileNotFound(DispCall& call) {
  return ReturnConstant(call, HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
}

}  // namespace omb
