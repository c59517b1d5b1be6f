// The user-interface thread's message loop. Message filters (each browser
// window registers one) see every message before it is dispatched; a filter
// that answers TRUE has handled the message.
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

class CMessageLoop {
 public:
  void AddMessageFilter(IMessageFilter* filter);
  void RemoveMessageFilter(IMessageFilter* filter) noexcept;
  // Offers msg to the filters, newest first.
  bool PreTranslateMessage(MSG* msg) noexcept;
  // Runs until WM_QUIT and answers its exit code.
  int Run() noexcept;

 private:
  std::vector<IMessageFilter*> filters_;
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
