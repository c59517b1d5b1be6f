#include "app/core/window_hook.h"

#include "app/core/subclass.h"

#include <utility>

namespace omb {

bool CWindowHook::Attach(HWND window, IUnknown* owner) noexcept {
  if (window_ || !window) return false;
  if (!SetSubclass(window, Proc, reinterpret_cast<UINT_PTR>(this),
                         reinterpret_cast<DWORD_PTR>(this)))
    return false;
  window_ = window;
  owner_ = owner;
  return true;
}

void CWindowHook::Detach() noexcept {
  if (window_ && IsWindow(window_))
    RemoveSubclass(window_, Proc, reinterpret_cast<UINT_PTR>(this));
  window_ = nullptr;
  owner_ = nullptr;
}

LRESULT CALLBACK CWindowHook::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                   UINT_PTR id, DWORD_PTR data) noexcept {
  auto* self = reinterpret_cast<CWindowHook*>(data);
  if (message == WM_NCDESTROY) {
    // The final message: unhook, pass it on, and only then let the owner go
    // (releasing it may destroy this object).
    RemoveSubclass(window, Proc, id);
    self->window_ = nullptr;
    ComPtr<IUnknown> owner = std::move(self->owner_);
    return DefSubclass(window, message, wParam, lParam);
  }
  LRESULT answer = 0;
  if (self->OnMessage(message, wParam, lParam, &answer)) return answer;
  return DefSubclass(window, message, wParam, lParam);
}

}  // namespace omb
