// Worker-thread jobs that report to script.
//
// Script functions live in the user-interface thread's single-threaded
// apartment, and a worker must never touch them directly. So, on the
// user-interface thread, StartJob marshals every function of a
// CScriptCallbacks set into a stream (CoMarshalInterThreadInterfaceInStream,
// IDispatch), marshals the context the same way when it is an object (a plain
// value is copied), takes a reference on the job's owner (usually the
// plug-in, so it outlives its running jobs) and starts a thread. The worker
// joins the multithreaded apartment, runs the job, and on the first call of a
// function unmarshals its stream; COM then runs the function on the
// user-interface thread while the worker waits, so that thread must keep
// pumping messages.
//
// A job ends in two halves, on every path. On the worker: streams never taken
// are unmarshalled and the result released (so the user-interface side drops
// its marshalling references), proxies and the context are released (each a
// call into the user-interface thread's apartment), and the worker leaves the
// apartment. Then the job is posted back to the thread that started it, where
// the job record, whatever its work captured and the reference on its owner
// are released: an owner such as a plug-in may hold the last reference to
// user-interface objects, which must not be released from a worker. Until
// that second half has run the job counts as running (RunningJobs), and
// whoever tears down the user-interface apartment, or the process, first
// waits for it (WaitForJobs): proxies that outlive their apartment leave the
// worker waiting for an answer that never comes, and a new apartment on the
// same thread may be confused with the old one.
//
// At exit the host asks running jobs to stop (StopJobs): a job checks
// Stopping() between steps and ends as if script had cancelled it, removing
// its partial output as on any failure, and from then on it calls no script
// function.
//
//   CScriptCallbacks callbacks(options, {L"progress", L"success", L"fail"});
//   HRESULT hr = StartJob(callbacks, Unknown(), [paths](CJob& job) {
//     ...
//     if (job.Stopping()) return;
//     omb::unique_variant answer;
//     job.Call(L"progress", {ArgDouble(done), ArgDouble(total)}, answer.put());
//     ...
//     job.Call(L"success", {});
//   });
//   if (FAILED(hr)) callbacks.Call(L"fail", {ArgI4(hr)});  // before returning
#pragma once

#include <array>
#include <initializer_list>
#include <memory>
#include <new>
#include <span>
#include <type_traits>
#include <utility>

#include "app/core/script_call.h"
#include "sdk/com.h"

class CJob {
 public:
  CJob(const CJob&) = delete;
  CJob& operator=(const CJob&) = delete;
  virtual ~CJob();

  // Worker thread only.
  bool Has(const wchar_t* name) const noexcept;
  // True once the host asked running jobs to stop (StopJobs).
  bool Stopping() const noexcept;
  // A manual-reset event that is set while jobs are asked to stop, for jobs
  // that wait on other handles: wait on it too. Null if it could not be made.
  HANDLE StopEvent() const noexcept;
  // The proxy of the named object, unmarshalled on first use; null when the
  // name is absent, unmarshalling failed or the job is stopping. The job
  // keeps the reference.
  IDispatch* Object(const wchar_t* name) noexcept;
  // The context value, unmarshalled on first use when it is an object.
  const VARIANT& Context() noexcept;
  // name(args..., context) through the proxy, run on the user-interface
  // thread. S_FALSE when absent, E_ABORT without a call when the job is
  // stopping; otherwise the call's answer (a failed call, for example
  // because the window is gone, is only a failed result).
  // result, when given, receives the function's answer (pass an empty variant).
  HRESULT Call(const wchar_t* name, std::span<const VARIANT> args,
               VARIANT* result = nullptr) noexcept;
  HRESULT Call(const wchar_t* name, std::initializer_list<VARIANT> args,
               VARIANT* result = nullptr) noexcept;

 protected:
  CJob() noexcept = default;
  // The job's work, on the worker thread with COM initialised (multithreaded
  // apartment). An exception ends the job like a return.
  virtual void Run() = 0;

 private:
  friend HRESULT StartJob(std::unique_ptr<CJob> job, const CScriptCallbacks& callbacks,
                          IUnknown* owner, omb::unique_handle* thread) noexcept;
  static DWORD WINAPI ThreadMain(void* param) noexcept;

  struct Slot {
    const wchar_t* name = nullptr;
    ComPtr<IStream> stream;  // until first use
    ComPtr<IDispatch> proxy;
    HRESULT unmarshalResult = S_OK;
  };
  Slot* Find(const wchar_t* name) noexcept;
  HRESULT Marshal(const CScriptCallbacks& callbacks) noexcept;
  void ReleaseCallbacks() noexcept;

  std::array<Slot, CScriptCallbacks::kMaxEntries> slots_;
  size_t slotCount_ = 0;
  ComPtr<IStream> contextStream_;  // an object context until first use
  VARTYPE contextType_ = VT_EMPTY;
  omb::unique_variant context_;
  ComPtr<IUnknown> owner_;
  HWND home_ = nullptr;  // receives the job back on the starting thread
};

// Starts job on a new thread (default stack), with the functions and context
// of callbacks marshalled for it and a reference on owner (may be null) held
// until it ends; the calling thread must pump messages for the job to end.
// When thread is given it receives the thread's handle; otherwise the handle
// is closed. On failure (marshalling; the thread cannot be created: the
// last-error result; jobs are stopped: E_ABORT) the job is destroyed on this
// thread and callbacks still holds the original functions, so the caller can
// report the failure at once with callbacks.Call.
[[nodiscard]] HRESULT StartJob(std::unique_ptr<CJob> job, const CScriptCallbacks& callbacks,
                               IUnknown* owner, omb::unique_handle* thread = nullptr) noexcept;

// A job whose work is a callable taking CJob& (it may be move-only).
template <class F>
class CFunctionJob final : public CJob {
 public:
  template <class G>
  explicit CFunctionJob(G&& work) : work_(std::forward<G>(work)) {}

 private:
  void Run() override { work_(static_cast<CJob&>(*this)); }
  F work_;
};

// Jobs started and not yet ended (both halves), process-wide.
size_t RunningJobs() noexcept;

// Runs the calling thread's messages until no job is running or timeoutMs
// have passed; true when none is left. Jobs end on the thread that started
// them, so this is called there (the user-interface thread). A WM_QUIT met on
// the way is posted again before returning.
[[nodiscard]] bool WaitForJobs(DWORD timeoutMs) noexcept;

// Asks every running job to stop and refuses new ones (at exit); ResumeJobs
// lets jobs start again.
void StopJobs() noexcept;
void ResumeJobs() noexcept;

template <class F>
  requires std::is_invocable_v<std::decay_t<F>&, CJob&>
[[nodiscard]] HRESULT StartJob(const CScriptCallbacks& callbacks, IUnknown* owner, F&& work,
                               omb::unique_handle* thread = nullptr) noexcept {
  std::unique_ptr<CJob> job;
  try {
    job.reset(new (std::nothrow) CFunctionJob<std::decay_t<F>>(std::forward<F>(work)));
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  if (!job) return E_OUTOFMEMORY;
  return StartJob(std::move(job), callbacks, owner, thread);
}
