// Input on the page window ("Internet Explorer_Server"): mouse-down and
// drag-start as element events, the context menu (the site decides first),
// and keys (the site's accelerator handling first, then the engine's own
// reload keys).
#include <cstdlib>

#include "app/engine/browser_control.h"
#include "app/engine/page_document.h"
#include "app/engine/page_element.h"

// clang-format off
#include <windowsx.h>  // needs windows.h first
// clang-format on

namespace omb::engine {
namespace {

enum ContextCommand : UINT { kCommandCopy = 1, kCommandPaste, kCommandSelectAll };

POINT PointOf(LPARAM lParam) noexcept { return POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}; }

}  // namespace

bool CPageControl::OnServerMessage(UINT message, WPARAM wParam, LPARAM lParam) noexcept {
  switch (message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      OnMouseDown(1, PointOf(lParam));
      return false;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
      OnMouseDown(2, PointOf(lParam));
      return false;
    case WM_MBUTTONDOWN:
      OnMouseDown(4, PointOf(lParam));
      return false;
    case WM_MOUSEMOVE:
      OnMouseMove(wParam, PointOf(lParam));
      return false;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP:
      pressed_ = false;
      return false;
    case WM_CONTEXTMENU:
      OnContextMenu(lParam);
      return true;
    default:
      return false;
  }
}

void CPageControl::OnMouseDown(LONG button, POINT client) noexcept {
  if (server_ && GetFocus() != server_) SetFocus(server_);
  pressed_ = true;
  dragStarted_ = false;
  pressButton_ = button;
  pressPoint_ = client;
  FireMouseEvent(L"mousedown", DISPID_HTMLELEMENTEVENTS2_ONMOUSEDOWN, button, client);
}

// A move of more than the system's drag distance with the button still down
// starts a drag of the element the press was on.
void CPageControl::OnMouseMove(WPARAM buttons, POINT client) noexcept {
  if (!pressed_ || dragStarted_) return;
  if (!(buttons & (MK_LBUTTON | MK_RBUTTON | MK_MBUTTON))) {
    pressed_ = false;
    return;
  }
  if (std::abs(client.x - pressPoint_.x) <= GetSystemMetrics(SM_CXDRAG) &&
      std::abs(client.y - pressPoint_.y) <= GetSystemMetrics(SM_CYDRAG))
    return;
  dragStarted_ = true;
  FireMouseEvent(L"dragstart", kDispidDragStart, pressButton_, pressPoint_);
}

void CPageControl::FireMouseEvent(const wchar_t* type, DISPID dispid, LONG button,
                                  POINT client) noexcept {
  ComPtr<CPage> page = page_;
  ComPtr<CPageDocument> document = page ? page->Document() : nullptr;
  if (!document) return;
  POINT screen = client;
  if (server_) ClientToScreen(server_, &screen);
  try {
    document->FireElementEvent(document->HitTest(client), dispid,
                               EventDetails{type, button, client, screen, nullptr});
  } catch (...) {
  }
}

// The site's ShowContextMenu decides (S_OK: it handled the menu); otherwise
// the engine shows its own small menu.
void CPageControl::OnContextMenu(LPARAM screenPoint) noexcept {
  if (!server_) return;
  POINT screen = PointOf(screenPoint);
  if (screen.x == -1 && screen.y == -1) {  // from the keyboard
    screen = POINT{0, 0};
    ClientToScreen(server_, &screen);
  }
  POINT client = screen;
  ScreenToClient(server_, &client);
  ComPtr<CPage> page = page_;
  ComPtr<CPageDocument> document = page ? page->Document() : nullptr;
  ComPtr<IDispatch> element;
  if (document) element = ComPtr<CPageElement>(document->ElementAt(document->HitTest(client)));
  if (ComPtr<IDocHostUIHandler> handler = SiteAs<IDocHostUIHandler>()) {
    IUnknown* commandTarget = document ? static_cast<IHTMLDocument2*>(document.Get()) : nullptr;
    if (handler->ShowContextMenu(CONTEXT_MENU_DEFAULT, &screen, commandTarget, element.Get()) ==
        S_OK)
      return;
  }
  if (server_) ShowOwnContextMenu(screen);
}

// There is no text to select or edit without rendering, so the commands do
// nothing; the menu is what a user of the platform control would expect.
void CPageControl::ShowOwnContextMenu(POINT screen) noexcept {
  unique_hmenu menu(CreatePopupMenu());
  if (!menu) return;
  AppendMenuW(menu.get(), MF_STRING | MF_GRAYED, kCommandCopy, L"Copy");
  AppendMenuW(menu.get(), MF_STRING | MF_GRAYED, kCommandPaste, L"Paste");
  AppendMenuW(menu.get(), MF_SEPARATOR, 0, nullptr);
  AppendMenuW(menu.get(), MF_STRING, kCommandSelectAll, L"Select All");
  TrackPopupMenu(menu.get(), TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, screen.x, screen.y, 0,
                 server_, nullptr);
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
