// Shortcut files: program shortcuts (".lnk", the shell-link object) and
// Internet shortcuts (".url", the Internet-shortcut object), written and read
// back.
#pragma once

#include <windows.h>

#include <string>

namespace omb {

struct ShortcutContent {
  std::wstring target;     // program, document or URL
  std::wstring arguments;  // program shortcuts only
  std::wstring icon;       // icon file; none when empty
  int iconIndex = 0;
};

// Saves a program shortcut to path (".lnk" appended unless it ends in it).
// Its working folder is the target's folder; a relative icon path is taken
// from the current folder.
[[nodiscard]] HRESULT WriteProgramShortcut(const ShortcutContent& shortcut, const wchar_t* path) noexcept;
// Saves an Internet shortcut to path (".url" appended unless it ends in it).
[[nodiscard]] HRESULT WriteInternetShortcut(const ShortcutContent& shortcut, const wchar_t* path) noexcept;

// Reads the target path and the arguments of a shortcut file, whole however
// long they are.
[[nodiscard]] HRESULT ReadShortcut(const wchar_t* path, std::wstring* target,
                                   std::wstring* arguments) noexcept;

}  // namespace omb
