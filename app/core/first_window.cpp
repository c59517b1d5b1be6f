#include "app/core/first_window.h"

#include <cwchar>

#include "app/core/browser_window.h"

namespace omb {

// The first window chooses its own page (no creation parameter). A window
// whose start page is missing destroys itself; the process still runs its
// message loop, so start-up holds the object either way.
HRESULT CreateFirstWindow(ComPtr<IUnknown>& window) noexcept {
  window.Reset();
  ComPtr<CWebBrowser> browser = Make<CWebBrowser>();
  if (!browser) return E_OUTOFMEMORY;
  const HWND created = browser->Create(nullptr, nullptr);
  window = browser->Unknown();
  return created ? S_OK : E_FAIL;
}

namespace {

BOOL CALLBACK DestroyIfBrowserWindow(HWND window, LPARAM) noexcept {
  wchar_t name[64] = L"";
  if (GetClassNameW(window, name, 64) && wcscmp(name, CWebBrowser::kClassName) == 0)
    DestroyWindow(window);  // fails harmlessly for a window gone with its owner
  return TRUE;
}

}  // namespace

void DestroyBrowserWindows() noexcept {
  EnumThreadWindows(GetCurrentThreadId(), &DestroyIfBrowserWindow, 0);
}

}  // namespace omb
