// The double's thread contract: a control belongs to the thread that created
// it (an apartment-threaded object), and every call, AddRef and Release from
// any other thread is a fault of its host. The real control would corrupt
// itself or deadlock later; the double fails the test at once.
#pragma once

#include <windows.h>

namespace browserdouble {

// Called with a description of a contract fault. The default ends the
// process with kViolationExitCode after writing the description to standard
// error; a test of the double itself may install its own.
using ViolationHook = void(__stdcall*)(const wchar_t* description);
void SetViolationHook(ViolationHook hook) noexcept;
void ReportViolation(const wchar_t* description) noexcept;

inline constexpr UINT kViolationExitCode = 0xDB1;

class CThreadGuard {
 public:
  CThreadGuard() noexcept : owner_(GetCurrentThreadId()) {}
  // Reports a fault when the calling thread is not the owner.
  void Check(const char* what) const noexcept;

 private:
  DWORD owner_;
};

}  // namespace browserdouble
