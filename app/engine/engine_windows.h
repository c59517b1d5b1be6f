// The engine's windows: the platform control's chain "Shell Embedding" ->
// "Shell DocObject View" -> "Internet Explorer_Server" (the host and its
// plug-ins find the page window by these names), and a message-only window
// that carries the posted navigation steps and the page timer even while
// the control is not in place.
#pragma once

#include "app/engine/engine_com.h"

namespace omb::engine {

enum class EngineWindow { kMessages, kEmbedding, kDocObjectView, kServer };

inline constexpr wchar_t kEmbeddingClass[] = L"Shell Embedding";
inline constexpr wchar_t kDocObjectViewClass[] = L"Shell DocObject View";
inline constexpr wchar_t kServerClass[] = L"Internet Explorer_Server";

class IEngineWindowOwner {
 public:
  // Answers true when it handled the message (result is then returned).
  virtual bool OnEngineMessage(EngineWindow which, HWND window, UINT message, WPARAM wParam,
                               LPARAM lParam, LRESULT* result) noexcept = 0;

 protected:
  ~IEngineWindowOwner() = default;
};

// Creates one window of the chain (a child of parent filling rect) or the
// message window (parent and rect ignored); null on failure.
HWND CreateEngineWindow(EngineWindow which, HWND parent, const RECT& rect,
                        IEngineWindowOwner* owner) noexcept;

// Stops a window (and its children) from calling its owner.
void DetachEngineWindow(HWND window) noexcept;

// Detaches and destroys a window and its children.
void DestroyEngineWindow(HWND window) noexcept;

// What the outer windows of the chain (embedding, view) do alike: keep their
// child window filling them and hand the focus to the page window. Answers
// true when it handled the message.
bool OnOuterWindowMessage(EngineWindow which, UINT message, LPARAM lParam, HWND view,
                          HWND server) noexcept;

// The window that owns the control's message boxes: the top-level window of
// its embedding window or, before it has one, of its in-place site's window.
HWND ControlOwnerWindow(HWND embedding, IOleClientSite* site) noexcept;

// A control's message window (above): its pages' posted loading steps, the
// navigations a page asked for, the control's own posted close and the page
// timer. Made with the first navigation, destroyed at teardown; the owner
// reads each message the window receives through Read.
class CPageMessageWindow {
 public:
  enum class Request { kNone, kStep, kNavigate, kClose, kTimer };

  CPageMessageWindow() noexcept = default;
  CPageMessageWindow(const CPageMessageWindow&) = delete;
  CPageMessageWindow& operator=(const CPageMessageWindow&) = delete;
  ~CPageMessageWindow() { Destroy(); }

  // Makes the window unless it exists; false (with the last error) when it cannot.
  bool Ensure(IEngineWindowOwner* owner) noexcept;
  void Destroy() noexcept;
  bool Exists() const noexcept { return window_ != nullptr; }

  void PostStep(UINT generation) noexcept { Post(kStepMessage, generation); }
  void PostNavigate(UINT generation) noexcept { Post(kNavigateMessage, generation); }
  void PostClose() noexcept { Post(kCloseMessage, 0); }
  // Arms (or re-arms) the one page timer; KillTimer stops it.
  void SetTimer(UINT delayMs) noexcept;
  void KillTimer() noexcept;

  // What a message of this window asks for, with the page generation a step
  // or navigation names; kNone for any other message (a WM_DESTROY makes the
  // window forget its handle).
  Request Read(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
               UINT* generation) noexcept;

 private:
  static constexpr UINT kStepMessage = WM_APP + 0x51;
  static constexpr UINT kNavigateMessage = WM_APP + 0x52;
  static constexpr UINT kCloseMessage = WM_APP + 0x53;
  static constexpr UINT_PTR kTimerId = 1;

  void Post(UINT message, UINT generation) noexcept;

  HWND window_ = nullptr;
};

}  // namespace omb::engine
