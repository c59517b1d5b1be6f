#include "app/plugins/system/system_logic.h"

#include <shlwapi.h>

namespace omb {

std::wstring QuoteArgument(const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos)
    return argument;
  std::wstring quoted = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    // Backslashes are literal unless a quote follows them.
    quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, L'\\');
  quoted += L'"';
  return quoted;
}

std::wstring RestartParameters(std::span<const wchar_t* const> arguments) {
  std::wstring parameters;
  for (const wchar_t* argument : arguments) {
    parameters += L' ';
    parameters += QuoteArgument(argument ? argument : L"");
  }
  return parameters;
}

bool IsX64System(bool host64, IsWow64ProcessFn isWow64) noexcept {
  if (host64) return true;
  BOOL wow64 = FALSE;
  return isWow64 && isWow64(::GetCurrentProcess(), &wow64) && wow64;
}

PinRoute ChoosePinRoute(const wchar_t* verbText, bool fileExists, const wchar_t* path) noexcept {
  if (!verbText || !*verbText || !fileExists || !path) return PinRoute::kRefuse;
  return _wcsicmp(::PathFindExtensionW(path), L".lnk") == 0 ? PinRoute::kTaskbarVerb
                                                             : PinRoute::kShellVerbs;
}

int FindVerb(std::span<const std::wstring> verbNames, const wchar_t* verbText) noexcept {
  if (!verbText) return -1;
  for (size_t i = 0; i < verbNames.size(); ++i)
    if (_wcsicmp(verbNames[i].c_str(), verbText) == 0) return static_cast<int>(i);
  return -1;
}

std::wstring WithExtension(const wchar_t* path, const wchar_t* extension) {
  std::wstring file = path ? path : L"";
  if (_wcsicmp(::PathFindExtensionW(file.c_str()), extension) != 0) file += extension;
  return file;
}

std::wstring ParentFolder(const std::wstring& path) {
  const size_t slash = path.find_last_of(L"\\/");
  if (slash == std::wstring::npos) return std::wstring();
  // Keep the separator of a root ("\", "C:\").
  if (slash == 0) return path.substr(0, 1);
  if (slash == 2 && path[1] == L':') return path.substr(0, 3);
  return path.substr(0, slash);
}

}  // namespace omb
