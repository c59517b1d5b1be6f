#include "app/engine/engine_windows.h"

#include <utility>

namespace omb::engine {
namespace {

constexpr wchar_t kMessagesClass[] = L"OmbrelPageEngineMessages";

HINSTANCE ThisModule() noexcept {
  HMODULE module = nullptr;
  GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCWSTR>(&ThisModule), &module);
  return module;
}

template <EngineWindow Which>
LRESULT CALLBACK EngineWindowProc(HWND window, UINT message, WPARAM wParam,
                                  LPARAM lParam) noexcept {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* owner = reinterpret_cast<IEngineWindowOwner*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  LRESULT result = 0;
  if (owner && owner->OnEngineMessage(Which, window, message, wParam, lParam, &result))
    return result;
  if (message == WM_NCDESTROY) SetWindowLongPtrW(window, GWLP_USERDATA, 0);
  return DefWindowProcW(window, message, wParam, lParam);
}

struct WindowClass {
  const wchar_t* name;
  WNDPROC procedure;
  UINT style;
};

const WindowClass& ClassOf(EngineWindow which) noexcept {
  static const WindowClass kClasses[] = {
      {kMessagesClass, &EngineWindowProc<EngineWindow::kMessages>, 0},
      {kEmbeddingClass, &EngineWindowProc<EngineWindow::kEmbedding>, 0},
      {kDocObjectViewClass, &EngineWindowProc<EngineWindow::kDocObjectView>, 0},
      {kServerClass, &EngineWindowProc<EngineWindow::kServer>, CS_DBLCLKS},
  };
  return kClasses[static_cast<int>(which)];
}

bool RegisterClassOnce(EngineWindow which) noexcept {
  const WindowClass& c = ClassOf(which);
  WNDCLASSEXW existing{};
  existing.cbSize = sizeof(existing);
  if (GetClassInfoExW(ThisModule(), c.name, &existing)) return true;
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.style = c.style;
  wc.lpfnWndProc = c.procedure;
  wc.hInstance = ThisModule();
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = c.name;
  return RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

BOOL CALLBACK DetachChild(HWND child, LPARAM) noexcept {
  SetWindowLongPtrW(child, GWLP_USERDATA, 0);
  return TRUE;
}

}  // namespace

HWND CreateEngineWindow(EngineWindow which, HWND parent, const RECT& rect,
                        IEngineWindowOwner* owner) noexcept {
  if (!RegisterClassOnce(which)) return nullptr;
  const wchar_t* name = ClassOf(which).name;
  if (which == EngineWindow::kMessages)
    return CreateWindowExW(0, name, nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, ThisModule(),
                           owner);
  const DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS |
                      (which == EngineWindow::kServer ? WS_TABSTOP : 0);
  return CreateWindowExW(0, name, nullptr, style, rect.left, rect.top, rect.right - rect.left,
                         rect.bottom - rect.top, parent, nullptr, ThisModule(), owner);
}

void DetachEngineWindow(HWND window) noexcept {
  if (!window || !IsWindow(window)) return;
  SetWindowLongPtrW(window, GWLP_USERDATA, 0);
  EnumChildWindows(window, &DetachChild, 0);
}

void DestroyEngineWindow(HWND window) noexcept {
  if (!window || !IsWindow(window)) return;
  DetachEngineWindow(window);
  DestroyWindow(window);
}

bool OnOuterWindowMessage(EngineWindow which, UINT message, LPARAM lParam, HWND view,
                          HWND server) noexcept {
  if (message == WM_SIZE) {
    const HWND child = which == EngineWindow::kEmbedding ? view : server;
    if (child) MoveWindow(child, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
    return true;
  }
  if (message == WM_SETFOCUS && server) {
    SetFocus(server);
    return true;
  }
  return false;
}

HWND ControlOwnerWindow(HWND embedding, IOleClientSite* site) noexcept {
  HWND base = embedding;
  ComPtr<IOleInPlaceSite> inPlace;
  if (!base && site && SUCCEEDED(site->QueryInterface(IID_PPV_ARGS(&inPlace))))
    inPlace->GetWindow(&base);
  return base ? GetAncestor(base, GA_ROOT) : nullptr;
}

// ---------------------------------------------------------------------------
// CPageMessageWindow

bool CPageMessageWindow::Ensure(IEngineWindowOwner* owner) noexcept {
  if (!window_) window_ = CreateEngineWindow(EngineWindow::kMessages, nullptr, RECT{}, owner);
  return window_ != nullptr;
}

void CPageMessageWindow::Destroy() noexcept {
  if (const HWND window = std::exchange(window_, nullptr)) DestroyEngineWindow(window);
}

void CPageMessageWindow::SetTimer(UINT delayMs) noexcept {
  if (window_) ::SetTimer(window_, kTimerId, delayMs, nullptr);
}

void CPageMessageWindow::KillTimer() noexcept {
  if (window_) ::KillTimer(window_, kTimerId);
}

void CPageMessageWindow::Post(UINT message, UINT generation) noexcept {
  if (window_) PostMessageW(window_, message, 0, static_cast<LPARAM>(generation));
}

CPageMessageWindow::Request CPageMessageWindow::Read(HWND window, UINT message, WPARAM wParam,
                                                     LPARAM lParam, UINT* generation) noexcept {
  *generation = static_cast<UINT>(lParam);
  switch (message) {
    case kStepMessage:
      return Request::kStep;
    case kNavigateMessage:
      return Request::kNavigate;
    case kCloseMessage:
      return Request::kClose;
    case WM_TIMER:
      return wParam == kTimerId ? Request::kTimer : Request::kNone;
    case WM_DESTROY:
      if (window == window_) window_ = nullptr;
      return Request::kNone;
    default:
      return Request::kNone;
  }
}

}  // namespace omb::engine
