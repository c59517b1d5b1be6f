// The terminal the host was started from. When there is one, the page's
// console log ("console" plug-in "log") and script errors are also written
// there, one line each, in the order they happen; without one nothing is
// written and nothing else changes.
//
// A GUI program has no console of its own. It is "started from a terminal"
// when it inherited a usable standard output or error handle (redirected to
// a file or pipe, or under Wine the Unix terminal itself), or when it can
// attach to its parent's console; with the command-line switch "console" it
// allocates a console when neither holds. Console handles are written as
// UTF-16 (WriteConsoleW), everything else as UTF-8.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "sdk/com.h"

namespace omb {

class CTerminal {
 public:
  CTerminal() noexcept = default;
  CTerminal(const CTerminal&) = delete;
  CTerminal& operator=(const CTerminal&) = delete;

  // Writes to handle from now on; owned handles are closed with the terminal.
  void Use(HANDLE handle, bool owned) noexcept;
  bool IsOpen() const noexcept { return handle_ != nullptr; }
  // Writes text and a line break (CR LF). A failed write (the reader went
  // away) closes the terminal: later lines are dropped.
  void WriteLine(std::wstring_view text) noexcept;

 private:
  bool WriteChunk(const wchar_t* text, size_t length) noexcept;
  bool WriteBytes(const char* bytes, size_t length) noexcept;

  HANDLE handle_ = nullptr;
  bool console_ = false;
  unique_handle owned_;
};

// The process's terminal; closed until OpenTerminal finds one. User-interface
// thread only.
CTerminal& Terminal() noexcept;

// Start-up: looks for the terminal as described above. allocate is the
// "console" switch.
void OpenTerminal(bool allocate) noexcept;

// The line a script error is written as: "Script error: <message> at
// <url>:<line>:<column>" (the position only when known, the url only when
// given).
std::wstring ScriptErrorLine(std::wstring_view message, std::wstring_view url, LONG line,
                             LONG column);

// Writes the script error the browser control reports to the host (the
// command target's "show script error" with the page's document in `in`) to
// the terminal, when it is open. The control describes the error in the
// document's window.event (errorMessage, errorUrl, errorLine,
// errorCharacter) while it asks.
void WriteScriptErrorToTerminal(const VARIANT* in) noexcept;

}  // namespace omb
