#include "app/plugins/window/window_logic.h"

#include <commdlg.h>

namespace omb {
namespace {

bool Is(const wchar_t* word, const wchar_t* expected) noexcept {
  return word && _wcsicmp(word, expected) == 0;
}

}  // namespace

int EdgeHitTest(const RECT& client, POINT point) noexcept {
  const LONG left = client.left + kResizeEdge;
  const LONG top = client.top + kResizeEdge;
  const LONG right = client.right - kResizeEdge;
  const LONG bottom = client.bottom - kResizeEdge;
  const bool atLeft = point.x <= left;
  const bool atRight = point.x >= right;
  const bool atTop = point.y <= top;
  const bool atBottom = point.y >= bottom;
  if (atLeft && atTop) return HTTOPLEFT;
  if (atLeft && atBottom) return HTBOTTOMLEFT;
  if (atRight && atTop) return HTTOPRIGHT;
  if (atRight && atBottom) return HTBOTTOMRIGHT;
  if (atLeft) return HTLEFT;
  if (atRight) return HTRIGHT;
  if (atTop) return HTTOP;
  if (atBottom) return HTBOTTOM;
  return 0;
}

int SizeDirectionOfHitTest(int hitTest) noexcept {
  return hitTest >= HTLEFT && hitTest <= HTBOTTOMRIGHT ? hitTest - HTLEFT + WMSZ_LEFT : 0;
}

std::vector<RECT> OpaqueRuns(const uint32_t* pixels, LONG width, LONG height) {
  std::vector<RECT> runs;
  for (LONG y = 0; y < height; ++y) {
    const uint32_t* row = pixels + static_cast<size_t>(y) * static_cast<size_t>(width);
    LONG start = -1;
    for (LONG x = 0; x < width; ++x) {
      const bool white = (row[x] & 0xFFFFFFu) == 0xFFFFFFu;
      if (!white && start < 0) start = x;
      if (white && start >= 0) {
        runs.push_back(RECT{start, y, x, y + 1});
        start = -1;
      }
    }
    if (start >= 0) runs.push_back(RECT{start, y, width, y + 1});
  }
  return runs;
}

UINT MessageBoxStyle(const wchar_t* type, const wchar_t* icon) noexcept {
  UINT buttons = MB_OK;
  UINT iconBits = MB_ICONINFORMATION;
  if (Is(type, L"okCancel")) {
    buttons = MB_OKCANCEL;
  } else if (Is(type, L"yesNo")) {
    buttons = MB_YESNO;
    iconBits = MB_ICONQUESTION;
  }
  if (Is(icon, L"information")) iconBits = MB_ICONINFORMATION;
  else if (Is(icon, L"error")) iconBits = MB_ICONERROR;
  else if (Is(icon, L"warning")) iconBits = MB_ICONWARNING;
  else if (Is(icon, L"question")) iconBits = MB_ICONQUESTION;
  return buttons | iconBits | MB_SETFOREGROUND;
}

DWORD FileDialogFlags(bool multi, bool fileMustExist, bool overwritePrompt) noexcept {
  DWORD flags = OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR | OFN_HIDEREADONLY;
  if (!multi && overwritePrompt) return flags | OFN_OVERWRITEPROMPT;
  if (fileMustExist) flags |= OFN_FILEMUSTEXIST;
  if (multi) flags |= OFN_ALLOWMULTISELECT;
  return flags;
}

std::optional<int> ProgressStateOfWord(const wchar_t* word) noexcept {
  if (Is(word, L"none")) return 0;
  if (Is(word, L"cycle")) return 1;
  if (Is(word, L"normal")) return 2;
  if (Is(word, L"error")) return 4;
  if (Is(word, L"pause")) return 8;
  return std::nullopt;
}

}  // namespace omb
