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

int CMessageLoop::Run() noexcept {
  MSG msg;
  for (;;) {
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
