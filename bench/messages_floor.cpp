// The messages bench's floor: raw SendMessageW round trips to a window that
// answers at once.
//
//   messages_floor receive      a hidden top-level window that answers every
//                               bench message with 0; a quit message ends it
//   messages_floor send <n>     finds that window (another process), sends one
//                               untimed message, then times n round trips
//   messages_floor local <n>    the same between two windows of this thread
//
// send and local print "messages-sample n=<n> us=<microseconds for all n>".
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>

namespace {

constexpr wchar_t kClassName[] = L"OmbrelBenchMessagesFloor";
constexpr UINT kPing = WM_APP;
constexpr UINT kQuit = WM_APP + 1;

LRESULT CALLBACK ReceiverProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kPing) return 0;
  if (message == kQuit) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

HWND CreateReceiver(HINSTANCE instance) {
  WNDCLASSEXW cls = {};
  cls.cbSize = sizeof(cls);
  cls.lpfnWndProc = ReceiverProc;
  cls.hInstance = instance;
  cls.lpszClassName = kClassName;
  RegisterClassExW(&cls);
  return CreateWindowExW(0, kClassName, nullptr, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                         CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, nullptr);
}

// Times n round trips to receiver after one untimed one; prints the sample.
int TimeRoundTrips(HWND receiver, long n) {
  SendMessageW(receiver, kPing, 0, 0);
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  for (long i = 0; i < n; ++i) SendMessageW(receiver, kPing, static_cast<WPARAM>(i), 0);
  QueryPerformanceCounter(&end);
  const double us = static_cast<double>(end.QuadPart - start.QuadPart) * 1e6 /
                    static_cast<double>(frequency.QuadPart);
  std::printf("messages-sample n=%ld us=%.0f\n", n, us);
  std::fflush(stdout);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  if (argc == 2 && std::wcscmp(argv[1], L"receive") == 0) {
    if (!CreateReceiver(instance)) return 3;
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
    return 0;
  }
  const long n = argc == 3 ? std::wcstol(argv[2], nullptr, 10) : 0;
  if (n > 0 && std::wcscmp(argv[1], L"send") == 0) {
    HWND receiver = nullptr;
    for (int tries = 0; !receiver && tries < 2000; ++tries) {
      receiver = FindWindowW(kClassName, nullptr);
      if (!receiver) Sleep(10);
    }
    if (!receiver) {
      std::fprintf(stderr, "messages_floor: no receiver window\n");
      return 1;
    }
    const int rc = TimeRoundTrips(receiver, n);
    SendMessageW(receiver, kQuit, 0, 0);
    return rc;
  }
  if (n > 0 && std::wcscmp(argv[1], L"local") == 0) {
    const HWND receiver = CreateReceiver(instance);
    if (!receiver) return 3;
    const int rc = TimeRoundTrips(receiver, n);
    DestroyWindow(receiver);
    return rc;
  }
  std::fprintf(stderr, "usage: messages_floor receive | send <n> | local <n>\n");
  return 2;
}
