// Functions of platform libraries that only a few rarely used members need
// (the file dialogs, the power states, reading image headers). Linking them
// would load those libraries, and everything they load, into every process
// at start, where they cost start-up time and working set; instead the
// library is loaded from the system folder on the first call and then stays,
// as a linked library would.
//
//   static const auto getOpenFileName =
//       SystemFunction<decltype(&GetOpenFileNameW)>(L"comdlg32.dll", "GetOpenFileNameW");
//   if (!getOpenFileName) return E_FAIL;  // the library or the export is missing
//
// Keep the result in a function-local static, as above: the library is then
// looked up once, and thread-safely. For a library with several functions,
// a table of OMB_SYSTEM_FUNCTION members kept in one such static does the
// same (see the download and the analytics code).
#pragma once

#include <windows.h>

#include <cwchar>

namespace omb {

template <class Fn>
Fn SystemFunction(const wchar_t* library, const char* name) noexcept {
  wchar_t path[MAX_PATH];
  const UINT folder = ::GetSystemDirectoryW(path, MAX_PATH);
  const size_t length = std::wcslen(library);
  if (folder == 0 || folder + 1 + length >= MAX_PATH) return nullptr;
  path[folder] = L'\\';
  std::wmemcpy(path + folder + 1, library, length + 1);
  const HMODULE module = ::LoadLibraryW(path);
  if (!module) return nullptr;
  // Through void(*)(): the one function pointer type every other converts to.
  return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(::GetProcAddress(module, name)));
}

}  // namespace omb

// A member of a function table, named and typed after the platform function
// NAME of LIBRARY, which it points to (null when the library or the export is
// missing).
#define OMB_SYSTEM_FUNCTION(library, name) \
  decltype(&::name) name = ::omb::SystemFunction<decltype(&::name)>(library, #name)
