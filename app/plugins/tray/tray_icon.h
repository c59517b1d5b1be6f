// The frame's notification-area icon: its record, the icon and tip it shows,
// whether it is shown, and the hook on the frame that turns the icon's
// notifications into script calls and puts the icon back when the taskbar
// is re-created.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <array>

#include "app/core/window_hook.h"
#include "sdk/com.h"

namespace omb {

// The icon's identifier for its window, and the private message that carries
// its notifications (the mouse message in lParam, the identifier in wParam).
constexpr UINT kTrayIconId = 200;
constexpr UINT kTrayMessage = WM_USER + 3000;
// The longest tip the record's 128-character field holds with its zero.
constexpr size_t kTrayTipMax = 127;

// The record that adds the icon: the version-3 layout (the size the shell has
// known since Windows XP), message, icon and tip; tip is cut to kTrayTipMax.
NOTIFYICONDATAW TrayRecord(HWND window, HICON icon, const wchar_t* tip) noexcept;

class CTraySubclassWindow final : public CWindowHook {
 public:
  enum Callback { kClick, kDoubleClick, kRightClick, kCallbackCount };

  CTraySubclassWindow() noexcept = default;
  ~CTraySubclassWindow() = default;

  void SetTip(const wchar_t* tip, UINT length) noexcept;
  // Takes the icon; the previous one is destroyed.
  void SetIcon(HICON icon) noexcept { icon_.reset(icon); }
  void SetCallback(Callback which, IDispatch* function) noexcept { callbacks_[which] = function; }

  // Asks the shell to add the icon; shown when it accepts.
  void Show() noexcept;
  void Hide() noexcept;
  bool Shown() const noexcept { return shown_; }

 private:
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* answer) noexcept override;
  void Fire(Callback which) noexcept;

  std::array<wchar_t, kTrayTipMax + 1> tip_{};
  unique_hicon icon_;
  bool shown_ = false;
  std::array<ComPtr<IDispatch>, kCallbackCount> callbacks_;
};

}  // namespace omb
