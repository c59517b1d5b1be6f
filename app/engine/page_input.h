// Mouse and context-menu input on a page window ("Internet Explorer_Server"),
// shared by the controls that show pages: mouse-down and drag-start as
// element events, and the context menu (the site's ShowContextMenu decides
// first, else a small menu of the control's own).
#pragma once

#include "app/engine/engine_com.h"

namespace omb::engine {

class CPage;

class CPageInput {
 public:
  // Handles a message of the page window server; true when it was handled
  // and must not reach the default procedure. handler may be null.
  bool OnMessage(HWND server, CPage* page, IDocHostUIHandler* handler, UINT message,
                 WPARAM wParam, LPARAM lParam) noexcept;
  // Forgets a press in progress (the window went away).
  void Reset() noexcept { pressed_ = false; }

 private:
  void OnMouseDown(HWND server, CPage* page, LONG button, POINT client) noexcept;
  void OnMouseMove(HWND server, CPage* page, WPARAM buttons, POINT client) noexcept;
  void OnContextMenu(HWND server, CPage* page, IDocHostUIHandler* handler,
                     LPARAM screenPoint) noexcept;

  bool pressed_ = false;
  bool dragStarted_ = false;
  LONG pressButton_ = 0;
  POINT pressPoint_{};
};

}  // namespace omb::engine
