// The start-up bench's floor: the least a program of the host's design does
// before its first page script runs. It initialises OLE on its thread (the
// host's window needs it for in-place activation and drag and drop), creates
// one top-level window (not shown), loads the platform's script engine and
// runs one statement, host.report(), which writes the same start-up sample as
// the host's probe plug-in (bench/startup_sample.h); then it exits.
#include <windows.h>
#include <ole2.h>

#include "bench/script_floor.h"
#include "bench/startup_sample.h"

namespace {

bool g_reported = false;

void Report(const DISPPARAMS*) { g_reported = bench::WriteSample(); }

LRESULT CALLBACK FloorWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  if (FAILED(OleInitialize(nullptr))) return 2;
  WNDCLASSEXW cls = {};
  cls.cbSize = sizeof(cls);
  cls.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
  cls.lpfnWndProc = FloorWindowProc;
  cls.hInstance = instance;
  cls.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  cls.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  cls.lpszClassName = L"OmbrelStartupFloor";
  if (!RegisterClassExW(&cls)) return 3;
  const HWND window = CreateWindowExW(0, cls.lpszClassName, nullptr, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                      CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr,
                                      instance, nullptr);
  if (!window) return 4;
  bool ran = false;
  {
    bench::FloorSite site;
    auto* host = new bench::MinimalObject(L"report", bench::MinimalObject::kReturnsTrue, Report);
    site.Add(L"host", host);
    host->Release();
    ran = bench::RunScript(site, {L"host"}, L"host.report();");
  }
  DestroyWindow(window);
  OleUninitialize();
  return ran && g_reported ? 0 : 1;
}
