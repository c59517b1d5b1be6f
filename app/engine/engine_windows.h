// The engine's windows: the platform control's chain "Shell Embedding" ->
// "Shell DocObject View" -> "Internet Explorer_Server" (the host and its
// plug-ins find the page window by these names), and a message-only window
// that carries the posted navigation steps and the page timer even while
// the control is not in place.
#pragma once

#include <windows.h>

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

}  // namespace omb::engine
