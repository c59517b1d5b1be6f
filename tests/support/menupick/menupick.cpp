// "menupick": chooses items of the next pop-up menu by keyboard, for
// end-to-end tests of menus. keys(sequence[, timeoutMs]) starts a thread that
// waits for a visible pop-up menu window ("#32768") of this process and posts
// one key per letter: D down, U up, R right (opens a submenu), L left,
// E enter, X escape. shown() tells how many menus the threads found.
#include <windows.h>

#include <atomic>
#include <string>
#include <thread>

#include "sdk/com.h"
#include "sdk/dispatch.h"
#include "sdk/omb.h"
#include "sdk/plugin_library.h"

namespace {

std::atomic<LONG> g_shown{0};

HWND FindMenuWindow() noexcept {
  std::pair<DWORD, HWND> search{GetCurrentProcessId(), nullptr};
  EnumWindows(
      [](HWND w, LPARAM p) noexcept -> BOOL {
        auto* s = reinterpret_cast<std::pair<DWORD, HWND>*>(p);
        wchar_t name[16] = L"";
        DWORD pid = 0;
        GetWindowThreadProcessId(w, &pid);
        if (pid != s->first || !IsWindowVisible(w) || !GetClassNameW(w, name, 16) ||
            wcscmp(name, L"#32768") != 0)
          return TRUE;
        s->second = w;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.second;
}

UINT KeyOf(wchar_t letter) noexcept {
  switch (letter) {
    case L'D': return VK_DOWN;
    case L'U': return VK_UP;
    case L'R': return VK_RIGHT;
    case L'L': return VK_LEFT;
    case L'E': return VK_RETURN;
    case L'X': return VK_ESCAPE;
    default: return 0;
  }
}

void PressWhenShown(std::wstring keys, DWORD timeoutMs) noexcept {
  const ULONGLONG end = GetTickCount64() + timeoutMs;
  while (GetTickCount64() < end) {
    if (HWND menu = FindMenuWindow()) {
      ++g_shown;
      for (wchar_t letter : keys) {
        // Later keys go to the newest menu window (an opened submenu); the
        // menu loop reads them all from the thread's queue.
        Sleep(30);
        if (HWND newest = FindMenuWindow()) menu = newest;
        PostMessageW(menu, WM_KEYDOWN, KeyOf(letter), 0);
      }
      return;
    }
    Sleep(10);
  }
}

class CMenuPick : public omb::ComObject<CMenuPick, OMB::IPluginImpl<CMenuPick>,
                                        omb::DispatchTable<CMenuPick>> {
 public:
  static constexpr const char* kClassName = "CMenuPick";
  static std::span<const omb::DispMember<CMenuPick>> Members() noexcept {
    static const omb::DispMember<CMenuPick> members[] = {
        {-10000, L"keys", &CMenuPick::Keys},
        {-9999, L"shown", &CMenuPick::Shown},
    };
    return members;
  }

  HRESULT Keys(omb::DispCall& call) {
    const wchar_t* keys = nullptr;
    OMB_RETURN_IF_FAILED(call.args.String(0, &keys));
    LONG timeout = 5000;
    if (call.args.Count() > 1) OMB_RETURN_IF_FAILED(call.args.Number(1, &timeout));
    std::thread(PressWhenShown, std::wstring(keys), static_cast<DWORD>(timeout)).detach();
    return S_OK;
  }
  HRESULT Shown(omb::DispCall& call) { return call.ReturnInt(g_shown.load()); }
};

}  // namespace

OMB_EXPORT_CREATE_INTERFACE {
  return omb::AnswerCreateInterface<CMenuPick>(iid, out, {L"menupick"});
}
