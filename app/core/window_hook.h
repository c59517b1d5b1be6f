// A plug-in's own message hook on a window it does not own (the frame).
//
// Several plug-ins watch the same frame for their own messages (the window
// plug-in for window events, the tray for icon notifications, hot keys for
// WM_HOTKEY). Each hook is one link in the window's subclass chain, keyed
// by the hook object itself, so hooks come and go independently. A hook
// holds a reference to its owner (the plug-in) until the window's final
// message: the plug-in then outlives every message its window can still
// deliver, even after the window's plug-ins were released.
#pragma once

#include <windows.h>

#include "sdk/com.h"

namespace omb {

class CWindowHook {
 public:
  CWindowHook() noexcept = default;
  CWindowHook(const CWindowHook&) = delete;
  CWindowHook& operator=(const CWindowHook&) = delete;

  // Hooks window; owner is held until the window's final message.
  [[nodiscard]] bool Attach(HWND window, IUnknown* owner) noexcept;
  // Unhooks (while the window exists) and drops the owner reference.
  void Detach() noexcept;
  HWND Window() const noexcept { return window_; }

 protected:
  ~CWindowHook() { Detach(); }

  // True when the message was handled, with its answer in *answer; false
  // passes it on along the chain.
  virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* answer) noexcept = 0;

 private:
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                               UINT_PTR id, DWORD_PTR data) noexcept;

  HWND window_ = nullptr;
  ComPtr<IUnknown> owner_;
};

}  // namespace omb
