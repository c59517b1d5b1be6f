// What a loaded page asks of the control that shows it. The control
// implements this; a page drops its pointer when it is closed, so objects
// that script or the host keep past that point find no host and do nothing.
#pragma once

#include <string>

#include "app/engine/engine_com.h"

namespace omb::engine {

struct ScriptError {
  ULONG line = 0;   // one-based
  LONG column = 0;  // one-based
  HRESULT code = S_OK;
  std::wstring description;
  std::wstring url;  // the page or the script file
};

// The control's own script-error box, for errors the site does not take.
void ShowScriptErrorBox(HWND owner, const ScriptError& error) noexcept;

// The external object of a control's site (its IDocHostUIHandler's),
// E_NOINTERFACE when the site has no such handler.
HRESULT ExternalOfSite(IOleClientSite* site, IDispatch** out) noexcept;

class IPageHost {
 public:
  // Asks for RunStep of the page with this generation from the message loop.
  virtual void PostPageStep(UINT generation) noexcept = 0;
  // Arms (or re-arms) the single timer of the current page; KillPageTimer stops it.
  virtual void SetPageTimer(UINT delayMs) noexcept = 0;
  virtual void KillPageTimer() noexcept = 0;

  virtual void FireNavigateComplete(const std::wstring& url) noexcept = 0;
  virtual void FireDocumentComplete(const std::wstring& url) noexcept = 0;
  // window.open: asks the sinks (NewWindow3) whether and where to open url.
  virtual void OpenWindow(const std::wstring& url, const std::wstring& pageUrl) noexcept = 0;
  // window.close: tells the sinks (WindowClosing).
  virtual void CloseWindow() noexcept = 0;
  // A navigation started by the page (location, reload); url is absolute.
  virtual void NavigateFromPage(const std::wstring& url) noexcept = 0;

  virtual HRESULT GetExternal(IDispatch** out) noexcept = 0;
  // The window that owns message boxes (the top-level window of the control).
  virtual HWND MessageOwner() noexcept = 0;
  // Reports a script error to the site or shows it; answers whether scripts
  // of the page keep running.
  virtual bool ReportScriptError(IUnknown* document, const ScriptError& error) noexcept = 0;

 protected:
  ~IPageHost() = default;
};

}  // namespace omb::engine
