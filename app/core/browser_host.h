// The site in which one browser window holds its browser control, and what
// makes that control an application surface rather than a browser: the
// external object through which script reaches the plug-ins, the start-up
// script injected into every page, the context-menu and accelerator policy,
// full trust for every URL, the handling of script errors, and a drop target
// that hands dropped files to script. It owns the window's plug-in manager.
#pragma once

#include <windows.h>
#include <exdisp.h>
#include <mshtml.h>
#include <mshtmhst.h>
#include <docobj.h>
#include <urlmon.h>

#include "app/core/ax_host.h"
#include "app/core/plugin_manage.h"
#include "sdk/com.h"
#include "sdk/omb.h"

namespace omb {

// The host's own interface for its browser window.
MIDL_INTERFACE("D113E828-C5D0-451C-8D7C-9B87744AD768")
IWebbrowserHost : public IUnknown {
  // Hands the window's core and its browser control to the plug-in manager.
  virtual HRESULT STDMETHODCALLTYPE SetCore(OMB::ICore* core, IUnknown* browser) = 0;
  // Releases every kept plug-in and the core reference (window destroyed);
  // afterwards no plug-in is created any more.
  virtual HRESULT STDMETHODCALLTYPE ReleasePlugins() = 0;
  // A control event the window forwards (NavigateComplete2, DocumentComplete).
  virtual HRESULT STDMETHODCALLTYPE OnBrowserEvent(DISPID event) = 0;
  // What script gets as window.external[name], as IDispatch.
  virtual HRESULT STDMETHODCALLTYPE QueryPlugin(const wchar_t* name, IDispatch** plugin) = 0;
};

// The start-up script injected into every page on navigation.
extern const wchar_t kStartupScript[];

// Script-visible methods of the external object.
constexpr DISPID kDispIdLoadPlugin = -6999;
constexpr DISPID kDispIdCreateWindow = -6998;

// Navigation state of the window's page.
enum class NavigationState { kNothing = 0, kNavigated = 1, kDocumentComplete = 2 };

// True when the control should show its own context menu for an element with
// this tag name (text fields only).
bool ShowsContextMenuFor(const wchar_t* tagName) noexcept;

// True when a key message is swallowed by the host (reload, zoom, open
// location, new window): only WM_KEYDOWN of the listed keys.
bool IsSwallowedKey(UINT message, WPARAM key, bool ctrlDown) noexcept;

// True when a script error should show the control's own dialog: the console
// plug-in exists and its "showJsError" is anything but the boolean false.
bool ShowsScriptErrorDialog(IDispatch* console) noexcept;

class CWebBrowserHost final
    : public ComObject<CWebBrowserHost, IDropTarget, IWebbrowserHost, IDocHostUIHandler,
                       IHTMLChangeSink, IInternetSecurityManager, IOleCommandTarget, IDispatch,
                       CAxHost> {
 public:
  CWebBrowserHost() noexcept;

  NavigationState Navigation() const noexcept { return navigation_; }

  HRESULT QueryOther(REFIID iid, void** out) noexcept { return QueryHostInterface(iid, out); }

  // IWebbrowserHost
  STDMETHODIMP SetCore(OMB::ICore* core, IUnknown* browser) noexcept override;
  STDMETHODIMP ReleasePlugins() noexcept override;
  STDMETHODIMP OnBrowserEvent(DISPID event) noexcept override;
  STDMETHODIMP QueryPlugin(const wchar_t* name, IDispatch** plugin) noexcept override;

  // IDispatch: the external object (also the control's ambient properties)
  STDMETHODIMP GetTypeInfoCount(UINT* count) noexcept override;
  STDMETHODIMP GetTypeInfo(UINT index, LCID, ITypeInfo** info) noexcept override;
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                             DISPID* ids) noexcept override;
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO*, UINT*) noexcept override;

  // IDocHostUIHandler
  STDMETHODIMP ShowContextMenu(DWORD id, POINT* point, IUnknown* target,
                               IDispatch* element) noexcept override;
  STDMETHODIMP GetHostInfo(DOCHOSTUIINFO* info) noexcept override;
  STDMETHODIMP ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*, IOleInPlaceFrame*,
                      IOleInPlaceUIWindow*) noexcept override {
    return S_FALSE;
  }
  STDMETHODIMP HideUI() noexcept override { return S_OK; }
  STDMETHODIMP UpdateUI() noexcept override { return S_OK; }
  STDMETHODIMP EnableModeless(BOOL) noexcept override { return S_OK; }
  STDMETHODIMP OnDocWindowActivate(BOOL) noexcept override { return S_OK; }
  STDMETHODIMP OnFrameWindowActivate(BOOL) noexcept override { return S_OK; }
  STDMETHODIMP ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) noexcept override { return S_OK; }
  STDMETHODIMP TranslateAccelerator(LPMSG message, const GUID*, DWORD) noexcept override;
  STDMETHODIMP GetOptionKeyPath(LPOLESTR* key, DWORD) noexcept override;
  STDMETHODIMP GetDropTarget(IDropTarget*, IDropTarget** target) noexcept override;
  STDMETHODIMP GetExternal(IDispatch** external) noexcept override;
  STDMETHODIMP TranslateUrl(DWORD, LPWSTR, LPWSTR* out) noexcept override;
  STDMETHODIMP FilterDataObject(IDataObject*, IDataObject** out) noexcept override;

  // IHTMLChangeSink
  STDMETHODIMP Notify() noexcept override;

  // IOleCommandTarget
  STDMETHODIMP QueryStatus(const GUID* group, ULONG, OLECMD*, OLECMDTEXT*) noexcept override;
  STDMETHODIMP Exec(const GUID* group, DWORD command, DWORD, VARIANT*, VARIANT* out) noexcept override;

  // IInternetSecurityManager
  STDMETHODIMP SetSecuritySite(IInternetSecurityMgrSite*) noexcept override;
  STDMETHODIMP GetSecuritySite(IInternetSecurityMgrSite** site) noexcept override;
  STDMETHODIMP MapUrlToZone(LPCWSTR url, DWORD* zone, DWORD flags) noexcept override;
  STDMETHODIMP GetSecurityId(LPCWSTR url, BYTE*, DWORD*, DWORD_PTR) noexcept override;
  STDMETHODIMP ProcessUrlAction(LPCWSTR url, DWORD action, BYTE* policy, DWORD policySize, BYTE*,
                                DWORD, DWORD, DWORD) noexcept override;
  STDMETHODIMP QueryCustomPolicy(LPCWSTR, REFGUID, BYTE**, DWORD*, BYTE*, DWORD,
                                 DWORD) noexcept override;
  STDMETHODIMP SetZoneMapping(DWORD, LPCWSTR, DWORD) noexcept override;
  STDMETHODIMP GetZoneMappings(DWORD, IEnumString**, DWORD) noexcept override;

  // IServiceProvider: the security manager, else the container's answer.
  STDMETHODIMP QueryService(REFGUID service, REFIID iid, void** out) noexcept override;

  // IDropTarget
  STDMETHODIMP DragEnter(IDataObject*, DWORD, POINTL, DWORD* effect) noexcept override;
  STDMETHODIMP DragOver(DWORD, POINTL point, DWORD* effect) noexcept override;
  STDMETHODIMP DragLeave() noexcept override;
  STDMETHODIMP Drop(IDataObject* data, DWORD, POINTL point, DWORD* effect) noexcept override;

 private:
  friend class ComObject<CWebBrowserHost, IDropTarget, IWebbrowserHost, IDocHostUIHandler,
                         IHTMLChangeSink, IInternetSecurityManager, IOleCommandTarget, IDispatch,
                         CAxHost>;
  ~CWebBrowserHost() override;

  HRESULT ResolvePluginName(const wchar_t* name, DISPID* id) noexcept;
  void CatchUpNotifications(OMB::IPlugin* plugin) const noexcept;
  HRESULT InvokeMethod(DISPID id, const DISPPARAMS* params, VARIANT* result) noexcept;
  HRESULT LoadPluginMethod(const DISPPARAMS* params, VARIANT* result) noexcept;
  HRESULT CreateWindowMethod(const DISPPARAMS* params, VARIANT* result) noexcept;
  HRESULT ReadPlugin(DISPID id, VARIANT* result) noexcept;
  void InjectStartupScript() noexcept;
  ComPtr<IHTMLDocument2> Document() const noexcept;
  ComPtr<IDispatch> FindDropZone(POINTL point) noexcept;
  HRESULT DeliverDroppedFiles(IDataObject* data, IDispatch* registration) noexcept;

  CPluginManage plugins_;
  ComPtr<OMB::ICore> core_;
  NavigationState navigation_ = NavigationState::kNothing;
  // Set by ReleasePlugins: no plug-in is created for this window any more.
  bool pluginsReleased_ = false;
};

}  // namespace omb

#ifdef __CRT_UUID_DECL
__CRT_UUID_DECL(omb::IWebbrowserHost, 0xD113E828, 0xC5D0, 0x451C, 0x8D, 0x7C, 0x9B, 0x87, 0x74, 0xAD,
                0x76, 0x88)
#endif
