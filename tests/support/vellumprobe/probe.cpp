// Runs a packaged application under Wine and checks that it extracted
// itself and runs its page:
//
//   vellumprobe.exe EXE TITLE
//
// EXE must show a window titled TITLE within 30 s; it is ended then, and the
// package folder it extracted is removed. Exit code 0 when the window came;
// a failure is printed.
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <cstdio>
#include <set>
#include <string>

#include "app/core/paths.h"

namespace {

int g_failures = 0;

void Fail(const std::wstring& text) {
  fwprintf(stderr, L"vellumprobe: %ls\n", text.c_str());
  ++g_failures;
}

std::set<std::wstring> PackageFolders(const std::wstring& temp) {
  std::set<std::wstring> out;
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((temp + L"\\OM*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return out;
  do out.insert(temp + L"\\" + data.cFileName);
  while (FindNextFileW(find, &data));
  FindClose(find);
  return out;
}

struct WindowSearch {
  DWORD process;
  const wchar_t* title;
  bool found;
};

BOOL CALLBACK Match(HWND hwnd, LPARAM lp) {
  auto* search = reinterpret_cast<WindowSearch*>(lp);
  DWORD process = 0;
  GetWindowThreadProcessId(hwnd, &process);
  wchar_t title[256] = {};
  GetWindowTextW(hwnd, title, 256);
  if (process == search->process && wcscmp(title, search->title) == 0) search->found = true;
  return !search->found;
}

}  // namespace

int main() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv || argc < 3) {
    fwprintf(stderr, L"usage: vellumprobe.exe EXE TITLE\n");
    return 2;
  }
  const std::wstring exe = argv[1];
  wchar_t temp[MAX_PATH] = {};
  GetEnvironmentVariableW(L"temp", temp, MAX_PATH);
  const std::set<std::wstring> before = PackageFolders(temp);
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  std::wstring command = L"\"" + exe + L"\"";
  if (!CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    Fail(L"cannot start " + exe);
    return 1;
  }
  WindowSearch search = {pi.dwProcessId, argv[2], false};
  for (DWORD start = GetTickCount(); !search.found && GetTickCount() - start < 30000;) {
    if (WaitForSingleObject(pi.hProcess, 100) == WAIT_OBJECT_0) break;
    EnumWindows(Match, reinterpret_cast<LPARAM>(&search));
  }
  DWORD code = 0;
  if (!search.found)
    Fail(GetExitCodeProcess(pi.hProcess, &code) && code != STILL_ACTIVE
             ? L"the packaged application ended (exit code " + std::to_wstring(code) +
                   L") without a window titled \"" + argv[2] + L"\""
             : std::wstring(L"no window titled \"") + argv[2] + L"\" within 30 s");
  TerminateProcess(pi.hProcess, 0);
  WaitForSingleObject(pi.hProcess, 10000);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  // Ended from outside, the application cannot remove its package folder.
  for (const std::wstring& folder : PackageFolders(temp))
    if (!before.count(folder)) omb::ShellDeleteTree(folder);
  return g_failures == 0 ? 0 : 1;
}
