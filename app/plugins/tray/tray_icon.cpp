#include "app/plugins/tray/tray_icon.h"

#include <algorithm>
#include <cwchar>

namespace omb {
namespace {

// Broadcast by the shell when the taskbar is (re-)created: every icon it
// showed is gone and must be added again.
UINT TaskbarCreatedMessage() noexcept {
  static const UINT message = RegisterWindowMessageW(L"TaskbarCreated");
  return message;
}

NOTIFYICONDATAW TrayIdentity(HWND window) noexcept {
  NOTIFYICONDATAW record{};
  record.cbSize = NOTIFYICONDATAW_V3_SIZE;
  record.hWnd = window;
  record.uID = kTrayIconId;
  return record;
}

}  // namespace

NOTIFYICONDATAW TrayRecord(HWND window, HICON icon, const wchar_t* tip) noexcept {
  NOTIFYICONDATAW record = TrayIdentity(window);
  record.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  record.uCallbackMessage = kTrayMessage;
  record.hIcon = icon;
  if (tip) wcsncpy(record.szTip, tip, kTrayTipMax);  // the field is zeroed: always terminated
  return record;
}

void CTraySubclassWindow::SetTip(const wchar_t* tip, UINT length) noexcept {
  tip_.fill(L'\0');
  std::copy_n(tip, std::min<size_t>(length, kTrayTipMax), tip_.begin());
}

void CTraySubclassWindow::Show() noexcept {
  NOTIFYICONDATAW record = TrayRecord(Window(), icon_.get(), tip_.data());
  if (Shell_NotifyIconW(NIM_ADD, &record)) shown_ = true;
}

void CTraySubclassWindow::Hide() noexcept {
  NOTIFYICONDATAW record = TrayIdentity(Window());
  Shell_NotifyIconW(NIM_DELETE, &record);
  shown_ = false;
}

bool CTraySubclassWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam,
                                    LRESULT* answer) noexcept {
  *answer = 0;
  if (message == kTrayMessage) {
    // Only the release of a click, a double click and a right release are
    // reported; the icon's other notifications, and those of icons that are
    // not ours, end here.
    if (wParam == kTrayIconId) {
      switch (static_cast<UINT>(lParam)) {
        case WM_LBUTTONUP: Fire(kClick); break;
        case WM_LBUTTONDBLCLK: Fire(kDoubleClick); break;
        case WM_RBUTTONUP: Fire(kRightClick); break;
        default: break;
      }
    }
    return true;
  }
  if (message == WM_DESTROY) {
    if (shown_) Hide();
  } else if (message == TaskbarCreatedMessage() && message != 0) {
    if (shown_) {
      NOTIFYICONDATAW record = TrayRecord(Window(), icon_.get(), tip_.data());
      Shell_NotifyIconW(NIM_ADD, &record);
    }
  }
  return false;
}

// Calls the function with no arguments; it may replace itself meanwhile.
void CTraySubclassWindow::Fire(Callback which) noexcept {
  ComPtr<IDispatch> function = callbacks_[which];
  if (!function) return;
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  unique_variant result;
  function->Invoke(DISPID_VALUE, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none,
                   result.get(), nullptr, nullptr);
}

}  // namespace omb
