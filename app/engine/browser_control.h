// The script-only page engine as an in-place ActiveX control that speaks the
// platform browser control's contract: IWebBrowser2 for navigation and the
// document, the OLE embedding interfaces a container drives, and
// DWebBrowserEvents2 through a connection point.
//
// Navigate builds the new page at once (document, elements, script engine),
// so the host can reach the document and publish script globals before any
// page script runs; the page then loads in posted steps (see page.h).
// Everything happens on the thread that created the control; it pumps no
// messages of its own. Every entry point that calls out (events, the site,
// page script) holds a reference to the control, so a host that releases
// the control from inside a callback does not pull it away underneath.
#pragma once

#include <string>

#include "app/engine/connection_point.h"
#include "app/engine/engine_windows.h"
#include "app/engine/interface_defaults.h"
#include "app/engine/page.h"
#include "app/engine/page_input.h"

namespace omb::engine {

class CPageControl
    : public ComObject<CPageControl, WebBrowserDefaults, IOleObject, IOleInPlaceObject,
                       IOleInPlaceActiveObject, IPersistStreamInit, IConnectionPointContainer,
                       IProvideClassInfo2>,
      public IPageHost,
      public IEngineWindowOwner {
 public:
  CPageControl() noexcept = default;

  // IDispatch (of IWebBrowser2)
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
  STDMETHODIMP get_RegisterAsBrowser(VARIANT_BOOL* value) noexcept override;
  STDMETHODIMP put_RegisterAsBrowser(VARIANT_BOOL value) noexcept override;
  STDMETHODIMP get_Silent(VARIANT_BOOL* value) noexcept override;
  STDMETHODIMP put_Silent(VARIANT_BOOL value) noexcept override;

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

  // IPageHost
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
  bool ReportScriptError(IUnknown* document, const ScriptError& error) noexcept override;

  // IEngineWindowOwner
  bool OnEngineMessage(EngineWindow which, HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                       LRESULT* result) noexcept override;

 private:
  ~CPageControl() override;
  friend class ComObject<CPageControl, WebBrowserDefaults, IOleObject, IOleInPlaceObject,
                         IOleInPlaceActiveObject, IPersistStreamInit, IConnectionPointContainer,
                         IProvideClassInfo2>;

  template <class I>
  ComPtr<I> SiteAs() const noexcept {
    ComPtr<I> out;
    if (site_) site_.As(&out);
    return out;
  }
  IDispatch* BrowserDispatch() noexcept { return static_cast<IWebBrowser2*>(this); }

  // Navigation (browser_control.cpp)
  HRESULT NavigateTo(const std::wstring& target) noexcept;
  void ReplacePage(ComPtr<CPage> page) noexcept;
  bool OnPageRequest(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept;
  // Embedding (control_ole.cpp)
  HRESULT Activate(bool uiActivate) noexcept;
  void Deactivate() noexcept;
  void DeactivateUi() noexcept;
  void AskHostInfo() noexcept;
  bool CreateWindowChain(HWND parent, const RECT& position) noexcept;
  void OfferDropTarget() noexcept;
  void RegisterDropTarget() noexcept;
  void RevokeDropTarget() noexcept;
  void OnWindowChainDestroyed() noexcept;
  void Teardown(bool unload) noexcept;
  // Input (control_input.cpp)
  bool OnServerMessage(UINT message, WPARAM wParam, LPARAM lParam) noexcept;
  bool IsOwnKeyMessage(HWND window) const noexcept;

  ComPtr<IOleClientSite> site_;
  ComPtr<IOleInPlaceSite> inPlaceSite_;  // while in place
  ComPtr<IOleInPlaceFrame> frame_;
  ComPtr<IOleInPlaceUIWindow> uiWindow_;
  ComPtr<IOleAdviseHolder> adviseHolder_;
  ComPtr<CConnectionPoint> events_;
  ComPtr<CPage> page_;
  std::wstring pageNavigation_;  // where the current page asked to go
  ComPtr<IDropTarget> dropTarget_;  // offered at activation, registered with the first page
  bool dropTargetRegistered_ = false;
  CPageMessageWindow messages_;
  HWND embedding_ = nullptr;
  HWND view_ = nullptr;
  HWND server_ = nullptr;
  SIZEL extent_{};
  UINT generation_ = 0;
  bool uiActive_ = false;
  bool registerAsBrowser_ = false;
  bool silent_ = false;
  bool visible_ = true;
  CPageInput input_;
};

}  // namespace omb::engine
