// "fileIO": one open file per object, synchronous transfers between the file
// and stream objects (OMB::IStream) in 65,536-byte blocks, seeking and
// resizing, and chunked reads and writes on a worker thread that report each
// chunk to script.
#pragma once

#include <exdisp.h>

#include <span>

#include "sdk/com.h"
#include "sdk/dispatch.h"
#include "sdk/omb.h"

class CScriptCallbacks;

namespace omb {

class CFileIOPlugin : public ComObject<CFileIOPlugin, OMB::IPluginImpl<CFileIOPlugin>,
                                       DispatchTable<CFileIOPlugin>> {
 public:
  static constexpr const char* kClassName = "CFileIOPlugin";
  static constexpr bool kTypeInfoNotImplemented = true;
  static constexpr HRESULT kUnknownMemberResult = E_NOTIMPL;
  static std::span<const DispMember<CFileIOPlugin>> Members() noexcept;

  // Bytes moved per platform call.
  static constexpr ULONG kBlockSize = 65536;

  // The access and creation of a mode string: each letter counts
  // case-insensitively, "r" and "w" add read and write access, the last of
  // "c" (create always), "e" (open existing, the default), "n" (create new)
  // and "o" (open always) sets the creation; other characters are ignored.
  static void ParseMode(const wchar_t* mode, DWORD* access, DWORD* creation) noexcept;

  STDMETHODIMP Initialize(OMB::ICore* core, IUnknown* browser) noexcept override;

  HANDLE File() const noexcept { return file_.get(); }

  // Script members.
  HRESULT Open(DispCall& call);
  HRESULT Close(DispCall& call);
  HRESULT ReadAsync(DispCall& call) { return StartTransfer(call, false); }
  HRESULT WriteAsync(DispCall& call) { return StartTransfer(call, true); }
  HRESULT Read(DispCall& call);
  HRESULT Write(DispCall& call);
  HRESULT Seek(DispCall& call);
  HRESULT Size(DispCall& call);
  HRESULT Begin(DispCall& call);
  HRESULT Current(DispCall& call);
  HRESULT End(DispCall& call);
  HRESULT SOk(DispCall& call);
  HRESULT EAbort(DispCall& call);

 private:
  // The stream and count arguments of "read" and "write".
  HRESULT TransferArgs(const DispCall& call, ComPtr<OMB::IStream>& stream, ULONG* count);
  // file -> stream and stream -> file; the bytes moved, or 0 after a failure.
  ULONG CopyFileToStream(OMB::IStream* stream, ULONG count) noexcept;
  ULONG CopyStreamToFile(OMB::IStream* stream, ULONG count) noexcept;

  // "readAsync" / "writeAsync" (fileio_jobs.cpp).
  HRESULT StartTransfer(DispCall& call, bool write);
  HRESULT StartTransferJob(IDispatch* options, bool write, ::CScriptCallbacks& callbacks);

  ComPtr<OMB::ICore> core_;
  ComPtr<IWebBrowser2> browser_;
  unique_file file_;
};

}  // namespace omb
