// A library for registration tests. Each entry appends its name to the
// process environment variable OMBREL_REGDLL_CALLS ("register",
// "unregister", comma-separated), which outlives the library's unloading.
// Unregistering answers S_FALSE until a registration was recorded.
#include <windows.h>

#include <string>

namespace {

const wchar_t kRecord[] = L"OMBREL_REGDLL_CALLS";

std::wstring Calls() {
  wchar_t value[1024];
  const DWORD n = GetEnvironmentVariableW(kRecord, value, 1024);
  return n > 0 && n < 1024 ? std::wstring(value, n) : std::wstring();
}

void Record(const wchar_t* call) {
  std::wstring calls = Calls();
  if (!calls.empty()) calls += L',';
  SetEnvironmentVariableW(kRecord, (calls + call).c_str());
}

}  // namespace

extern "C" __declspec(dllexport) HRESULT __stdcall DllRegisterServer() {
  Record(L"register");
  return S_OK;
}

extern "C" __declspec(dllexport) HRESULT __stdcall DllUnregisterServer() {
  const bool registered = Calls().find(L"register") == 0 ||
                          Calls().find(L",register") != std::wstring::npos;
  Record(L"unregister");
  return registered ? S_OK : S_FALSE;
}
