// Decisions of the "system" plug-in that do not depend on the running
// platform's state, kept apart so they can be checked for either width and
// for platforms this machine is not.
#pragma once

#include <windows.h>

#include <span>
#include <string>

namespace omb {

// One argument as the platform's command-line splitter reads it back: as it
// is when it has no blank or quote (and is not empty), else in quotes with
// the backslashes before a quote, and those at the end, doubled.
std::wstring QuoteArgument(const std::wstring& argument);

// The parameters of an elevated restart: the arguments after the program
// path, each preceded by one space and quoted, so that the new process sees
// the same argument vector.
std::wstring RestartParameters(std::span<const wchar_t* const> arguments);

// Whether the operating system is 64-bit: always for a 64-bit host; for a
// 32-bit host, whether it runs under the 32-bit emulation layer, asked
// through isWow64 (IsWow64Process, looked up at run time: absent or failing
// means no).
using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
bool IsX64System(bool host64, IsWow64ProcessFn isWow64) noexcept;

// How "pinToTaskbar" and "unpinFromTaskbar" reach the shell for a file.
enum class PinRoute {
  kRefuse,        // no verb text, or no such file: false
  kTaskbarVerb,   // a ".lnk": ShellExecute with "TaskbarPin" / "TaskbarUnPin"
  kShellVerbs,    // anything else: the file's own shell verbs
};
PinRoute ChoosePinRoute(const wchar_t* verbText, bool fileExists, const wchar_t* path) noexcept;
// The first verb whose name equals verbText without regard to case; -1 when
// none does.
int FindVerb(std::span<const std::wstring> verbNames, const wchar_t* verbText) noexcept;

// The file a shortcut writer saves to: path with extension (".lnk" or
// ".url") appended unless it already ends in it, compared without regard to
// case.
std::wstring WithExtension(const wchar_t* path, const wchar_t* extension);

// A path without its last component ("C:\dir\app.exe" -> "C:\dir",
// "C:\app.exe" -> "C:\"); empty when there is no folder part.
std::wstring ParentFolder(const std::wstring& path);

}  // namespace omb
