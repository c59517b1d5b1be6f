#include "app/core/terminal.h"

#include <mshtml.h>

#include <algorithm>

#include "app/core/script_call.h"

namespace omb {
namespace {

// Text goes out in pieces of at most this many UTF-16 units, so a piece
// converts to at most three times as many bytes (a small stack buffer).
constexpr size_t kChunk = 4096;

bool IsUsableHandle(HANDLE handle) noexcept {
  if (!handle || handle == INVALID_HANDLE_VALUE) return false;
  SetLastError(NO_ERROR);
  return GetFileType(handle) != FILE_TYPE_UNKNOWN || GetLastError() == NO_ERROR;
}

// Ctrl+C and Ctrl+Break typed in the parent's console are meant for the
// program running there (the shell), not for this window in the background.
BOOL WINAPI IgnoreConsoleBreaks(DWORD event) noexcept {
  return event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT;
}

std::wstring MemberText(IDispatch* object, const wchar_t* name) {
  unique_variant value;
  if (FAILED(ReadMember(object, name, value.get())) || value.vt() == VT_EMPTY ||
      value.vt() == VT_NULL)
    return std::wstring();
  unique_variant text;
  if (FAILED(VariantChangeType(text.get(), value.get(), 0, VT_BSTR)) || !text->bstrVal)
    return std::wstring();
  return std::wstring(text->bstrVal, SysStringLen(text->bstrVal));
}

LONG MemberNumber(IDispatch* object, const wchar_t* name) noexcept {
  unique_variant value;
  unique_variant number;
  if (FAILED(ReadMember(object, name, value.get())) ||
      FAILED(VariantChangeType(number.get(), value.get(), 0, VT_I4)))
    return 0;
  return number->lVal;
}

}  // namespace

void CTerminal::Use(HANDLE handle, bool owned) noexcept {
  owned_.reset(owned ? handle : nullptr);
  handle_ = handle;
  DWORD mode = 0;
  console_ = handle && GetConsoleMode(handle, &mode) != FALSE;
}

void CTerminal::WriteLine(std::wstring_view text) noexcept {
  if (!handle_) return;
  bool written = true;
  for (size_t done = 0; written && done < text.size();) {
    size_t count = std::min(kChunk, text.size() - done);
    // A surrogate pair stays in one piece.
    if (done + count < text.size() && IS_HIGH_SURROGATE(text[done + count - 1])) --count;
    written = WriteChunk(text.data() + done, count);
    done += count;
  }
  if (written) written = WriteChunk(L"\r\n", 2);
  if (!written) {
    handle_ = nullptr;
    owned_.reset();
  }
}

bool CTerminal::WriteChunk(const wchar_t* text, size_t length) noexcept {
  if (console_) {
    while (length > 0) {
      DWORD written = 0;
      if (!WriteConsoleW(handle_, text, static_cast<DWORD>(length), &written, nullptr) ||
          written == 0)
        return false;
      text += written;
      length -= written;
    }
    return true;
  }
  // Unpaired surrogates become U+FFFD.
  char bytes[kChunk * 3];
  const int count = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), bytes,
                                        static_cast<int>(sizeof(bytes)), nullptr, nullptr);
  if (count <= 0) return length == 0;
  return WriteBytes(bytes, static_cast<size_t>(count));
}

bool CTerminal::WriteBytes(const char* bytes, size_t length) noexcept {
  while (length > 0) {
    DWORD written = 0;
    if (!WriteFile(handle_, bytes, static_cast<DWORD>(length), &written, nullptr) || written == 0)
      return false;
    bytes += written;
    length -= written;
  }
  return true;
}

CTerminal& Terminal() noexcept {
  static CTerminal terminal;
  return terminal;
}

void OpenTerminal(bool allocate) noexcept {
  CTerminal& terminal = Terminal();
  for (const DWORD which : {STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
    const HANDLE inherited = GetStdHandle(which);
    if (IsUsableHandle(inherited)) {
      terminal.Use(inherited, false);
      return;
    }
  }
  if (AttachConsole(ATTACH_PARENT_PROCESS)) {
    SetConsoleCtrlHandler(&IgnoreConsoleBreaks, TRUE);
  } else if (!allocate || !AllocConsole()) {
    return;
  }
  unique_file output(CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                 nullptr));
  if (output) terminal.Use(output.release(), true);
}

std::wstring ScriptErrorLine(std::wstring_view message, std::wstring_view url, LONG line,
                             LONG column) {
  std::wstring text = L"Script error: ";
  text += message;
  if (!url.empty()) {
    text += L" at ";
    text += url;
    if (line > 0) {
      text += L':' + std::to_wstring(line);
      if (column > 0) text += L':' + std::to_wstring(column);
    }
  }
  return text;
}

void WriteScriptErrorToTerminal(const VARIANT* in) noexcept {
  if (!Terminal().IsOpen()) return;
  try {
    std::wstring message, url;
    LONG line = 0, column = 0;
    ComPtr<IHTMLDocument2> document;
    ComPtr<IHTMLWindow2> window;
    ComPtr<IDispatch> windowObject;
    unique_variant event;
    if (in && (in->vt == VT_UNKNOWN || in->vt == VT_DISPATCH) && in->punkVal &&
        SUCCEEDED(in->punkVal->QueryInterface(IID_PPV_ARGS(&document))) &&
        SUCCEEDED(document->get_parentWindow(&window)) && window &&
        SUCCEEDED(window.As(&windowObject)) &&
        SUCCEEDED(ReadMember(windowObject.Get(), L"event", event.get())) &&
        event.vt() == VT_DISPATCH && event->pdispVal) {
      message = MemberText(event->pdispVal, L"errorMessage");
      url = MemberText(event->pdispVal, L"errorUrl");
      line = MemberNumber(event->pdispVal, L"errorLine");
      column = MemberNumber(event->pdispVal, L"errorCharacter");
    }
    Terminal().WriteLine(ScriptErrorLine(message.empty() ? L"(no description)" : message, url,
                                         line, column));
  } catch (...) {
    // Out of memory: the line is dropped.
  }
}

}  // namespace omb
