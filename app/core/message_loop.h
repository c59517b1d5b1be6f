// The user-interface thread's message loop. Message filters (each browser
// window registers one) see every message before it is dispatched; a filter
// that answers TRUE has handled the message. The loop can also wait on
// kernel handles (a directory-change event, a timer) besides messages: their
// handlers run on this thread from the loop itself, never from a modal loop
// or while script runs.
#pragma once

#include <windows.h>

#include <vector>

namespace omb {

class IMessageFilter {
 public:
  virtual BOOL PreTranslateMessage(MSG* msg) noexcept = 0;

 protected:
  ~IMessageFilter() = default;
};

class IWaitHandler {
 public:
  // handle (registered with AddWaitHandle) is signalled.
  virtual void OnSignaled(HANDLE handle) noexcept = 0;

 protected:
  ~IWaitHandler() = default;
};

class CMessageLoop {
 public:
  // At most this many handles (the platform's wait limit, less the message queue).
  static constexpr size_t kMaxWaitHandles = MAXIMUM_WAIT_OBJECTS - 1;

  // False when the loop already waits on kMaxWaitHandles handles.
  bool AddWaitHandle(HANDLE handle, IWaitHandler* handler);
  void RemoveWaitHandle(HANDLE handle) noexcept;
  void AddMessageFilter(IMessageFilter* filter);
  void RemoveMessageFilter(IMessageFilter* filter) noexcept;
  // Offers msg to the filters, newest first.
  bool PreTranslateMessage(MSG* msg) noexcept;
  // Runs until WM_QUIT and answers its exit code.
  int Run() noexcept;

 private:
  // Dispatches the queued messages; false after WM_QUIT (its code in *exitCode).
  bool PumpMessages(int* exitCode) noexcept;

  std::vector<IMessageFilter*> filters_;
  std::vector<HANDLE> waitHandles_;
  std::vector<IWaitHandler*> waitHandlers_;
};

// The module: the message loop registered for each thread that runs one.
class CAppModule {
 public:
  void Init(HINSTANCE instance) noexcept { instance_ = instance; }
  void Term() noexcept;
  HINSTANCE Instance() const noexcept { return instance_; }

  void AddMessageLoop(CMessageLoop* loop);
  void RemoveMessageLoop() noexcept;
  // The loop of the calling thread, or null.
  CMessageLoop* GetMessageLoop() const noexcept;

 private:
  struct Entry {
    DWORD thread;
    CMessageLoop* loop;
  };
  HINSTANCE instance_ = nullptr;
  std::vector<Entry> loops_;
};

// The process's module.
CAppModule& Module() noexcept;

}  // namespace omb
