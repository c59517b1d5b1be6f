// One top-level application window: it holds the browser control through its
// host site (browser_host.h), listens to the control's events, lets the
// control see keyboard messages first, and implements OMB::ICore, through
// which plug-ins reach their window.
//
// Lifetime: the window does not hold its object. The object lives while
// someone holds it: the creator (start-up holds the first window until the
// message loop ends; CreateBrowserWindow holds a new one only while it runs),
// the host site's core reference (from SetCore until the window is destroyed)
// and plug-ins' core references. When the window is destroyed its handler
// releases the plug-ins, tears the control down and lets the host go; the
// object holds itself until that handler returns and detaches from the
// window, so later messages (WM_NCDESTROY) never reach a freed object.
#pragma once

#include <windows.h>
#include <exdisp.h>

#include <optional>
#include <string>

#include "app/core/browser_host.h"
#include "app/core/message_loop.h"
#include "sdk/com.h"
#include "sdk/omb.h"

namespace omb {

// Page paths are limited to this many characters (a 260-character buffer).
constexpr size_t kMaxPagePath = 259;

struct StartPage {
  std::wstring page;
  // When not empty, the current directory must become this folder first.
  std::wstring currentDirectory;
};

// The page a new window opens: the creation parameter (a window made by
// createWindow), else the command line's "f", else resource\index.html of
// the current directory when it has a "resource" folder, else the one beside
// the executable (whose folder then becomes the current directory). None
// when the page would be longer than kMaxPagePath characters.
std::optional<StartPage> ChooseStartPage(const wchar_t* creationParameter, const wchar_t* f,
                                         const std::wstring& currentDirectory,
                                         const std::wstring& exePath);

// True when a page can be opened: URLs always; paths when the file exists,
// tested without a #fragment.
bool PageExists(const std::wstring& page);

class CWebBrowser final : public ComObject<CWebBrowser, OMB::ICore, IDispatch>,
                          public IMessageFilter {
 public:
  static constexpr const wchar_t* kClassName = L"OmbrelBrowserWindow";

  CWebBrowser() noexcept = default;

  // Creates the window (WS_OVERLAPPEDWINDOW, default position and size, not
  // visible). page is the creation parameter: the page to open, or null to
  // choose the start page. Null when no window results (also when the
  // window destroyed itself because its page was missing).
  HWND Create(HWND owner, const wchar_t* page) noexcept;
  // Values written into the page script as windowContext and windowCallback
  // when this window's first page has navigated (its document exists then).
  // Call before Create.
  HRESULT SetWindowValues(const VARIANT* callback, const VARIANT* context) noexcept;

  HRESULT QueryOther(REFIID iid, void** out) noexcept;

  // OMB::ICore
  STDMETHODIMP CreateBrowserWindow(const wchar_t* url, BOOL inherit, VARIANT* callback,
                                   VARIANT* context, IDispatch** window) noexcept override;
  STDMETHODIMP_(HWND) GetWindowHandle() noexcept override { return window_; }
  STDMETHODIMP QueryPlugin(const wchar_t* name, IDispatch** plugin) noexcept override;
  STDMETHODIMP ResolvePath(const wchar_t* path, BSTR* result) noexcept override;
  STDMETHODIMP CreateObject(const wchar_t* kind, IDispatch** object) noexcept override;

  // IDispatch: the control's DWebBrowserEvents2
  STDMETHODIMP GetTypeInfoCount(UINT* count) noexcept override;
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) noexcept override;
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT count, LCID, DISPID* ids) noexcept override;
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO*, UINT*) noexcept override;

  // IMessageFilter: key messages for this window (its focus is in it) go to
  // its control first, while the control is UI-active; nothing else does.
  BOOL PreTranslateMessage(MSG* msg) noexcept override;

 private:
  friend class ComObject<CWebBrowser, OMB::ICore, IDispatch>;
  ~CWebBrowser() override;

  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam,
                                     LPARAM lParam) noexcept;
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) noexcept;
  void OnCreate(const wchar_t* creationParameter) noexcept;
  void CreateBrowser(const std::wstring& page) noexcept;
  void OnDestroy() noexcept;
  void OnNewWindow(const DISPPARAMS* params) noexcept;
  void OnWindowClosing(const DISPPARAMS* params) noexcept;
  bool IsTopLevelEvent(const DISPPARAMS* params) const noexcept;
  void PublishWindowValues() noexcept;
  std::wstring LocationUrl() const;

  HWND window_ = nullptr;
  ComPtr<CWebBrowserHost> host_;
  bool filterAdded_ = false;
  bool valuesPending_ = false;
  unique_variant pendingCallback_;
  unique_variant pendingContext_;
};

}  // namespace omb
