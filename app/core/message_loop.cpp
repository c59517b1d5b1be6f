#include "app/core/message_loop.h"

#include <algorithm>

namespace omb {

void CMessageLoop::AddMessageFilter(IMessageFilter* filter) { filters_.push_back(filter); }

void CMessageLoop::RemoveMessageFilter(IMessageFilter* filter) noexcept {
  const auto it = std::find(filters_.begin(), filters_.end(), filter);
  if (it != filters_.end()) filters_.erase(it);
}

bool CMessageLoop::PreTranslateMessage(MSG* msg) noexcept {
  // Walk by index from the newest: a filter may remove itself (or others)
  // while the message is being offered.
  for (size_t i = filters_.size(); i-- > 0;) {
    if (i >= filters_.size()) continue;
    if (filters_[i]->PreTranslateMessage(msg)) return true;
  }
  return false;
}

bool CMessageLoop::AddWaitHandle(HANDLE handle, IWaitHandler* handler) {
  if (waitHandles_.size() >= kMaxWaitHandles) return false;
  waitHandles_.push_back(handle);
  try {
    waitHandlers_.push_back(handler);
  } catch (...) {
    waitHandles_.pop_back();
    throw;
  }
  return true;
}

void CMessageLoop::RemoveWaitHandle(HANDLE handle) noexcept {
  const auto it = std::find(waitHandles_.begin(), waitHandles_.end(), handle);
  if (it == waitHandles_.end()) return;
  waitHandlers_.erase(waitHandlers_.begin() + (it - waitHandles_.begin()));
  waitHandles_.erase(it);
}

bool CMessageLoop::PumpMessages(int* exitCode) noexcept {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      *exitCode = static_cast<int>(msg.wParam);
      return false;
    }
    if (PreTranslateMessage(&msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return true;
}

int CMessageLoop::Run() noexcept {
  MSG msg;
  for (;;) {
    if (!waitHandles_.empty()) {
      // Messages first, then sleep until a message or a handle arrives.
      int exitCode = 0;
      if (!PumpMessages(&exitCode)) return exitCode;
      const DWORD count = static_cast<DWORD>(waitHandles_.size());
      const DWORD woken = MsgWaitForMultipleObjectsEx(count, waitHandles_.data(), INFINITE,
                                                      QS_ALLINPUT, MWMO_INPUTAVAILABLE);
      if (woken < WAIT_OBJECT_0 + count) {
        const HANDLE handle = waitHandles_[woken - WAIT_OBJECT_0];
        waitHandlers_[woken - WAIT_OBJECT_0]->OnSignaled(handle);
      } else if (woken == WAIT_FAILED) {
        // A handle was closed while registered: stop waiting on handles
        // rather than spin.
        waitHandles_.clear();
        waitHandlers_.clear();
      }
      continue;
    }
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0) return static_cast<int>(msg.wParam);
    if (got == -1) continue;
    if (PreTranslateMessage(&msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

void CAppModule::Term() noexcept { loops_.clear(); }

void CAppModule::AddMessageLoop(CMessageLoop* loop) {
  loops_.push_back({GetCurrentThreadId(), loop});
}

void CAppModule::RemoveMessageLoop() noexcept {
  const DWORD thread = GetCurrentThreadId();
  std::erase_if(loops_, [thread](const Entry& e) { return e.thread == thread; });
}

CMessageLoop* CAppModule::GetMessageLoop() const noexcept {
  const DWORD thread = GetCurrentThreadId();
  for (const Entry& e : loops_)
    if (e.thread == thread) return e.loop;
  return nullptr;
}

CAppModule& Module() noexcept {
  static CAppModule module;
  return module;
}

}  // namespace omb
