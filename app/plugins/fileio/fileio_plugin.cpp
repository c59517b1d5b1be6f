#include "app/plugins/fileio/fileio_plugin.h"

#include <algorithm>
#include <memory>
#include <new>

#include "app/core/plugin_registry.h"
#include "app/plugins/stream/number_args.h"

namespace omb {

OMB_REGISTER_BUILTIN_PLUGIN(L"fileIO", CFileIOPlugin, OMB::kFlagNewInstancePerAccess);

namespace {

HRESULT CheckMethod(const DispCall& call, UINT argCount) noexcept {
  return call.IsMethod() && call.args.Count() == argCount ? S_OK : E_NOTIMPL;
}

bool IsPropertyGet(const DispCall& call) noexcept {
  return call.IsGet() && !call.IsMethod() && call.args.Count() == 0;
}

HRESULT ReturnConstant(DispCall& call, LONG value) noexcept {
  if (!IsPropertyGet(call)) return E_NOTIMPL;
  if (!call.result) return E_INVALIDARG;
  return call.ReturnInt(value);
}

std::unique_ptr<BYTE[]> NewBlock() noexcept {
  return std::unique_ptr<BYTE[]>(new (std::nothrow) BYTE[CFileIOPlugin::kBlockSize]);
}

const DispMember<CFileIOPlugin> kMembers[] = {
    {-10000, L"open", &CFileIOPlugin::Open},
    {-9999, L"close", &CFileIOPlugin::Close},
    {-9998, L"readAsync", &CFileIOPlugin::ReadAsync},
    {-9997, L"writeAsync", &CFileIOPlugin::WriteAsync},
    {-9996, L"read", &CFileIOPlugin::Read},
    {-9995, L"write", &CFileIOPlugin::Write},
    {-9994, L"seek", &CFileIOPlugin::Seek},
    {-9993, L"size", &CFileIOPlugin::Size},
    {-9992, L"BEGIN", &CFileIOPlugin::Begin},
    {-9991, L"CURRENT", &CFileIOPlugin::Current},
    {-9990, L"END", &CFileIOPlugin::End},
    {-9989, L"S_OK", &CFileIOPlugin::SOk},
    {-9988, L"E_ABORT", &CFileIOPlugin::EAbort},
};

}  // namespace

std::span<const DispMember<CFileIOPlugin>> CFileIOPlugin::Members() noexcept { return kMembers; }

void CFileIOPlugin::ParseMode(const wchar_t* mode, DWORD* access, DWORD* creation) noexcept {
  *access = 0;
  *creation = OPEN_EXISTING;
  for (const wchar_t* c = mode ? mode : L""; *c; ++c) {
    switch (*c) {
      case L'r': case L'R': *access |= GENERIC_READ; break;
      case L'w': case L'W': *access |= GENERIC_WRITE; break;
      case L'c': case L'C': *creation = CREATE_ALWAYS; break;
      case L'e': case L'E': *creation = OPEN_EXISTING; break;
      case L'n': case L'N': *creation = CREATE_NEW; break;
      case L'o': case L'O': *creation = OPEN_ALWAYS; break;
      default: break;
    }
  }
}

STDMETHODIMP CFileIOPlugin::Initialize(OMB::ICore* core, IUnknown* browser) noexcept {
  core_ = core;
  if (!browser || FAILED(browser->QueryInterface(IID_PPV_ARGS(&browser_)))) {
    OMB_TRACE(kTraceErrors, "CFileIOPlugin::Initialize", L"Query IWebBrowser2 failed.");
    return E_INVALIDARG;
  }
  return S_OK;
}

// ---------------------------------------------------------------------------
// Members

HRESULT CFileIOPlugin::Open(DispCall& call) {
  OMB_RETURN_IF_FAILED(CheckMethod(call, 2));
  const wchar_t* path = nullptr;
  const wchar_t* mode = nullptr;
  OMB_RETURN_IF_FAILED(call.args.String(0, &path));
  OMB_RETURN_IF_FAILED(call.args.String(1, &mode));
  file_.reset();
  unique_bstr resolved;
  if (!core_ || FAILED(core_->ResolvePath(path, resolved.put())) || !resolved)
    return call.ReturnBool(false);
  DWORD access = 0, creation = 0;
  ParseMode(mode, &access, &creation);
  file_.reset(::CreateFileW(resolved.get(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            creation, FILE_ATTRIBUTE_NORMAL, nullptr));
  return call.ReturnBool(static_cast<bool>(file_));
}

HRESULT CFileIOPlugin::Close(DispCall& call) {
  OMB_RETURN_IF_FAILED(CheckMethod(call, 0));
  file_.reset();
  return S_OK;
}

HRESULT CFileIOPlugin::TransferArgs(const DispCall& call, ComPtr<OMB::IStream>& stream,
                                    ULONG* count) {
  OMB_RETURN_IF_FAILED(CheckMethod(call, 2));
  IDispatch* target = nullptr;
  OMB_RETURN_IF_FAILED(call.args.Object(0, &target));
  if (FAILED(target->QueryInterface(IID_PPV_ARGS(stream.ReleaseAndGetAddressOf()))))
    return E_INVALIDARG;
  OMB_RETURN_IF_FAILED(CountArg(call.args, 1, count));
  return *count == 0 ? E_INVALIDARG : S_OK;
}

ULONG CFileIOPlugin::CopyFileToStream(OMB::IStream* stream, ULONG count) noexcept {
  const std::unique_ptr<BYTE[]> block = NewBlock();
  if (!block) return 0;
  ULONG moved = 0;
  while (moved < count) {
    DWORD got = 0;
    if (!::ReadFile(file_.get(), block.get(), std::min(count - moved, kBlockSize), &got, nullptr))
      return 0;
    if (got == 0) break;
    ULONG written = 0;
    if (FAILED(stream->Write(block.get(), got, &written))) return 0;
    moved += written;
  }
  return moved;
}

ULONG CFileIOPlugin::CopyStreamToFile(OMB::IStream* stream, ULONG count) noexcept {
  const std::unique_ptr<BYTE[]> block = NewBlock();
  if (!block) return 0;
  ULONG moved = 0;
  while (moved < count) {
    ULONG got = 0;
    if (FAILED(stream->Read(block.get(), std::min(count - moved, kBlockSize), &got))) return 0;
    if (got == 0) break;
    DWORD written = 0;
    if (!::WriteFile(file_.get(), block.get(), got, &written, nullptr) || written != got) return 0;
    moved += written;
  }
  return moved;
}

HRESULT CFileIOPlugin::Read(DispCall& call) {
  ComPtr<OMB::IStream> stream;
  ULONG count = 0;
  OMB_RETURN_IF_FAILED(TransferArgs(call, stream, &count));
  const ULONG moved = CopyFileToStream(stream.Get(), count);
  if (call.result) SetUI4(call.result, moved);
  return S_OK;
}

HRESULT CFileIOPlugin::Write(DispCall& call) {
  ComPtr<OMB::IStream> stream;
  ULONG count = 0;
  OMB_RETURN_IF_FAILED(TransferArgs(call, stream, &count));
  const ULONG moved = CopyStreamToFile(stream.Get(), count);
  if (call.result) SetUI4(call.result, moved);
  return S_OK;
}

HRESULT CFileIOPlugin::Seek(DispCall& call) {
  OMB_RETURN_IF_FAILED(CheckMethod(call, 2));
  LONGLONG offset = 0;
  LONG origin = 0;
  OMB_RETURN_IF_FAILED(SignedArg(call.args, 0, &offset));
  OMB_RETURN_IF_FAILED(call.args.Int(1, &origin));
  if (origin < 0 || origin > 2) return S_OK;
  LARGE_INTEGER distance, position;
  distance.QuadPart = offset;
  if (!::SetFilePointerEx(file_.get(), distance, &position, static_cast<DWORD>(origin)))
    return S_OK;
  if (call.result) SetR8(call.result, static_cast<double>(position.QuadPart));
  return S_OK;
}

HRESULT CFileIOPlugin::Size(DispCall& call) {
  if (IsPropertyGet(call)) {
    if (!call.result) return E_INVALIDARG;
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(file_.get(), &size)) size.QuadPart = 0;
    SetR8(call.result, static_cast<double>(size.QuadPart));
    return S_OK;
  }
  if (!call.IsPut() || call.IsMethod() || call.args.Count() != 1) return E_NOTIMPL;
  LONGLONG size = 0;
  OMB_RETURN_IF_FAILED(SignedArg(call.args, 0, &size));
  LARGE_INTEGER zero{}, here{}, end{};
  end.QuadPart = size;
  if (!::SetFilePointerEx(file_.get(), zero, &here, FILE_CURRENT)) return S_OK;
  if (::SetFilePointerEx(file_.get(), end, nullptr, FILE_BEGIN)) (void)::SetEndOfFile(file_.get());
  (void)::SetFilePointerEx(file_.get(), here, nullptr, FILE_BEGIN);
  return S_OK;
}

HRESULT CFileIOPlugin::Begin(DispCall& call) { return ReturnConstant(call, FILE_BEGIN); }
HRESULT CFileIOPlugin::Current(DispCall& call) { return ReturnConstant(call, FILE_CURRENT); }
HRESULT CFileIOPlugin::End(DispCall& call) { return ReturnConstant(call, FILE_END); }
HRESULT CFileIOPlugin::SOk(DispCall& call) { return ReturnConstant(call, S_OK); }
HRESULT CFileIOPlugin::EAbort(DispCall& call) { return ReturnConstant(call, E_ABORT); }

}  // namespace omb
