#include "app/core/paths.h"

#include <windows.h>
#include <shellapi.h>

namespace omb {

std::wstring ExecutablePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return std::wstring();
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

void ShellDeleteTree(const std::wstring& path) noexcept {
  try {
    std::wstring from = path;
    while (from.size() > 1 && (from.back() == L'\\' || from.back() == L'/')) from.pop_back();
    if (from.empty()) return;
    from.append(2, L'\0');  // the shell wants a list ended by two terminators
    SHFILEOPSTRUCTW op = {};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR | FOF_NOERRORUI;
    (void)SHFileOperationW(&op);
  } catch (...) {
  }
}

}  // namespace omb
