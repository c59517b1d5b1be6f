#include "app/plugins/window/frame_subclass.h"

#include "app/core/subclass.h"

#include "app/plugins/window/msg_dispatch.h"
#include "app/plugins/window/window_logic.h"
#include "sdk/omb.h"
#include "sdk/trace.h"

namespace omb {
namespace {

constexpr UINT_PTR kFrameSubclassId = 0x0BD0;
constexpr UINT_PTR kViewSubclassId = 0x0BD1;

}  // namespace

// ---------------------------------------------------------------------------
// Frame

bool CMainSubclassWindow::Attach(HWND frame, IUnknown* owner) noexcept {
  if (!SetSubclass(frame, Proc, kFrameSubclassId, reinterpret_cast<DWORD_PTR>(this)))
    return false;
  frame_ = frame;
  self_ = owner;
  return true;
}

void CMainSubclassWindow::Detach() noexcept {
  if (frame_ && IsWindow(frame_)) RemoveSubclass(frame_, Proc, kFrameSubclassId);
  frame_ = nullptr;
}

void CMainSubclassWindow::ReleaseReferences() noexcept {
  menu_ = nullptr;
  for (auto& function : events_) function = nullptr;
}

LRESULT CALLBACK CMainSubclassWindow::Proc(HWND window, UINT message, WPARAM wParam,
                                           LPARAM lParam, UINT_PTR, DWORD_PTR data) noexcept {
  auto* self = reinterpret_cast<CMainSubclassWindow*>(data);
  if (message == WM_NCDESTROY) {
    // The final message: detach, pass it on, and only then let the plug-in go
    // (releasing it may destroy this object).
    RemoveSubclass(window, Proc, kFrameSubclassId);
    self->frame_ = nullptr;
    // The marker properties go with the window (the names they hold are
    // counted platform atoms).
    RemoveFrameMarkers(window);
    ComPtr<IUnknown> owner = std::move(self->self_);
    return DefSubclass(window, message, wParam, lParam);
  }
  LRESULT answer = 0;
  if (self->Handle(message, wParam, lParam, &answer)) return answer;
  return DefSubclass(window, message, wParam, lParam);
}

bool CMainSubclassWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam,
                                 LRESULT* answer) noexcept {
  *answer = 0;
  switch (message) {
    case WM_DESTROY:
      Fire(kOnClosed);
      // Destroying a window destroys its menu bar with every pop-up in it;
      // the menu objects own those menus and may outlive the window.
      if (menu_) ::SetMenu(frame_, nullptr);
      return false;
    case WM_SYSCOMMAND:
      return OnSysCommand(wParam);
    case WM_GETMINMAXINFO:
      if (!lParam) return false;
      ApplyTrackSizes(reinterpret_cast<MINMAXINFO*>(lParam));
      return true;
    case WM_NCCALCSIZE:
      return captionless_;
    case WM_NCACTIVATE:
      Fire(wParam ? kOnActivate : kOnInactivate);
      return false;
    case WM_QUERYENDSESSION:
      Fire(kOnShutdown);
      *answer = 1;
      return true;
    case MSG_SHOW_WINDOW:
      OnShowWindowMessage(frame_, lParam);
      return true;
    case MSG_DELIVER:
      *answer = DeliverMessage(frame_, wParam, lParam);
      return true;
    case WM_COMMAND:
      // Menus and accelerators send no control handle; controls do.
      return lParam == 0 && OnMenuCommand(wParam);
    default:
      return false;
  }
}

// The command word is compared whole: a maximise from a caption double-click
// (SC_MAXIMIZE | HTCAPTION) does not reach "onMaximize".
bool CMainSubclassWindow::OnSysCommand(WPARAM command) noexcept {
  switch (command) {
    case SC_CLOSE: return Fire(kOnClose);
    case SC_MINIMIZE: return Fire(kOnMinimize);
    case SC_MAXIMIZE: return Fire(kOnMaximize);
    case SC_RESTORE: return Fire(kOnRestore);
    default: return false;
  }
}

// The attached menu tells whether the identifier is one of its items, so
// every identifier the menus hand out is routed, however many were taken.
bool CMainSubclassWindow::OnMenuCommand(WPARAM wParam) noexcept {
  const UINT id = LOWORD(wParam);
  if (id == 0 || !menu_) return false;
  ComPtr<OMB::IMenu> menu;
  if (FAILED(menu_.As(&menu))) return false;
  return menu->Exec(id) != S_FALSE;
}

void CMainSubclassWindow::ApplyTrackSizes(MINMAXINFO* info) const noexcept {
  auto apply = [this](TrackSize which, LONG* target) {
    if (tracking_[which] != kNotSet) *target = static_cast<LONG>(tracking_[which]);
  };
  apply(kMinWidth, &info->ptMinTrackSize.x);
  apply(kMinHeight, &info->ptMinTrackSize.y);
  apply(kMaxWidth, &info->ptMaxTrackSize.x);
  apply(kMaxHeight, &info->ptMaxTrackSize.y);
}

bool CMainSubclassWindow::Fire(Event event) noexcept {
  ComPtr<IDispatch> function = events_[event];  // the call may replace it
  if (!function) return false;
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  unique_variant result;
  function->Invoke(DISPID_VALUE, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none,
                   result.get(), nullptr, nullptr);
  return result.vt() == VT_BOOL && result->boolVal == VARIANT_FALSE;
}

// ---------------------------------------------------------------------------
// Page view

bool CBrowserSubclassWindow::Attach(HWND view, HWND frame) noexcept {
  if (!SetSubclass(view, Proc, kViewSubclassId, reinterpret_cast<DWORD_PTR>(this)))
    return false;
  view_ = view;
  frame_ = frame;
  return true;
}

void CBrowserSubclassWindow::Detach() noexcept {
  if (view_ && IsWindow(view_)) RemoveSubclass(view_, Proc, kViewSubclassId);
  view_ = nullptr;
}

int CBrowserSubclassWindow::EdgeOf(LPARAM screenPoint) const noexcept {
  RECT client{};
  GetClientRect(view_, &client);
  POINT point{static_cast<short>(LOWORD(screenPoint)), static_cast<short>(HIWORD(screenPoint))};
  ScreenToClient(view_, &point);
  return EdgeHitTest(client, point);
}

LRESULT CALLBACK CBrowserSubclassWindow::Proc(HWND window, UINT message, WPARAM wParam,
                                              LPARAM lParam, UINT_PTR, DWORD_PTR data) noexcept {
  auto* self = reinterpret_cast<CBrowserSubclassWindow*>(data);
  if (message == WM_NCDESTROY) {
    RemoveSubclass(window, Proc, kViewSubclassId);
    self->view_ = nullptr;
  } else if (self->edgeResize_ && message == WM_NCHITTEST) {
    if (const int edge = self->EdgeOf(lParam)) return edge;
  } else if (self->edgeResize_ && message == WM_NCLBUTTONDOWN) {
    // The band belongs to the frame: size the frame, not this child window.
    if (const int direction = SizeDirectionOfHitTest(self->EdgeOf(lParam))) {
      PostMessageW(self->frame_, WM_SYSCOMMAND, SC_SIZE + direction, lParam);
      return 0;
    }
  }
  return DefSubclass(window, message, wParam, lParam);
}

// ---------------------------------------------------------------------------

HWND GetIEServerWnd(HWND frame) noexcept {
  constexpr const char* kMethod = "GetIEServerWnd";
  HWND embed = frame ? GetWindow(frame, GW_CHILD) : nullptr;
  if (!embed) {
    OMB_TRACE(kTraceErrors, kMethod, L"Query EmbedWnd failed.");
    return nullptr;
  }
  HWND docView = GetWindow(embed, GW_CHILD);
  if (!docView) {
    OMB_TRACE(kTraceErrors, kMethod, L"Query DocView failed.");
    return nullptr;
  }
  HWND server = GetWindow(docView, GW_CHILD);
  if (!server) {
    OMB_TRACE(kTraceErrors, kMethod, L"Query IEServer failed.");
    return nullptr;
  }
  wchar_t className[260] = L"";
  GetClassNameW(server, className, 260);
  if (_wcsicmp(className, L"Internet Explorer_Server") != 0) {
    OMB_TRACE(kTraceErrors, kMethod, L"IEServer class name mismatch.");
    return nullptr;
  }
  return server;
}

}  // namespace omb
