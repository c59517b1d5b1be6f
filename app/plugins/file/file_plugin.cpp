#include "app/plugins/file/file_plugin.h"

#include <shellapi.h>
#include <shlwapi.h>

#include <string>
#include <vector>

#include "app/core/job.h"
#include "app/core/plugin_registry.h"
#include "app/core/script_call.h"
#include "app/plugins/file/copy_operation.h"
#include "app/plugins/file/file_delete.h"
#include "app/plugins/file/file_enum.h"
#include "sdk/trace.h"

namespace omb {

OMB_REGISTER_BUILTIN_PLUGIN(L"file", CFilePlugin, 0);

namespace {

// The job's "progress" function as the copy operation's progress sink.
class CJobProgress final : public CProgressSink {
 public:
  explicit CJobProgress(CJob& job) : job_(job) {}
  bool Wanted() noexcept override { return job_.Has(L"progress"); }
  bool Stopped() noexcept override { return job_.Stopping(); }
  HRESULT Report(double done, double total, VARIANT* answer) noexcept override {
    return job_.Call(L"progress", {ArgDouble(done), ArgDouble(total)}, answer);
  }

 private:
  CJob& job_;
};

struct TransferRequest {
  std::wstring source;
  std::wstring destination;
  bool move;
  bool replace;
};

void RunTransfer(CJob& job, const TransferRequest& request) {
  CJobProgress progress(job);
  CCopyOperation operation(request.source, request.destination, request.move, request.replace,
                           &progress);
  const HRESULT outcome = operation.Run();
  if (outcome == S_OK)
    job.Call(L"success", {});
  else if (outcome != E_ABORT)
    job.Call(L"fail", {ArgI4(outcome)});
}

// A list of one path for the shell's file operation: the path, then two NULs.
std::wstring ShellPathList(const wchar_t* path) {
  std::wstring list(path);
  list.append(2, L'\0');
  return list;
}

}  // namespace

std::span<const DispMember<CFilePlugin>> CFilePlugin::Members() noexcept {
  static const DispMember<CFilePlugin> members[] = {
      {-10000, L"isFileExist", &CFilePlugin::IsFileExist},
      {-9999, L"deleteFile", &CFilePlugin::Delete},
      {-9998, L"copy", &CFilePlugin::Copy},
      {-9997, L"copyAsync", &CFilePlugin::CopyAsync},
      {-9996, L"move", &CFilePlugin::Move},
      {-9995, L"moveAsync", &CFilePlugin::MoveAsync},
      {-9994, L"mkDir", &CFilePlugin::MkDir},
      {-9993, L"enumFiles", &CFilePlugin::EnumFiles},
      {-9992, L"getSize", &CFilePlugin::GetSize},
      {-9991, L"isDir", &CFilePlugin::IsDir},
      {-9990, L"isDirEmpty", &CFilePlugin::IsDirEmpty},
  };
  return members;
}

STDMETHODIMP CFilePlugin::Initialize(OMB::ICore* core, IUnknown* browser) noexcept {
  core_ = core;
  if (!browser || FAILED(browser->QueryInterface(IID_PPV_ARGS(&browser_)))) {
    OMB_TRACE(kTraceErrors, "CFilePlugin::Initialize", L"Query IWebBrowser2 failed.");
    return E_INVALIDARG;
  }
  return S_OK;
}

STDMETHODIMP CFilePlugin::Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params,
                                 VARIANT* result, EXCEPINFO* excep, UINT* argErr) noexcept {
  // Every member is a method.
  if ((flags & DISPATCH_METHOD) == 0) return E_NOTIMPL;
  return DispatchTable::Invoke(id, iid, lcid, flags, params, result, excep, argErr);
}

HRESULT CFilePlugin::Resolve(const wchar_t* path, unique_bstr* resolved) noexcept {
  if (core_) return core_->ResolvePath(path, resolved->put());
  resolved->reset(::SysAllocString(path));
  return *resolved ? S_OK : E_OUTOFMEMORY;
}

// An empty path is refused (S_FALSE, *resolved left null): resolved, it would
// name the page's own folder, and a slip such as deleteFile('') would then
// act on the application itself.
HRESULT CFilePlugin::ResolveGiven(const wchar_t* given, UINT length, unique_bstr* resolved) noexcept {
  if (length == 0 || !given || !*given) return S_FALSE;
  return Resolve(given, resolved);
}

HRESULT CFilePlugin::PathArgument(DispCall& call, unique_bstr* path) {
  if (call.args.Count() != 1) return E_NOTIMPL;
  const wchar_t* given = nullptr;
  UINT length = 0;
  OMB_RETURN_IF_FAILED(call.args.String(0, &given, &length));
  return ResolveGiven(given, length, path);
}

HRESULT CFilePlugin::IsFileExist(DispCall& call) {
  unique_bstr path;
  const HRESULT hr = PathArgument(call, &path);
  OMB_RETURN_IF_FAILED(hr);
  return call.ReturnBool(hr == S_OK && ::PathFileExistsW(path.get()) != FALSE);
}

HRESULT CFilePlugin::IsDir(DispCall& call) {
  unique_bstr path;
  const HRESULT hr = PathArgument(call, &path);
  OMB_RETURN_IF_FAILED(hr);
  return call.ReturnBool(hr == S_OK && ::PathIsDirectoryW(path.get()) != FALSE);
}

HRESULT CFilePlugin::MkDir(DispCall& call) {
  unique_bstr path;
  const HRESULT hr = PathArgument(call, &path);
  OMB_RETURN_IF_FAILED(hr);
  return call.ReturnBool(hr == S_OK && ::CreateDirectoryW(path.get(), nullptr) != FALSE);
}

HRESULT CFilePlugin::GetSize(DispCall& call) {
  unique_bstr path;
  const HRESULT hr = PathArgument(call, &path);
  if (hr != S_OK) return FAILED(hr) ? hr : S_OK;
  unique_file file(::CreateFileW(path.get(), GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return S_OK;
  // Some platforms open folders too; a folder has no size to report.
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(file.get(), &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
    return S_OK;
  LARGE_INTEGER size;
  if (!::GetFileSizeEx(file.get(), &size) || !call.result) return S_OK;
  // An unsigned 64-bit variant: the script engine turns it into a number,
  // while a signed one reaches script as a value it cannot use.
  ::VariantInit(call.result);
  call.result->vt = VT_UI8;
  call.result->ullVal = static_cast<ULONGLONG>(size.QuadPart);
  return S_OK;
}

HRESULT CFilePlugin::IsDirEmpty(DispCall& call) {
  unique_bstr path;
  const HRESULT hr = PathArgument(call, &path);
  if (hr != S_OK) return FAILED(hr) ? hr : call.ReturnBool(false);
  if (!::PathIsDirectoryW(path.get())) return call.ReturnBool(false);
  std::vector<std::wstring> names;
  const bool listed = FindNames((std::wstring(path.get()) + L"\\*.*").c_str(), &names);
  return call.ReturnBool(listed && names.empty());
}

HRESULT CFilePlugin::Delete(DispCall& call) {
  const UINT count = call.args.Count();
  if (count != 1 && count != 2) return E_NOTIMPL;
  const wchar_t* given = nullptr;
  UINT length = 0;
  OMB_RETURN_IF_FAILED(call.args.String(0, &given, &length));
  bool atReboot = false;
  if (count == 2) OMB_RETURN_IF_FAILED(call.args.Bool(1, &atReboot));
  unique_bstr path;
  const HRESULT hr = ResolveGiven(given, length, &path);
  OMB_RETURN_IF_FAILED(hr);
  return call.ReturnBool(hr == S_OK && SUCCEEDED(DeletePath(path.get(), atReboot)));
}

HRESULT CFilePlugin::Copy(DispCall& call) { return ShellTransfer(call, FO_COPY); }
HRESULT CFilePlugin::Move(DispCall& call) { return ShellTransfer(call, FO_MOVE); }

HRESULT CFilePlugin::ShellTransfer(DispCall& call, UINT operation) {
  if (call.args.Count() != 2) return E_NOTIMPL;
  const wchar_t* source = nullptr;
  const wchar_t* destination = nullptr;
  UINT sourceLength = 0, destinationLength = 0;
  OMB_RETURN_IF_FAILED(call.args.String(0, &source, &sourceLength));
  OMB_RETURN_IF_FAILED(call.args.String(1, &destination, &destinationLength));
  unique_bstr resolvedSource, resolvedDestination;
  HRESULT hr = ResolveGiven(source, sourceLength, &resolvedSource);
  if (hr == S_OK) hr = ResolveGiven(destination, destinationLength, &resolvedDestination);
  OMB_RETURN_IF_FAILED(hr);
  if (hr != S_OK) return call.ReturnBool(false);
  const std::wstring from = ShellPathList(resolvedSource.get());
  const std::wstring to = ShellPathList(resolvedDestination.get());
  SHFILEOPSTRUCTW op{};
  op.wFunc = operation;
  op.pFrom = from.c_str();
  op.pTo = to.c_str();
  op.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR | FOF_NOERRORUI;  // 0x0614
  const int answer = ::SHFileOperationW(&op);
  return call.ReturnBool(answer == 0 && !op.fAnyOperationsAborted);
}

HRESULT CFilePlugin::CopyAsync(DispCall& call) { return StartTransfer(call, false); }
HRESULT CFilePlugin::MoveAsync(DispCall& call) { return StartTransfer(call, true); }

// Starts the worker; a start that fails calls fail(result, context) before
// the method returns false.
HRESULT CFilePlugin::StartTransfer(DispCall& call, bool move) {
  if (call.args.Count() != 1) return E_NOTIMPL;
  IDispatch* options = nullptr;
  OMB_RETURN_IF_FAILED(call.args.Object(0, &options));
  CScriptCallbacks callbacks(options, {L"progress", L"success", L"fail"});
  unique_bstr source, destination, resolvedSource, resolvedDestination;
  HRESULT started = E_INVALIDARG;
  if (OptionString(options, L"srcPath", &source) && *source.get() &&
      OptionString(options, L"destPath", &destination) && *destination.get()) {
    started = Resolve(source.get(), &resolvedSource);
    if (SUCCEEDED(started)) started = Resolve(destination.get(), &resolvedDestination);
  }
  if (SUCCEEDED(started)) {
    TransferRequest request{resolvedSource.get(), resolvedDestination.get(), move,
                            OptionBool(options, L"replaceExisting", false)};
    started = StartJob(callbacks, Unknown(),
                       [request = std::move(request)](CJob& job) { RunTransfer(job, request); });
  }
  if (FAILED(started)) callbacks.Call(L"fail", {ArgI4(started)});
  return call.ReturnBool(started == S_OK);
}

HRESULT CFilePlugin::EnumFiles(DispCall& call) {
  const UINT count = call.args.Count();
  if (count == 0) return E_NOTIMPL;
  const UINT last = count - 1;
  IDispatch* options = nullptr;
  if (SUCCEEDED(call.args.Object(last, &options))) {
    (void)StartWalkJob(options, Unknown());
    return S_OK;
  }
  const wchar_t* pattern = nullptr;
  UINT length = 0;
  OMB_RETURN_IF_FAILED(call.args.String(last, &pattern, &length));
  if (!call.WantsResult()) return S_OK;
  call.ReturnNull();
  unique_bstr resolved;
  std::vector<std::wstring> names;
  if (ResolveGiven(pattern, length, &resolved) != S_OK || !FindNames(resolved.get(), &names))
    return S_OK;
  ComPtr<IDispatch> array;
  if (SUCCEEDED(NewPageArray(browser_.Get(), names, array.ReleaseAndGetAddressOf())))
    call.ReturnDispatch(array.Get());
  return S_OK;
}

}  // namespace omb
