// One loaded page: its document and element tree, its window object and its
// JScript engine, its timers and the steps that load it.
//
// The control creates a page when asked to navigate; the document, the
// window and the script engine exist at once. Everything else happens in
// steps the control runs from posted messages, one step per message:
// NavigateComplete2, each page script in document order, the load handlers,
// DocumentComplete. Steps and timers never nest inside running script (a
// modal message box or plug-in dialog pumps messages while script waits):
// they wait until the outermost script activity of the page has returned.
// Closing a page while its script runs is likewise deferred to that point,
// so no engine is closed under its own feet.
#pragma once

#include <string>
#include <vector>

#include "app/engine/engine_com.h"
#include "app/engine/page_host.h"
#include "app/engine/page_url.h"
#include "app/engine/script_engine.h"
#include "app/engine/timer_queue.h"

namespace omb::engine {

class CPageDocument;
class CPageWindow;

class CPage : public ComObject<CPage, IActiveScriptSite, IActiveScriptSiteWindow> {
 public:
  // Loads the page's file, builds its document and starts its engine (a
  // page whose engine cannot start is shown without scripts).
  static ComPtr<CPage> Create(IPageHost* host, PageLocation location, UINT generation) noexcept;
  CPage(IPageHost* host, PageLocation location, UINT generation) noexcept;

  const PageLocation& Location() const noexcept { return location_; }
  UINT Generation() const noexcept { return generation_; }
  IPageHost* Host() const noexcept { return host_; }                    // null once closed
  CPageDocument* Document() const noexcept { return document_.Get(); }  // null once closed
  CPageWindow* Window() const noexcept { return window_.Get(); }
  IDispatchEx* Global() const noexcept { return engine_.Global(); }
  READYSTATE ReadyState() const noexcept;
  const wchar_t* DocumentReadyState() const noexcept;

  void Start() noexcept;    // posts the first step
  void RunStep() noexcept;  // runs the next step (or defers it while script runs)
  void Stop() noexcept;     // runs no further steps
  // The page loads without running its scripts (the site's policy forbids
  // them); call before its first step.
  void DisableScripts() noexcept { halted_ = true; }
  void OnTimer() noexcept;  // runs the timer tasks that are due
  void Unload() noexcept;   // runs the unload handlers (before Close)
  void Close() noexcept;

  HRESULT ExecScript(const std::wstring& code, VARIANT* result) noexcept;
  HRESULT AddTimer(const VARIANT& code, std::vector<unique_variant> args, UINT delay, bool repeat,
                   LONG* id) noexcept;
  void RemoveTimer(LONG id) noexcept;
  // Navigates the control to a reference relative to this page.
  void NavigateFromPage(std::wstring_view reference) noexcept;
  void ReloadFromPage() noexcept;
  // The script error being reported to the host, while it is (window.event
  // describes it then, as the platform control's does); null otherwise.
  const ScriptError* ReportedError() const noexcept { return reportedError_; }
  // Listeners of window/document "load" and "DOMContentLoaded".
  void AddListener(std::wstring_view type, IDispatch* listener) noexcept;
  void RemoveListener(std::wstring_view type, IDispatch* listener) noexcept;

  // IActiveScriptSite
  STDMETHODIMP GetLCID(LCID* lcid) noexcept override;
  STDMETHODIMP GetItemInfo(LPCOLESTR name, DWORD mask, IUnknown** item,
                           ITypeInfo** info) noexcept override;
  STDMETHODIMP GetDocVersionString(BSTR* version) noexcept override;
  STDMETHODIMP OnScriptTerminate(const VARIANT* result,
                                 const EXCEPINFO* exception) noexcept override;
  STDMETHODIMP OnStateChange(SCRIPTSTATE state) noexcept override;
  STDMETHODIMP OnScriptError(IActiveScriptError* error) noexcept override;
  STDMETHODIMP OnEnterScript() noexcept override;
  STDMETHODIMP OnLeaveScript() noexcept override;
  // IActiveScriptSiteWindow
  STDMETHODIMP GetWindow(HWND* window) noexcept override;
  STDMETHODIMP EnableModeless(BOOL enable) noexcept override;

 private:
  friend class ComObject<CPage, IActiveScriptSite, IActiveScriptSiteWindow>;
  ~CPage() override;

  enum class Step { kNavigateComplete, kScripts, kLoad, kDocumentComplete, kDone };

  // Marks script activity of the page for the lifetime of the scope.
  class Busy {
   public:
    explicit Busy(CPage* page) noexcept : page_(page) { ++page_->busy_; }
    Busy(const Busy&) = delete;
    Busy& operator=(const Busy&) = delete;
    ~Busy() { page_->LeaveBusy(); }

   private:
    ComPtr<CPage> page_;
  };

  void LeaveBusy() noexcept;
  void FinishClose() noexcept;
  void RunPageScript(size_t index) noexcept;
  void RunLoadHandlers() noexcept;
  void RunWindowHandler(const wchar_t* type) noexcept;
  void FireListeners(std::wstring_view type) noexcept;
  void RunTimerTask(const TimerTask& task) noexcept;
  void ArmTimer() noexcept;
  HRESULT RunCode(const std::wstring& code, DWORD_PTR cookie, ULONG line, VARIANT* result) noexcept;
  // Reports an exception a script function threw when the page called it.
  void ReportException(EXCEPINFO& exception) noexcept;
  void Report(const ScriptError& error) noexcept;
  std::wstring SourceUrl(DWORD_PTR cookie) const;

  struct Listener {
    std::wstring type;
    ComPtr<IDispatch> function;
  };

  IPageHost* host_;
  PageLocation location_;
  UINT generation_;
  ComPtr<CPageDocument> document_;
  ComPtr<CPageWindow> window_;
  CScriptEngine engine_;
  CTimerQueue timers_;
  std::vector<Listener> listeners_;
  std::vector<std::wstring> sourceUrls_;  // script file URLs by source cookie - 1

  Step step_ = Step::kNavigateComplete;
  size_t nextScript_ = 0;
  int busy_ = 0;
  const ScriptError* reportedError_ = nullptr;
  bool stepPending_ = false;
  bool closing_ = false;
  bool closed_ = false;
  bool halted_ = false;  // the site asked to stop running scripts
  bool unloaded_ = false;
};

}  // namespace omb::engine
