#include "tests/support/browserdouble/thread_guard.h"

#include <atomic>
#include <string>

namespace browserdouble {
namespace {

std::atomic<ViolationHook> g_hook{nullptr};

void WriteError(const std::wstring& text) noexcept {
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()),
                                        nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return;
  std::string utf8(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), utf8.data(), bytes,
                      nullptr, nullptr);
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), utf8.data(), static_cast<DWORD>(utf8.size()), &written,
            nullptr);
}

}  // namespace

void SetViolationHook(ViolationHook hook) noexcept { g_hook = hook; }

void ReportViolation(const wchar_t* description) noexcept {
  if (ViolationHook hook = g_hook) {
    hook(description);
    return;
  }
  try {
    WriteError(std::wstring(L"browser double: ") + description + L"\n");
  } catch (...) {
  }
  OutputDebugStringW(description);
  TerminateProcess(GetCurrentProcess(), kViolationExitCode);
}

void CThreadGuard::Check(const char* what) const noexcept {
  const DWORD caller = GetCurrentThreadId();
  if (caller == owner_) return;
  try {
    std::wstring text;
    for (const char* c = what; *c; ++c) text += static_cast<wchar_t>(*c);
    text += L" called on thread " + std::to_wstring(caller) + L"; the control belongs to thread " +
            std::to_wstring(owner_);
    ReportViolation(text.c_str());
  } catch (...) {
    ReportViolation(L"a call from a thread that does not own the control");
  }
}

}  // namespace browserdouble
