// A strict contract double of the platform's WebBrowser control.
//
// The host cannot tell it from the real control: it is made through its
// library's DllGetClassObject for CLSID_WebBrowser and driven by the
// unchanged container code (OMBREL_ENGINE names the library). It behaves as
// the control is documented to behave, and as Wine's conformance tests of
// ieframe show native Windows behaving, where the script-only page engine is
// lenient:
//   - Navigate does its synchronous part (ambient USERMODE, BeforeNavigate2,
//     on the first navigation GetHostInfo, ambient DLCONTROL and USERAGENT,
//     GetOptionKeyPath) and returns with READYSTATE_LOADING. The new page's
//     document exists for the host only from its NavigateComplete2 on, which
//     comes from the message loop like DocumentComplete; LocationURL answers
//     S_FALSE before the first navigation.
//   - Refresh (and F5) reload the page without BeforeNavigate2,
//     NavigateComplete2 or DocumentComplete.
//   - A page's frames report NavigateComplete2 and DocumentComplete with the
//     frame's own browser object; the page's DocumentComplete comes last.
//   - A navigation the page starts fires BeforeNavigate2 while the old page
//     is complete; unload handlers run before a page goes and when the
//     control closes.
//   - SetClientSite, DoVerb, Close and SetClientSite(NULL) call the site in
//     the documented order; ambient properties are read with a property get
//     without arguments, and again on OnAmbientPropertyChange.
//   - Accelerators reach the site only while the control is UI-active, and
//     only key messages; the control acts on its own keys (Tab, F6 and F5)
//     whatever window the message is for, as the real one does.
//   - Script errors go to Exec(CGID_DocHostCommandHandler,
//     OLECMDID_SHOWSCRIPTERROR) of the command target of the client site (or
//     of its container); before a page's scripts run, the security manager
//     the site offers through QueryService is asked (MapUrlToZone,
//     ProcessUrlAction for script runs).
//   - window.close() fires WindowClosing and, unless cancelled, the control
//     destroys its window.
//   - Every call, AddRef and Release must come from the thread that created
//     the control (thread_guard.h).
// Pages, their documents, scripts, elements and input are the script-only
// engine's (app/engine); nothing is drawn.
#pragma once

#include <string>
#include <vector>

#include "app/engine/connection_point.h"
#include "app/engine/engine_windows.h"
#include "app/engine/interface_defaults.h"
#include "app/engine/page.h"
#include "app/engine/page_input.h"
#include "tests/support/browserdouble/thread_guard.h"

namespace browserdouble {

using omb::ComPtr;
using omb::engine::CPage;

// The browser object of one frame of a page: what the frame's
// NavigateComplete2 and DocumentComplete name as pDisp. Frame pages are not
// loaded; the frame knows its location.
class CDoubleFrame final : public omb::ComObject<CDoubleFrame, omb::engine::WebBrowserDefaults> {
 public:
  explicit CDoubleFrame(std::wstring url) noexcept : url_(std::move(url)) {}
  const std::wstring& Url() const noexcept { return url_; }

  STDMETHODIMP QueryInterface(REFIID iid, void** out) noexcept override;
  STDMETHODIMP_(ULONG) AddRef() noexcept override;
  STDMETHODIMP_(ULONG) Release() noexcept override;
  STDMETHODIMP GetTypeInfoCount(UINT* count) noexcept override;
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) noexcept override;
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT count, LCID, DISPID* ids) noexcept override;
  STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                      UINT*) noexcept override;
  STDMETHODIMP get_LocationURL(BSTR* url) noexcept override;
  STDMETHODIMP get_ReadyState(READYSTATE* state) noexcept override;
  STDMETHODIMP get_Document(IDispatch** document) noexcept override;

 private:
  ~CDoubleFrame() override = default;
  friend class omb::ComObject<CDoubleFrame, omb::engine::WebBrowserDefaults>;
  using Base = omb::ComObject<CDoubleFrame, omb::engine::WebBrowserDefaults>;

  CThreadGuard guard_;
  std::wstring url_;
};

class CDoubleControl final
    : public omb::ComObject<CDoubleControl, omb::engine::WebBrowserDefaults, IOleObject,
                            IOleInPlaceObject, IOleInPlaceActiveObject, IOleControl,
                            IPersistStreamInit, IConnectionPointContainer, IProvideClassInfo2>,
      public omb::engine::IPageHost,
      public omb::engine::IEngineWindowOwner {
 public:
  CDoubleControl() noexcept = default;

  // IUnknown: on the owner thread only.
  STDMETHODIMP QueryInterface(REFIID iid, void** out) noexcept override;
  STDMETHODIMP_(ULONG) AddRef() noexcept override;
  STDMETHODIMP_(ULONG) Release() noexcept override;

  // IDispatch (of IWebBrowser2): no names for late-bound callers.
  STDMETHODIMP GetTypeInfoCount(UINT* count) noexcept override;
  STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) noexcept override;
  STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid,
                             DISPID* ids) noexcept override;
  STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params,
                      VARIANT* result, EXCEPINFO* exception, UINT* argError) noexcept override;
  // IWebBrowser2
  STDMETHODIMP Navigate(BSTR url, VARIANT* flags, VARIANT* frame, VARIANT* postData,
                        VARIANT* headers) noexcept override;
  STDMETHODIMP Navigate2(VARIANT* url, VARIANT* flags, VARIANT* frame, VARIANT* postData,
                         VARIANT* headers) noexcept override;
  STDMETHODIMP Refresh() noexcept override;
  STDMETHODIMP Refresh2(VARIANT* level) noexcept override;
  STDMETHODIMP Stop() noexcept override;
  STDMETHODIMP get_Application(IDispatch** application) noexcept override;
  STDMETHODIMP get_Document(IDispatch** document) noexcept override;
  STDMETHODIMP get_Type(BSTR* type) noexcept override;
  STDMETHODIMP get_LocationName(BSTR* name) noexcept override;
  STDMETHODIMP get_LocationURL(BSTR* url) noexcept override;
  STDMETHODIMP get_Busy(VARIANT_BOOL* busy) noexcept override;
  STDMETHODIMP Quit() noexcept override;
  STDMETHODIMP get_HWND(SHANDLE_PTR* window) noexcept override;
  STDMETHODIMP get_Visible(VARIANT_BOOL* visible) noexcept override;
  STDMETHODIMP put_Visible(VARIANT_BOOL visible) noexcept override;
  STDMETHODIMP get_ReadyState(READYSTATE* state) noexcept override;
  STDMETHODIMP get_Offline(VARIANT_BOOL* value) noexcept override;
  STDMETHODIMP put_Offline(VARIANT_BOOL value) noexcept override;
  STDMETHODIMP get_Silent(VARIANT_BOOL* value) noexcept override;
  STDMETHODIMP put_Silent(VARIANT_BOOL value) noexcept override;
  STDMETHODIMP get_RegisterAsBrowser(VARIANT_BOOL* value) noexcept override;
  STDMETHODIMP put_RegisterAsBrowser(VARIANT_BOOL value) noexcept override;

  // IOleObject
  STDMETHODIMP SetClientSite(IOleClientSite* site) noexcept override;
  STDMETHODIMP GetClientSite(IOleClientSite** site) noexcept override;
  STDMETHODIMP SetHostNames(LPCOLESTR app, LPCOLESTR object) noexcept override;
  STDMETHODIMP Close(DWORD saveOption) noexcept override;
  STDMETHODIMP SetMoniker(DWORD which, IMoniker* moniker) noexcept override;
  STDMETHODIMP GetMoniker(DWORD assign, DWORD which, IMoniker** moniker) noexcept override;
  STDMETHODIMP InitFromData(IDataObject* data, BOOL creation, DWORD reserved) noexcept override;
  STDMETHODIMP GetClipboardData(DWORD reserved, IDataObject** data) noexcept override;
  STDMETHODIMP DoVerb(LONG verb, LPMSG msg, IOleClientSite* activeSite, LONG index, HWND parent,
                      LPCRECT rect) noexcept override;
  STDMETHODIMP EnumVerbs(IEnumOLEVERB** verbs) noexcept override;
  STDMETHODIMP Update() noexcept override;
  STDMETHODIMP IsUpToDate() noexcept override;
  STDMETHODIMP GetUserClassID(CLSID* clsid) noexcept override;
  STDMETHODIMP GetUserType(DWORD form, LPOLESTR* type) noexcept override;
  STDMETHODIMP SetExtent(DWORD aspect, SIZEL* size) noexcept override;
  STDMETHODIMP GetExtent(DWORD aspect, SIZEL* size) noexcept override;
  STDMETHODIMP Advise(IAdviseSink* sink, DWORD* connection) noexcept override;
  STDMETHODIMP Unadvise(DWORD connection) noexcept override;
  STDMETHODIMP EnumAdvise(IEnumSTATDATA** advise) noexcept override;
  STDMETHODIMP GetMiscStatus(DWORD aspect, DWORD* status) noexcept override;
  STDMETHODIMP SetColorScheme(LOGPALETTE* palette) noexcept override;
  // IOleWindow
  STDMETHODIMP GetWindow(HWND* window) noexcept override;
  STDMETHODIMP ContextSensitiveHelp(BOOL enter) noexcept override;
  // IOleInPlaceObject
  STDMETHODIMP InPlaceDeactivate() noexcept override;
  STDMETHODIMP UIDeactivate() noexcept override;
  STDMETHODIMP SetObjectRects(LPCRECT position, LPCRECT clip) noexcept override;
  STDMETHODIMP ReactivateAndUndo() noexcept override;
  // IOleInPlaceActiveObject
  STDMETHODIMP TranslateAccelerator(LPMSG msg) noexcept override;
  STDMETHODIMP OnFrameWindowActivate(BOOL activate) noexcept override;
  STDMETHODIMP OnDocWindowActivate(BOOL activate) noexcept override;
  STDMETHODIMP ResizeBorder(LPCRECT border, IOleInPlaceUIWindow* window,
                            BOOL frame) noexcept override;
  STDMETHODIMP EnableModeless(BOOL enable) noexcept override;
  // IOleControl
  STDMETHODIMP GetControlInfo(CONTROLINFO* info) noexcept override;
  STDMETHODIMP OnMnemonic(MSG* msg) noexcept override;
  STDMETHODIMP OnAmbientPropertyChange(DISPID id) noexcept override;
  STDMETHODIMP FreezeEvents(BOOL freeze) noexcept override;
  // IPersistStreamInit
  STDMETHODIMP GetClassID(CLSID* clsid) noexcept override;
  STDMETHODIMP IsDirty() noexcept override;
  STDMETHODIMP Load(LPSTREAM stream) noexcept override;
  STDMETHODIMP Save(LPSTREAM stream, BOOL clearDirty) noexcept override;
  STDMETHODIMP GetSizeMax(ULARGE_INTEGER* size) noexcept override;
  STDMETHODIMP InitNew() noexcept override;
  // IConnectionPointContainer
  STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** points) noexcept override;
  STDMETHODIMP FindConnectionPoint(REFIID iid, IConnectionPoint** point) noexcept override;
  // IProvideClassInfo2
  STDMETHODIMP GetClassInfo(ITypeInfo** info) noexcept override;
  STDMETHODIMP GetGUID(DWORD kind, GUID* guid) noexcept override;

  // IPageHost (the pages call in here on the owner thread)
  void PostPageStep(UINT generation) noexcept override;
  void SetPageTimer(UINT delayMs) noexcept override;
  void KillPageTimer() noexcept override;
  void FireNavigateComplete(const std::wstring& url) noexcept override;
  void FireDocumentComplete(const std::wstring& url) noexcept override;
  void OpenWindow(const std::wstring& url, const std::wstring& pageUrl) noexcept override;
  void CloseWindow() noexcept override;
  void NavigateFromPage(const std::wstring& url) noexcept override;
  HRESULT GetExternal(IDispatch** out) noexcept override;
  HWND MessageOwner() noexcept override;
  bool ReportScriptError(IUnknown* document, const omb::engine::ScriptError& error) noexcept override;

  // IEngineWindowOwner
  bool OnEngineMessage(omb::engine::EngineWindow which, HWND window, UINT message, WPARAM wParam,
                       LPARAM lParam, LRESULT* result) noexcept override;

 private:
  ~CDoubleControl() override;
  friend class omb::ComObject<CDoubleControl, omb::engine::WebBrowserDefaults, IOleObject,
                              IOleInPlaceObject, IOleInPlaceActiveObject, IOleControl,
                              IPersistStreamInit, IConnectionPointContainer, IProvideClassInfo2>;
  using Base = omb::ComObject<CDoubleControl, omb::engine::WebBrowserDefaults, IOleObject,
                              IOleInPlaceObject, IOleInPlaceActiveObject, IOleControl,
                              IPersistStreamInit, IConnectionPointContainer, IProvideClassInfo2>;

  template <class I>
  ComPtr<I> SiteAs() const noexcept {
    ComPtr<I> out;
    if (site_) site_.As(&out);
    return out;
  }
  IDispatch* BrowserDispatch() noexcept { return static_cast<IWebBrowser2*>(this); }

  // Navigation (double_control.cpp)
  HRESULT NavigateTo(const std::wstring& target, bool fromPage) noexcept;
  void AskHostBeforeFirstNavigation() noexcept;
  bool ScriptsAllowed(const std::wstring& url) noexcept;
  void CollectFrames() noexcept;
  CPage* PageOfGeneration(UINT generation) const noexcept;
  void UnloadCurrentPage() noexcept;
  void CloseControlWindow() noexcept;
  bool OnPageRequest(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept;
  // Embedding (double_ole.cpp)
  void ReadAmbient(DISPID id, VARIANT* value) noexcept;
  void ReadAmbients(DISPID id) noexcept;
  HRESULT InPlaceActivate(HWND parent, LPCRECT rect) noexcept;
  HRESULT UiActivate() noexcept;
  void UiDeactivate() noexcept;
  void DeactivateInPlace() noexcept;
  bool CreateWindowChain(HWND parent) noexcept;
  void DestroyWindowChain() noexcept;
  void RegisterDropTarget() noexcept;
  void Teardown(bool unload) noexcept;

  CThreadGuard guard_;
  ComPtr<IOleClientSite> site_;
  ComPtr<IOleInPlaceSite> inPlaceSite_;  // while in place
  ComPtr<IOleInPlaceFrame> frame_;
  ComPtr<IOleInPlaceUIWindow> uiWindow_;
  ComPtr<IOleAdviseHolder> adviseHolder_;
  ComPtr<omb::engine::CConnectionPoint> events_;
  ComPtr<CPage> page_;     // the page whose document the host sees
  ComPtr<CPage> loading_;  // the page navigated to, until its NavigateComplete2
  std::vector<ComPtr<CDoubleFrame>> frames_;
  std::wstring pageNavigation_;  // where the page asked to go
  omb::engine::CPageInput input_;
  omb::engine::CPageMessageWindow messages_;
  HWND embedding_ = nullptr;
  HWND view_ = nullptr;
  HWND server_ = nullptr;
  SIZEL extent_{};
  UINT generation_ = 0;
  UINT refreshGeneration_ = 0;  // the page a refresh loads: it fires no events
  bool navigated_ = false;  // the first navigation has begun
  bool starting_ = false;   // inside the synchronous part of a navigation
  bool dropTargetRegistered_ = false;
  bool inPlace_ = false;
  bool uiActive_ = false;
  bool registerAsBrowser_ = false;
  bool silent_ = false;
  bool offline_ = false;
  bool scriptsForbidden_ = false;  // the ambient DLCONTROL says no scripts
  bool visible_ = true;
};

}  // namespace browserdouble
