// A window core for plug-in tests: a given window, paths below a folder.
#pragma once

#include <string>

#include "sdk/com.h"
#include "sdk/omb.h"

class FakeCore : public omb::ComObject<FakeCore, OMB::ICore> {
 public:
  explicit FakeCore(HWND window, std::wstring base = L"") : window_(window), base_(std::move(base)) {}
  STDMETHODIMP CreateBrowserWindow(const wchar_t*, BOOL, VARIANT*, VARIANT*, IDispatch**) noexcept override {
    return E_NOTIMPL;
  }
  HWND STDMETHODCALLTYPE GetWindowHandle() noexcept override { return window_; }
  STDMETHODIMP QueryPlugin(const wchar_t*, IDispatch**) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP ResolvePath(const wchar_t* path, BSTR* result) noexcept override {
    *result = SysAllocString((base_ + L"\\" + path).c_str());
    return *result ? S_OK : E_OUTOFMEMORY;
  }
  STDMETHODIMP CreateObject(const wchar_t*, IDispatch**) noexcept override { return E_NOTIMPL; }

 private:
  HWND window_;
  std::wstring base_;
};
