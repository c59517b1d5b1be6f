// "readAsync" and "writeAsync": chunked transfers between the open file and
// script on a worker thread.
//
// The worker reads or writes up to 65,536 bytes at a time and reports each
// chunk through the job's marshalled functions. A read hands every chunk to
// progress in a new stream object made by the window's core
// (QueryPlugin("stream")). The core, its plug-in manager and the stream that
// script receives all belong to the user-interface thread, so the worker
// does none of that itself: the job carries a chunk reporter, marshalled like
// the script functions, whose call runs on the user-interface thread, makes
// the stream, copies the chunk into it from the worker's block (the worker
// waits in the call, so the block stays valid) and calls progress there.
//
// The job works on a duplicate of the object's file handle: it shares the
// file pointer with the object as the object's own handle would, but a
// "close" from script while the job runs cannot leave the worker using a
// closed (and perhaps reused) handle value.
#include <algorithm>
#include <memory>
#include <new>
#include <optional>
#include <utility>

#include "app/core/job.h"
#include "app/core/script_call.h"
#include "app/plugins/fileio/fileio_plugin.h"

namespace omb {
namespace {

constexpr const wchar_t* kChunkReporter = L"chunkReporter";

// Called as reporter(address, count) from the worker: puts count bytes at
// address into a new stream from the core and calls progress(stream,
// context); answers what progress answers.
class CChunkReporter : public ComObject<CChunkReporter, InvokeOnly> {
 public:
  CChunkReporter(OMB::ICore* core, IDispatch* progress) noexcept
      : core_(core), progress_(progress) {}
  HRESULT SetContext(const VARIANT& context) noexcept { return context_.CopyFrom(context); }

  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO*, UINT*) noexcept override {
    DispArgs args(params);
    if (id != DISPID_VALUE || args.Type(0) != VT_UI8 || args.Type(1) != VT_UI4)
      return DISP_E_MEMBERNOTFOUND;
    const auto* bytes = reinterpret_cast<const BYTE*>(static_cast<ULONG_PTR>(args[0].ullVal));
    ComPtr<IDispatch> chunk;
    OMB_RETURN_IF_FAILED(NewChunk(bytes, args[1].ulVal, chunk));
    return CallScript(progress_.Get(), {ArgObject(chunk.Get())}, *context_, result);
  }

 private:
  HRESULT NewChunk(const BYTE* bytes, ULONG count, ComPtr<IDispatch>& chunk) noexcept {
    if (!core_ || FAILED(core_->QueryPlugin(L"stream", &chunk)) || !chunk) return E_FAIL;
    ComPtr<OMB::IStream> stream;
    if (FAILED(chunk.As(&stream))) return E_FAIL;
    OMB_RETURN_IF_FAILED(stream->Write(bytes, count, nullptr));
    return stream->Seek(0, 0, nullptr);
  }

  ComPtr<OMB::ICore> core_;
  ComPtr<IDispatch> progress_;
  unique_variant context_;
};

// "len": a whole number of bytes from 1 to 0xFFFFFFFF, given as any numeric
// value (script numbers are 32-bit integers or doubles).
std::optional<ULONG> LengthOption(IDispatch* options) noexcept {
  unique_variant value;
  (void)ReadMember(options, L"len", value.put());
  switch (value.vt()) {
    case VT_I1: case VT_I2: case VT_I4: case VT_I8: case VT_INT:
    case VT_UI1: case VT_UI2: case VT_UI4: case VT_UI8: case VT_UINT:
    case VT_R4: case VT_R8:
      break;
    default:
      return std::nullopt;
  }
  unique_variant number;
  if (FAILED(::VariantChangeType(number.get(), value.get(), 0, VT_R8))) return std::nullopt;
  const double d = number->dblVal;
  if (!(d >= 1 && d <= 4294967295.0) || d != static_cast<double>(static_cast<ULONG>(d)))
    return std::nullopt;
  return static_cast<ULONG>(d);
}

// The "src" option when it is an object; *isObject tells whether it was one.
ComPtr<OMB::IStream> SourceOption(IDispatch* options, bool* isObject) noexcept {
  unique_variant value;
  (void)ReadMember(options, L"src", value.put());
  *isObject = value.vt() == VT_DISPATCH && value->pdispVal;
  ComPtr<OMB::IStream> stream;
  if (*isObject) (void)value->pdispVal->QueryInterface(IID_PPV_ARGS(&stream));
  return stream;
}

bool AnsweredFalse(const VARIANT& answer) noexcept {
  return answer.vt == VT_BOOL && answer.boolVal == VARIANT_FALSE;
}

// Hands one chunk to progress through the job's reporter; E_ABORT when
// progress answers false.
HRESULT ReportChunk(CJob& job, const BYTE* bytes, ULONG count) noexcept {
  IDispatch* reporter = job.Object(kChunkReporter);
  if (!reporter) return E_FAIL;
  VARIANT args[2];  // last-first, as dispatch arguments go
  args[0] = ArgUI4(count);
  args[1] = ArgUI8(reinterpret_cast<ULONG_PTR>(bytes));
  DISPPARAMS params = {args, nullptr, 2, 0};
  unique_variant answer;
  OMB_RETURN_IF_FAILED(reporter->Invoke(DISPID_VALUE, IID_NULL, LOCALE_USER_DEFAULT,
                                        DISPATCH_METHOD, &params, answer.get(), nullptr, nullptr));
  return AnsweredFalse(*answer) ? E_ABORT : S_OK;
}

HRESULT RunRead(CJob& job, HANDLE file, ULONG len) noexcept {
  const std::unique_ptr<BYTE[]> block(new (std::nothrow) BYTE[CFileIOPlugin::kBlockSize]);
  if (!block) return E_OUTOFMEMORY;
  const bool reports = job.Has(kChunkReporter);
  for (ULONG done = 0; done < len;) {
    if (job.Stopping()) return E_ABORT;
    DWORD got = 0;
    if (!::ReadFile(file, block.get(), std::min(len - done, CFileIOPlugin::kBlockSize), &got,
                    nullptr))
      return HResultFromLastError();
    if (got == 0) break;
    if (reports) OMB_RETURN_IF_FAILED(ReportChunk(job, block.get(), got));
    done += got;
  }
  return S_OK;
}

HRESULT RunWrite(CJob& job, HANDLE file, ULONG len, OMB::IStream* source) noexcept {
  const std::unique_ptr<BYTE[]> block(new (std::nothrow) BYTE[CFileIOPlugin::kBlockSize]);
  if (!block) return E_OUTOFMEMORY;
  for (ULONG done = 0; done < len;) {
    if (job.Stopping()) return E_ABORT;
    ULONG got = 0;
    OMB_RETURN_IF_FAILED(
        source->Read(block.get(), std::min(len - done, CFileIOPlugin::kBlockSize), &got));
    if (got == 0) break;
    DWORD written = 0;
    if (!::WriteFile(file, block.get(), got, &written, nullptr)) return HResultFromLastError();
    if (written != got) return HRESULT_FROM_WIN32(ERROR_WRITE_FAULT);
    if (job.Has(L"progress")) {
      unique_variant answer;
      OMB_RETURN_IF_FAILED(job.Call(L"progress", {}, answer.put()));
      if (AnsweredFalse(*answer)) return E_ABORT;
    }
    done += got;
  }
  return S_OK;
}

// success(context) after a complete transfer; fail(result, context) after a
// failure; nothing when script stopped the job.
void Deliver(CJob& job, HRESULT outcome) noexcept {
  if (outcome == E_ABORT) return;
  if (SUCCEEDED(outcome))
    (void)job.Call(L"success", {});
  else
    (void)job.Call(L"fail", {ArgI4(outcome)});
}

}  // namespace

HRESULT CFileIOPlugin::StartTransfer(DispCall& call, bool write) {
  if (!call.IsMethod() || call.args.Count() != 1) return E_NOTIMPL;
  IDispatch* options = nullptr;
  OMB_RETURN_IF_FAILED(call.args.Object(0, &options));
  CScriptCallbacks callbacks(options, {L"progress", L"success", L"fail"});
  const HRESULT started = StartTransferJob(options, write, callbacks);
  if (FAILED(started)) (void)callbacks.Call(L"fail", {ArgI4(started)});
  return call.ReturnBool(SUCCEEDED(started));
}

HRESULT CFileIOPlugin::StartTransferJob(IDispatch* options, bool write,
                                        CScriptCallbacks& callbacks) {
  const std::optional<ULONG> len = LengthOption(options);
  if (!len) return E_INVALIDARG;
  bool srcGiven = false;
  ComPtr<OMB::IStream> source = SourceOption(options, &srcGiven);
  if (write ? !source : srcGiven) return E_INVALIDARG;
  if (!file_) return HRESULT_FROM_WIN32(ERROR_INVALID_HANDLE);

  HANDLE duplicate = nullptr;
  const HANDLE process = ::GetCurrentProcess();
  if (!::DuplicateHandle(process, file_.get(), process, &duplicate, 0, FALSE,
                         DUPLICATE_SAME_ACCESS))
    return HResultFromLastError();
  unique_file file(duplicate);

  // A read's chunks reach progress through the reporter, which joins the
  // job like the functions so the worker calls it through a proxy.
  if (!write && callbacks.Has(L"progress")) {
    ComPtr<CChunkReporter> reporter = Make<CChunkReporter>(core_.Get(), callbacks.Get(L"progress"));
    if (!reporter) return E_OUTOFMEMORY;
    OMB_RETURN_IF_FAILED(reporter->SetContext(callbacks.Context()));
    OMB_RETURN_IF_FAILED(callbacks.Set(kChunkReporter, reporter.Get()));
  }
  return StartJob(callbacks, Unknown(),
                  [file = std::move(file), length = *len, source = std::move(source),
                   write](CJob& job) noexcept {
                    const HRESULT outcome = write ? RunWrite(job, file.get(), length, source.Get())
                                                  : RunRead(job, file.get(), length);
                    Deliver(job, outcome);
                  });
}

}  // namespace omb
