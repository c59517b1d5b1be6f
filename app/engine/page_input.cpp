#include "app/engine/page_input.h"

#include <cstdlib>

#include "app/engine/page.h"
#include "app/engine/page_document.h"
#include "app/engine/page_element.h"

// clang-format off
#include <windowsx.h>  // needs windows.h first
// clang-format on

namespace omb::engine {
namespace {

enum ContextCommand : UINT { kCommandCopy = 1, kCommandPaste, kCommandSelectAll };

POINT PointOf(LPARAM lParam) noexcept { return POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}; }

void FireMouseEvent(HWND server, CPage* page, const wchar_t* type, DISPID dispid, LONG button,
                    POINT client) noexcept {
  ComPtr<CPageDocument> document = page ? page->Document() : nullptr;
  if (!document) return;
  POINT screen = client;
  ClientToScreen(server, &screen);
  try {
    document->FireElementEvent(document->HitTest(client), dispid,
                               EventDetails{type, button, client, screen, nullptr});
  } catch (...) {
  }
}

// There is no text to select or edit without rendering, so the commands do
// nothing; the menu is what a user of the platform control would expect.
void ShowOwnContextMenu(HWND server, POINT screen) noexcept {
  unique_hmenu menu(CreatePopupMenu());
  if (!menu) return;
  AppendMenuW(menu.get(), MF_STRING | MF_GRAYED, kCommandCopy, L"Copy");
  AppendMenuW(menu.get(), MF_STRING | MF_GRAYED, kCommandPaste, L"Paste");
  AppendMenuW(menu.get(), MF_SEPARATOR, 0, nullptr);
  AppendMenuW(menu.get(), MF_STRING, kCommandSelectAll, L"Select All");
  TrackPopupMenu(menu.get(), TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, screen.x, screen.y, 0,
                 server, nullptr);
}

}  // namespace

bool CPageInput::OnMessage(HWND server, CPage* page, IDocHostUIHandler* handler, UINT message,
                           WPARAM wParam, LPARAM lParam) noexcept {
  if (!server) return false;
  ComPtr<CPage> keep(page);
  switch (message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      OnMouseDown(server, page, 1, PointOf(lParam));
      return false;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
      OnMouseDown(server, page, 2, PointOf(lParam));
      return false;
    case WM_MBUTTONDOWN:
      OnMouseDown(server, page, 4, PointOf(lParam));
      return false;
    case WM_MOUSEMOVE:
      OnMouseMove(server, page, wParam, PointOf(lParam));
      return false;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP:
      pressed_ = false;
      return false;
    case WM_CONTEXTMENU:
      OnContextMenu(server, page, handler, lParam);
      return true;
    default:
      return false;
  }
}

void CPageInput::OnMouseDown(HWND server, CPage* page, LONG button, POINT client) noexcept {
  if (GetFocus() != server) SetFocus(server);
  pressed_ = true;
  dragStarted_ = false;
  pressButton_ = button;
  pressPoint_ = client;
  FireMouseEvent(server, page, L"mousedown", DISPID_HTMLELEMENTEVENTS2_ONMOUSEDOWN, button, client);
}

// A move of more than the system's drag distance with the button still down
// starts a drag of the element the press was on.
void CPageInput::OnMouseMove(HWND server, CPage* page, WPARAM buttons, POINT client) noexcept {
  if (!pressed_ || dragStarted_) return;
  if (!(buttons & (MK_LBUTTON | MK_RBUTTON | MK_MBUTTON))) {
    pressed_ = false;
    return;
  }
  if (std::abs(client.x - pressPoint_.x) <= GetSystemMetrics(SM_CXDRAG) &&
      std::abs(client.y - pressPoint_.y) <= GetSystemMetrics(SM_CYDRAG))
    return;
  dragStarted_ = true;
  FireMouseEvent(server, page, L"dragstart", kDispidDragStart, pressButton_, pressPoint_);
}

// The site's ShowContextMenu decides (S_OK: it handled the menu); otherwise
// the control shows its own small menu.
void CPageInput::OnContextMenu(HWND server, CPage* page, IDocHostUIHandler* handler,
                               LPARAM screenPoint) noexcept {
  POINT screen = PointOf(screenPoint);
  if (screen.x == -1 && screen.y == -1) {  // from the keyboard
    screen = POINT{0, 0};
    ClientToScreen(server, &screen);
  }
  POINT client = screen;
  ScreenToClient(server, &client);
  ComPtr<CPageDocument> document = page ? page->Document() : nullptr;
  ComPtr<IDispatch> element;
  if (document) element = ComPtr<CPageElement>(document->ElementAt(document->HitTest(client)));
  if (ComPtr<IDocHostUIHandler> site = handler) {
    IUnknown* commandTarget = document ? static_cast<IHTMLDocument2*>(document.Get()) : nullptr;
    if (site->ShowContextMenu(CONTEXT_MENU_DEFAULT, &screen, commandTarget, element.Get()) == S_OK)
      return;
  }
  if (IsWindow(server)) ShowOwnContextMenu(server, screen);
}

}  // namespace omb::engine
