#include "app/core/job.h"

#include <cwchar>

#include "sdk/trace.h"

namespace {

// Hands back the reference that marshalled data holds: unmarshalling in any
// apartment and releasing the result lets the owning side drop it.
void DiscardStream(ComPtr<IStream>& stream, REFIID iid) noexcept {
  if (!stream) return;
  ComPtr<IUnknown> object;
  ::CoGetInterfaceAndReleaseStream(stream.Detach(), iid,
                                   reinterpret_cast<void**>(object.GetAddressOf()));
}

// The interface an object context is marshalled as.
const IID& ContextInterface(VARTYPE vt) noexcept {
  return vt == VT_DISPATCH ? IID_IDispatch : IID_IUnknown;
}

bool IsObject(const VARIANT& v) noexcept {
  return (v.vt == VT_DISPATCH && v.pdispVal) || (v.vt == VT_UNKNOWN && v.punkVal);
}

}  // namespace

CJob::~CJob() { ReleaseCallbacks(); }

CJob::Slot* CJob::Find(const wchar_t* name) noexcept {
  if (!name) return nullptr;
  for (size_t i = 0; i < slotCount_; ++i)
    if (wcscmp(slots_[i].name, name) == 0) return &slots_[i];
  return nullptr;
}

bool CJob::Has(const wchar_t* name) const noexcept {
  return const_cast<CJob*>(this)->Find(name) != nullptr;
}

IDispatch* CJob::Object(const wchar_t* name) noexcept {
  Slot* slot = Find(name);
  if (!slot) return nullptr;
  if (slot->stream) {
    slot->unmarshalResult =
        ::CoGetInterfaceAndReleaseStream(slot->stream.Detach(), IID_PPV_ARGS(&slot->proxy));
    if (FAILED(slot->unmarshalResult))
      OMB_TRACE(omb::kTraceErrors, "CJob::Object", L"Unmarshal %s failed: %08X", name,
                static_cast<unsigned>(slot->unmarshalResult));
  }
  return slot->proxy.Get();
}

const VARIANT& CJob::Context() noexcept {
  if (contextStream_) {
    IUnknown* object = nullptr;
    if (SUCCEEDED(::CoGetInterfaceAndReleaseStream(contextStream_.Detach(),
                                                   ContextInterface(contextType_),
                                                   reinterpret_cast<void**>(&object)))) {
      VARIANT* v = context_.put();
      v->vt = contextType_;
      v->punkVal = object;  // pdispVal shares the storage
    }
  }
  return *context_;
}

HRESULT CJob::Call(const wchar_t* name, std::span<const VARIANT> args, VARIANT* result) noexcept {
  Slot* slot = Find(name);
  if (!slot) return S_FALSE;
  IDispatch* fn = Object(name);
  if (!fn) return FAILED(slot->unmarshalResult) ? slot->unmarshalResult : E_FAIL;
  return CallScript(fn, args, Context(), result);
}

HRESULT CJob::Call(const wchar_t* name, std::initializer_list<VARIANT> args,
                   VARIANT* result) noexcept {
  return Call(name, std::span<const VARIANT>(args.begin(), args.size()), result);
}

// User-interface thread: the functions and an object context go into
// streams; any other context value is copied.
HRESULT CJob::Marshal(const CScriptCallbacks& callbacks) noexcept {
  for (const CScriptCallbacks::Entry& entry : callbacks.Entries()) {
    Slot& slot = slots_[slotCount_];
    OMB_RETURN_IF_FAILED(::CoMarshalInterThreadInterfaceInStream(IID_IDispatch, entry.object.Get(),
                                                                 &slot.stream));
    slot.name = entry.name;
    ++slotCount_;
  }
  const VARIANT& context = callbacks.Context();
  if (!IsObject(context)) return context_.CopyFrom(context);
  contextType_ = context.vt;
  return ::CoMarshalInterThreadInterfaceInStream(ContextInterface(context.vt), context.punkVal,
                                                 &contextStream_);
}

// Runs on whichever thread ends the job, with COM initialised there.
void CJob::ReleaseCallbacks() noexcept {
  for (size_t i = 0; i < slotCount_; ++i) {
    DiscardStream(slots_[i].stream, IID_IDispatch);
    slots_[i].proxy.Reset();
  }
  slotCount_ = 0;
  DiscardStream(contextStream_, ContextInterface(contextType_));
  context_.put();
}

DWORD WINAPI CJob::ThreadMain(void* param) noexcept {
  std::unique_ptr<CJob> job(static_cast<CJob*>(param));
  const HRESULT com = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  if (FAILED(com))
    OMB_TRACE(omb::kTraceErrors, "CJob::ThreadMain", L"CoInitializeEx failed: %08X",
              static_cast<unsigned>(com));
  try {
    job->Run();
  } catch (...) {
    OMB_TRACE(omb::kTraceErrors, "CJob::ThreadMain", L"The job ended with an exception.");
  }
  job->ReleaseCallbacks();
  ComPtr<IUnknown> owner = std::move(job->owner_);
  job.reset();
  owner.Reset();
  if (SUCCEEDED(com)) ::CoUninitialize();
  return 0;
}

HRESULT StartJob(std::unique_ptr<CJob> job, const CScriptCallbacks& callbacks, IUnknown* owner,
                 omb::unique_handle* thread) noexcept {
  if (thread) thread->reset();
  if (!job) return E_INVALIDARG;
  OMB_RETURN_IF_FAILED(job->Marshal(callbacks));
  job->owner_ = owner;
  DWORD id = 0;
  HANDLE handle = ::CreateThread(nullptr, 0, &CJob::ThreadMain, job.get(), 0, &id);
  if (!handle) {
    HRESULT hr = omb::HResultFromLastError();
    if (SUCCEEDED(hr)) hr = E_FAIL;
    OMB_TRACE(omb::kTraceErrors, "StartJob", L"CreateThread failed: %08X",
              static_cast<unsigned>(hr));
    return hr;
  }
  job.release();  // the thread owns it now
  if (thread)
    thread->reset(handle);
  else
    ::CloseHandle(handle);
  return S_OK;
}
