#include "app/core/job.h"

#include <atomic>
#include <cwchar>

#include "sdk/trace.h"

namespace {

// Jobs started and not yet ended; changed on the starting thread, except
// when a job cannot be handed back and ends on its worker.
std::atomic<long> g_runningJobs{0};
std::atomic<bool> g_stopping{false};

// Set while g_stopping holds; lives as long as the process.
HANDLE StopEventHandle() noexcept {
  static const HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  return event;
}

// The message that hands an ended job back: lParam is the CJob.
constexpr UINT kJobEnded = WM_APP + 0x4A0;
constexpr wchar_t kJobWindowClass[] = L"OmbrelJobEnd";

LRESULT CALLBACK JobWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
  if (message != kJobEnded) return DefWindowProcW(window, message, wParam, lParam);
  delete reinterpret_cast<CJob*>(lParam);
  --g_runningJobs;
  return 0;
}

// The calling thread's message-only window that receives its ended jobs,
// made on first use; it goes with the thread.
HWND JobWindow() noexcept {
  thread_local HWND window = nullptr;
  if (window && IsWindow(window)) return window;
  static const ATOM registered = [] {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &JobWindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kJobWindowClass;
    return RegisterClassExW(&wc);
  }();
  if (!registered) return nullptr;
  window = CreateWindowExW(0, kJobWindowClass, nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
  return window;
}

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

bool CJob::Stopping() const noexcept { return g_stopping.load(); }

HANDLE CJob::StopEvent() const noexcept { return StopEventHandle(); }

IDispatch* CJob::Object(const wchar_t* name) noexcept {
  Slot* slot = Find(name);
  if (!slot || Stopping()) return nullptr;
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
  if (Stopping()) return E_ABORT;
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
  // What belongs to this apartment goes here; the rest goes home.
  job->ReleaseCallbacks();
  if (SUCCEEDED(com)) ::CoUninitialize();
  if (::PostMessageW(job->home_, kJobEnded, 0, reinterpret_cast<LPARAM>(job.get()))) {
    job.release();
    return 0;
  }
  // The starting thread is gone (or its queue is full): end here rather
  // than never.
  OMB_TRACE(omb::kTraceErrors, "CJob::ThreadMain", L"The job could not be handed back: %u",
            static_cast<unsigned>(::GetLastError()));
  job.reset();
  --g_runningJobs;
  return 0;
}

HRESULT StartJob(std::unique_ptr<CJob> job, const CScriptCallbacks& callbacks, IUnknown* owner,
                 omb::unique_handle* thread) noexcept {
  if (thread) thread->reset();
  if (!job) return E_INVALIDARG;
  if (g_stopping) return E_ABORT;
  job->home_ = JobWindow();
  if (!job->home_) {
    HRESULT hr = omb::HResultFromLastError();
    return SUCCEEDED(hr) ? E_FAIL : hr;
  }
  OMB_RETURN_IF_FAILED(job->Marshal(callbacks));
  job->owner_ = owner;
  ++g_runningJobs;
  DWORD id = 0;
  HANDLE handle = ::CreateThread(nullptr, 0, &CJob::ThreadMain, job.get(), 0, &id);
  if (!handle) {
    HRESULT hr = omb::HResultFromLastError();
    if (SUCCEEDED(hr)) hr = E_FAIL;
    --g_runningJobs;
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

size_t RunningJobs() noexcept { return static_cast<size_t>(g_runningJobs.load()); }

bool WaitForJobs(DWORD timeoutMs) noexcept {
  const ULONGLONG end = ::GetTickCount64() + timeoutMs;
  bool quit = false;
  WPARAM quitCode = 0;
  while (g_runningJobs.load() > 0) {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        quit = true;
        quitCode = msg.wParam;
        continue;
      }
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
    if (g_runningJobs.load() == 0) break;
    const ULONGLONG now = ::GetTickCount64();
    if (now >= end) break;
    ::MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(end - now), QS_ALLINPUT,
                                  MWMO_INPUTAVAILABLE);
  }
  if (quit) ::PostQuitMessage(static_cast<int>(quitCode));
  return g_runningJobs.load() == 0;
}

void StopJobs() noexcept {
  g_stopping = true;
  if (HANDLE event = StopEventHandle()) ::SetEvent(event);
}

void ResumeJobs() noexcept {
  if (HANDLE event = StopEventHandle()) ::ResetEvent(event);
  g_stopping = false;
}
