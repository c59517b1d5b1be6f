#include "app/plugins/zip/zip_plugin.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "app/core/plugin_registry.h"
#include "app/core/script_call.h"
#include "app/plugins/zip/zip_jobs.h"

namespace omb {

OMB_REGISTER_BUILTIN_PLUGIN(L"minizip", CZipPlugin, OMB::kFlagNewInstancePerAccess);

namespace {

constexpr DispMember<CZipPlugin> kMembers[] = {
    {CZipPlugin::kUnzipId, L"unzip", &CZipPlugin::Unzip},
    {CZipPlugin::kZipId, L"zip", &CZipPlugin::Zip},
};

// "index": signed or unsigned 32-bit integers and the machine integer types;
// anything else counts as 0. A negative index names no archive: it becomes
// the largest index, which fails like any index past the file's archives.
uint32_t ReadIndex(IDispatch* options) noexcept {
  unique_variant value;
  ReadMember(options, L"index", value.put());
  switch (value.vt()) {
    case VT_I4:
    case VT_INT:
      return value->lVal < 0 ? UINT32_MAX : static_cast<uint32_t>(value->lVal);
    case VT_UI4:
    case VT_UINT:
      return value->ulVal;
    default:
      return 0;
  }
}

std::wstring OptionText(IDispatch* options, const wchar_t* name, bool* present) {
  unique_bstr text;
  *present = OptionString(options, name, &text);
  return *present ? std::wstring(text.get(), SysStringLen(text.get())) : std::wstring();
}

// The memory form takes its bytes from a stream object ("buffer") and copies
// them here, on the thread that owns the stream, so the job never reads
// memory that script may grow or free meanwhile. "length", when given, limits
// the count to the stream's first bytes. A raw address is refused.
HRESULT CopyStreamBytes(IDispatch* options, std::vector<BYTE>* bytes) {
  unique_variant buffer;
  ReadMember(options, L"buffer", buffer.put());
  if (buffer.vt() != VT_DISPATCH || !buffer->pdispVal) return E_INVALIDARG;
  ComPtr<OMB::IStream> stream;
  if (FAILED(buffer->pdispVal->QueryInterface(IID_PPV_ARGS(&stream)))) return E_INVALIDARG;
  uint64_t size = stream->GetSize();
  if (std::optional<LONG> length = OptionNumber(options, L"length")) {
    if (*length <= 0) return E_INVALIDARG;
    size = std::min<uint64_t>(size, static_cast<ULONG>(*length));
  }
  const BYTE* data = stream->GetBuffer();
  if (size > 0 && !data) return E_INVALIDARG;
  if (size > SIZE_MAX) return E_OUTOFMEMORY;
  bytes->assign(data, data + size);
  return S_OK;
}

}  // namespace

std::span<const DispMember<CZipPlugin>> CZipPlugin::Members() noexcept { return kMembers; }

STDMETHODIMP CZipPlugin::Initialize(OMB::ICore* core, IUnknown*) noexcept {
  core_ = core;
  return S_OK;
}

std::wstring CZipPlugin::Resolve(const wchar_t* path) const {
  unique_bstr resolved;
  if (core_ && SUCCEEDED(core_->ResolvePath(path, resolved.put())) && resolved.get())
    return std::wstring(resolved.get(), SysStringLen(resolved.get()));
  return path;
}

HRESULT CZipPlugin::Unzip(DispCall& call) {
  IDispatch* options = nullptr;
  OMB_RETURN_IF_FAILED(call.args.Object(0, &options));
  zip::CUnzipRequest request;
  bool hasSource = false, hasDest = false;
  const std::wstring source = OptionText(options, L"src", &hasSource);
  const std::wstring dest = OptionText(options, L"dest", &hasDest);
  request.memoryForm = !hasSource;
  request.index = ReadIndex(options);
  request.overwrite = OptionBool(options, L"overWrite", false);
  if (hasSource) request.source = Resolve(source.c_str());
  if (hasDest) request.dest = Resolve(dest.c_str());
  // An empty path would resolve to the page's own folder.
  if (!hasDest || dest.empty() || (hasSource && source.empty()))
    request.setupResult = E_INVALIDARG;
  else if (request.memoryForm)
    request.setupResult = CopyStreamBytes(options, &request.bytes);
  CScriptCallbacks callbacks(options, {L"progress", L"success", L"fail"});
  const HRESULT hr = zip::StartUnzipJob(callbacks, Unknown(), std::move(request));
  if (FAILED(hr)) zip::ReportUnzipFailure(callbacks, !hasSource, hr);
  return S_OK;
}

HRESULT CZipPlugin::Zip(DispCall& call) {
  IDispatch* options = nullptr;
  OMB_RETURN_IF_FAILED(call.args.Object(0, &options));
  zip::CZipRequest request;
  request.setupResult = zip::ReadSources(options, [this](const wchar_t* p) { return Resolve(p); },
                                         &request.sources);
  unique_variant dest;
  ReadMember(options, L"dest", dest.put());
  if (dest.vt() == VT_BSTR) {
    if (SysStringLen(dest->bstrVal) > 0)
      request.destPath = Resolve(dest->bstrVal);
    else if (SUCCEEDED(request.setupResult))
      request.setupResult = E_INVALIDARG;  // would resolve to the page's own folder
  } else if (dest.vt() != VT_DISPATCH || !dest->pdispVal ||
             FAILED(dest->pdispVal->QueryInterface(IID_PPV_ARGS(&request.destStream)))) {
    if (SUCCEEDED(request.setupResult)) request.setupResult = E_FAIL;
  }
  request.overwrite = OptionBool(options, L"overWrite", false);
  CScriptCallbacks callbacks(options, {L"progress", L"success", L"fail"});
  const HRESULT hr = zip::StartZipJob(callbacks, Unknown(), std::move(request));
  if (FAILED(hr)) callbacks.Call(L"fail", {ArgI4(hr)});
  return S_OK;
}

}  // namespace omb
