#include "app/engine/engine_windows.h"

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

}  // namespace omb::engine
