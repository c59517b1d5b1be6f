// The core of a browser window that is only its frame window.
#pragma once

#include <windows.h>

#include "sdk/com.h"
#include "sdk/omb.h"

class FrameCore : public omb::ComObject<FrameCore, OMB::ICore> {
 public:
  explicit FrameCore(HWND frame) : frame_(frame) {}
  STDMETHODIMP CreateBrowserWindow(const wchar_t*, BOOL, VARIANT*, VARIANT*, IDispatch**) noexcept override {
    return E_NOTIMPL;
  }
  HWND STDMETHODCALLTYPE GetWindowHandle() noexcept override { return frame_; }
  STDMETHODIMP QueryPlugin(const wchar_t*, IDispatch**) noexcept override { return E_NOTIMPL; }
  // Paths stay as they are.
  STDMETHODIMP ResolvePath(const wchar_t* path, BSTR* result) noexcept override {
    *result = SysAllocString(path);
    return *result ? S_OK : E_OUTOFMEMORY;
  }
  STDMETHODIMP CreateObject(const wchar_t*, IDispatch**) noexcept override { return E_NOTIMPL; }

 private:
  HWND frame_;
};
