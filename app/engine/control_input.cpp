// Keys and input on the page window of the script-only engine: the site's
// accelerator handling first, then the engine's own reload keys; mouse and
// context menus through the shared page input.
#include "app/engine/browser_control.h"

namespace omb::engine {

bool CPageControl::OnServerMessage(UINT message, WPARAM wParam, LPARAM lParam) noexcept {
  return input_.OnMessage(server_, page_.Get(), SiteAs<IDocHostUIHandler>().Get(), message, wParam,
                          lParam);
}

// Keys for any window of the top-level window that holds the control.
bool CPageControl::IsOwnKeyMessage(HWND window) const noexcept {
  if (!server_ || !window) return false;
  return window == server_ || GetAncestor(window, GA_ROOT) == GetAncestor(server_, GA_ROOT);
}

STDMETHODIMP CPageControl::TranslateAccelerator(LPMSG msg) noexcept {
  if (!msg) return E_INVALIDARG;
  if (msg->message < WM_KEYFIRST || msg->message > WM_KEYLAST || !IsOwnKeyMessage(msg->hwnd))
    return S_FALSE;
  ComPtr<CPageControl> keep(this);
  if (ComPtr<IDocHostUIHandler> handler = SiteAs<IDocHostUIHandler>()) {
    if (handler->TranslateAccelerator(msg, &kCgidMshtml, 0) == S_OK) return S_OK;
  }
  if (msg->message == WM_KEYDOWN && msg->wParam == VK_F5) {  // F5 and Ctrl+F5 reload
    Refresh();
    return S_OK;
  }
  return S_FALSE;
}

}  // namespace omb::engine
