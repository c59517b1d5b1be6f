// One start-up sample of the current process, written to standard output as
//   startup-sample elapsed_us=<n> peak_ws_kib=<n> ws_kib=<n>
// elapsed_us: from the process's creation time (GetProcessTimes) to now;
// peak_ws_kib / ws_kib: the process's peak and current working set.
// Shared by the bench's probe plug-in and its trivial baseline program, so
// both are measured by the same code.
#pragma once

#include <windows.h>
#include <psapi.h>

#include <cstdio>

namespace bench {

inline ULONGLONG FileTimeTicks(const FILETIME& t) noexcept {
  return (static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

// Microseconds since this process was created; 0 when the times are unknown.
inline ULONGLONG MicrosecondsSinceStart() noexcept {
  FILETIME now{}, created{}, exited{}, kernel{}, user{};
  GetSystemTimePreciseAsFileTime(&now);
  if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
  const ULONGLONG start = FileTimeTicks(created), end = FileTimeTicks(now);
  return end > start ? (end - start) / 10 : 0;
}

inline bool WriteSample() noexcept {
  const ULONGLONG elapsed = MicrosecondsSinceStart();
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof(counters);
  if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters))) return false;
  char line[160];
  const int n = std::snprintf(line, sizeof(line), "startup-sample elapsed_us=%llu peak_ws_kib=%llu ws_kib=%llu\n",
                              elapsed, static_cast<unsigned long long>(counters.PeakWorkingSetSize / 1024),
                              static_cast<unsigned long long>(counters.WorkingSetSize / 1024));
  if (n <= 0 || n >= static_cast<int>(sizeof(line))) return false;
  DWORD written = 0;
  return WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line, static_cast<DWORD>(n), &written, nullptr) &&
         written == static_cast<DWORD>(n);
}

}  // namespace bench
