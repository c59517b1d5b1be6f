// Helpers for the file plug-in's tests: a scratch folder, small file
// builders, a script-function stand-in that records its calls, and a message
// pump for the tests that wait for worker jobs.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "sdk/com.h"
#include "sdk/omb.h"
#include "sdk/dispatch.h"

namespace filetest {

// A fresh folder under the temporary folder, removed with its contents when
// the object goes.
class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const std::wstring& Path() const { return path_; }
  std::wstring operator/(const std::wstring& relative) const { return path_ + L"\\" + relative; }

 private:
  std::wstring path_;
};

void WriteBytes(const std::wstring& path, size_t count, char fill = 'x');
void MakeFolder(const std::wstring& path);
bool Exists(const std::wstring& path);
ULONGLONG SizeOf(const std::wstring& path);
void RemoveTree(const std::wstring& path);

// A script function: records each call's arguments (script order, as
// "vt:text") and answers with a chosen value.
class FakeFunction : public omb::ComObject<FakeFunction, omb::InvokeOnly> {
 public:
  std::vector<std::vector<std::wstring>> calls;
  std::vector<DWORD> threads;
  omb::unique_variant answer;
  HRESULT answerResult = S_OK;

  STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                      UINT*) noexcept override;
};

ComPtr<FakeFunction> NewFunction();

// Answers ResolvePath by putting relative paths below a base folder.
class FakeCore : public omb::ComObject<FakeCore, OMB::ICore> {
 public:
  explicit FakeCore(std::wstring base) : base_(std::move(base)) {}
  STDMETHODIMP CreateBrowserWindow(const wchar_t*, BOOL, VARIANT*, VARIANT*,
                                   IDispatch**) noexcept override {
    return E_NOTIMPL;
  }
  HWND STDMETHODCALLTYPE GetWindowHandle() noexcept override { return nullptr; }
  STDMETHODIMP QueryPlugin(const wchar_t*, IDispatch**) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP ResolvePath(const wchar_t* path, BSTR* result) noexcept override;
  STDMETHODIMP CreateObject(const wchar_t*, IDispatch**) noexcept override { return E_NOTIMPL; }

 private:
  std::wstring base_;
};

// Runs the message loop until done() holds or the time is up. done() changes
// only through messages (calls from workers arrive as messages), so the wait
// is for the next message.
template <class F>
bool PumpUntil(F done, DWORD timeoutMs = 10000) {
  const ULONGLONG end = GetTickCount64() + timeoutMs;
  while (!done()) {
    const ULONGLONG now = GetTickCount64();
    if (now >= end) return false;
    MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(end - now), QS_ALLINPUT,
                                MWMO_INPUTAVAILABLE);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  return true;
}

}  // namespace filetest
