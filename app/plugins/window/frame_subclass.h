// The two window subclasses of the window plug-in.
//
// CMainSubclassWindow sits on the frame (top-level) window: window events
// enter script here, the tracking sizes script set are applied, a
// caption-less frame loses its non-client area, menu-bar commands go to the
// attached menu object and the private inter-window messages are handled.
// It holds a reference to its plug-in until the frame's final message, so the
// plug-in outlives every message its window can still receive.
//
// CBrowserSubclassWindow sits on the page view ("Internet Explorer_Server")
// and, while edge resizing is on, turns the 6-pixel band along the view's
// sides into resize handles for the frame.
#pragma once

#include <windows.h>

#include <array>

#include "sdk/com.h"

namespace omb {

class CMainSubclassWindow {
 public:
  enum Event { kOnClose, kOnMinimize, kOnMaximize, kOnRestore, kOnClosed, kOnActivate,
               kOnInactivate, kOnShutdown, kEventCount };
  enum TrackSize { kMinWidth, kMinHeight, kMaxWidth, kMaxHeight, kTrackSizeCount };
  static constexpr UINT kNotSet = 0xFFFFFFFFu;

  CMainSubclassWindow() noexcept { tracking_.fill(kNotSet); }
  CMainSubclassWindow(const CMainSubclassWindow&) = delete;
  CMainSubclassWindow& operator=(const CMainSubclassWindow&) = delete;
  ~CMainSubclassWindow() { Detach(); }

  // Subclasses frame; owner is held until the frame's final message.
  bool Attach(HWND frame, IUnknown* owner) noexcept;
  void Detach() noexcept;

  void SetEvent(Event event, IDispatch* function) noexcept { events_[event] = function; }
  void SetTrackSize(TrackSize which, UINT value) noexcept { tracking_[which] = value; }
  void SetCaptionless(bool captionless) noexcept { captionless_ = captionless; }
  void SetMenu(IDispatch* menu) noexcept { menu_ = menu; }
  IDispatch* Menu() const noexcept { return menu_.Get(); }
  void ReleaseReferences() noexcept;

 private:
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                               UINT_PTR id, DWORD_PTR data) noexcept;
  // True when the message was handled, with its answer in *answer.
  bool Handle(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* answer) noexcept;
  bool OnSysCommand(WPARAM command) noexcept;
  bool OnMenuCommand(WPARAM wParam) noexcept;
  void ApplyTrackSizes(MINMAXINFO* info) const noexcept;
  // Calls the event's function; true when it answered exactly false.
  bool Fire(Event event) noexcept;

  HWND frame_ = nullptr;
  std::array<UINT, kTrackSizeCount> tracking_;
  bool captionless_ = false;
  ComPtr<IDispatch> menu_;
  std::array<ComPtr<IDispatch>, kEventCount> events_;
  ComPtr<IUnknown> self_;
};

class CBrowserSubclassWindow {
 public:
  CBrowserSubclassWindow() noexcept = default;
  CBrowserSubclassWindow(const CBrowserSubclassWindow&) = delete;
  CBrowserSubclassWindow& operator=(const CBrowserSubclassWindow&) = delete;
  ~CBrowserSubclassWindow() { Detach(); }

  bool Attach(HWND view, HWND frame) noexcept;
  void Detach() noexcept;
  void SetEdgeResize(bool on) noexcept { edgeResize_ = on; }

 private:
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                               UINT_PTR id, DWORD_PTR data) noexcept;
  int EdgeOf(LPARAM screenPoint) const noexcept;

  HWND view_ = nullptr;
  HWND frame_ = nullptr;
  bool edgeResize_ = false;
};

// The page view window of a frame: its first child's first child's first
// child, which must be of class "Internet Explorer_Server". Null (with a
// trace line) otherwise.
HWND GetIEServerWnd(HWND frame) noexcept;

}  // namespace omb
