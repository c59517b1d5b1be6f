#include "app/core/browser_host.h"

#include <exdispid.h>
#include <shellapi.h>

#include <cstring>
#include <string>

#include "app/core/plugin_registry.h"
#include "app/core/script_call.h"
#include "app/core/terminal.h"
#include "sdk/dispatch.h"
#include "sdk/trace.h"

namespace omb {

const wchar_t kStartupScript[] =
    L"function queryModule(pluginName){return window.external[pluginName];} console = "
    L"queryModule('console');_alert = window.alert; try{window.alert = "
    L"function(content,icon,title){queryModule('window').messageBox({caption:title ? title : "
    L"queryModule('window').title,text:String(content),icon:icon});}}catch(e){}function "
    L"loadPlugin(path){return window.external.loadPlugin(path);}function "
    L"createWindow(param){return window.external.createWindow(param);}function "
    L"abort(){queryModule('system').abort();}";

namespace {

// The command group in which the control asks its host to show a script
// error (the import library does not export it).
constexpr GUID kCgidDocHostCommandHandler = {
    0xf38bc242, 0xb950, 0x11d1, {0x89, 0x18, 0x00, 0xc0, 0x4f, 0xc2, 0xc8, 0x36}};

constexpr DWORD kHostInfoFlags =
    DOCHOSTUIFLAG_DIALOG | DOCHOSTUIFLAG_DISABLE_HELP_MENU | DOCHOSTUIFLAG_NO3DBORDER;

struct SwallowedKey {
  bool needsCtrl;
  WPARAM key;
};
constexpr SwallowedKey kSwallowedKeys[] = {
    {true, 'L'},  {true, 'O'},          {true, 'M'},         {false, VK_F5},
    {true, '0'},  {true, VK_OEM_MINUS}, {true, VK_OEM_PLUS},
};

const wchar_t* OrEmpty(const wchar_t* s) noexcept { return s ? s : L""; }

// Calls obj.name(argument) as script would and answers the result.
HRESULT CallMethodByName(IDispatch* obj, const wchar_t* name, const VARIANT& argument,
                         VARIANT* result) noexcept {
  DISPID id = DISPID_UNKNOWN;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  OMB_RETURN_IF_FAILED(obj->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id));
  VARIANT args[] = {argument};
  DISPPARAMS params = {args, nullptr, 1, 0};
  return obj->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result, nullptr,
                     nullptr);
}

}  // namespace

bool ShowsContextMenuFor(const wchar_t* tagName) noexcept {
  return tagName && (wcscmp(tagName, L"INPUT") == 0 || wcscmp(tagName, L"TEXTAREA") == 0);
}

bool IsSwallowedKey(UINT message, WPARAM key, bool ctrlDown) noexcept {
  if (message != WM_KEYDOWN) return false;
  for (const SwallowedKey& row : kSwallowedKeys) {
    if (row.needsCtrl && !ctrlDown) continue;
    if (row.key == key) return true;
  }
  return false;
}

bool ShowsScriptErrorDialog(IDispatch* console) noexcept {
  if (!console) return false;
  unique_variant show;
  (void)ReadMember(console, L"showJsError", show.get());
  const bool isFalse = show.vt() == VT_BOOL && show->boolVal == VARIANT_FALSE;
  return !isFalse;
}

// ---------------------------------------------------------------------------
// Lifetime and the window's interface

CWebBrowserHost::CWebBrowserHost() noexcept = default;

CWebBrowserHost::~CWebBrowserHost() {
  OMB_TRACE(kTraceCalls, "CWebBrowserHost::~CWebBrowserHost", nullptr);
  DestroyControl();
}

STDMETHODIMP CWebBrowserHost::SetCore(OMB::ICore* core, IUnknown* browser) noexcept {
  core_ = core;
  plugins_.SetCore(core, browser);
  return S_OK;
}

STDMETHODIMP CWebBrowserHost::ReleasePlugins() noexcept {
  pluginsReleased_ = true;
  plugins_.ReleaseAll();
  plugins_.SetCore(nullptr, nullptr);
  core_ = nullptr;
  return S_OK;
}

STDMETHODIMP CWebBrowserHost::OnBrowserEvent(DISPID event) noexcept {
  if (event == DISPID_NAVIGATECOMPLETE2) {
    navigation_ = NavigationState::kNavigated;
    InjectStartupScript();
    plugins_.ForEachInstance([](OMB::IPlugin* plugin) { (void)plugin->OnNavigateComplete(0); });
  } else if (event == DISPID_DOCUMENTCOMPLETE) {
    navigation_ = NavigationState::kDocumentComplete;
    plugins_.ForEachInstance([](OMB::IPlugin* plugin) { (void)plugin->OnDocumentComplete(0); });
  }
  return S_OK;
}

STDMETHODIMP CWebBrowserHost::QueryPlugin(const wchar_t* name, IDispatch** plugin) noexcept {
  if (!plugin) return E_INVALIDARG;
  *plugin = nullptr;
  DISPID id = DISPID_UNKNOWN;
  LPOLESTR names[] = {const_cast<LPOLESTR>(OrEmpty(name))};
  OMB_RETURN_IF_FAILED(GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id));
  DISPPARAMS none = {};
  unique_variant value;
  OMB_RETURN_IF_FAILED(
      Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, value.get(), nullptr, nullptr));
  unique_variant object;
  OMB_RETURN_IF_FAILED(VariantChangeType(object.get(), value.get(), 0, VT_DISPATCH));
  if (!object->pdispVal) return E_FAIL;
  *plugin = object->pdispVal;
  (*plugin)->AddRef();
  return S_OK;
}

// ---------------------------------------------------------------------------
// External object

STDMETHODIMP CWebBrowserHost::GetTypeInfoCount(UINT* count) noexcept {
  if (!count) return E_POINTER;
  *count = 0;
  return S_OK;
}

STDMETHODIMP CWebBrowserHost::GetTypeInfo(UINT, LCID, ITypeInfo** info) noexcept {
  if (!info) return E_POINTER;
  *info = nullptr;
  return DISP_E_BADINDEX;
}

STDMETHODIMP CWebBrowserHost::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) noexcept {
  if (!names || !ids || count == 0) return E_INVALIDARG;
  for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
  const wchar_t* name = OrEmpty(names[0]);
  if (wcscmp(name, L"loadPlugin") == 0) {
    ids[0] = kDispIdLoadPlugin;
    return S_OK;
  }
  if (wcscmp(name, L"createWindow") == 0) {
    ids[0] = kDispIdCreateWindow;
    return S_OK;
  }
  return ResolvePluginName(name, ids);
}

HRESULT CWebBrowserHost::ResolvePluginName(const wchar_t* name, DISPID* id) noexcept {
  const DISPID found = plugins_.FindDispId(name);
  if (found == CPluginManage::kUnknownPlugin) return DISP_E_UNKNOWNNAME;
  if (found != CPluginManage::kPluginNotCreated) {
    *id = found;
    return S_OK;
  }
  // A plug-in made now would have no window to serve.
  if (pluginsReleased_) return DISP_E_UNKNOWNNAME;
  ComPtr<IWebBrowser2> browser;
  (void)QueryControl(browser.GetAddressOf());
  ComPtr<OMB::IPlugin> plugin;
  OMB_RETURN_IF_FAILED(plugins_.CreatePlugin(name, core_.Get(), browser.Get(), &plugin));
  CatchUpNotifications(plugin.Get());
  *id = plugins_.FindDispId(name);
  return S_OK;
}

// A plug-in created after the page reported its progress hears about it now.
void CWebBrowserHost::CatchUpNotifications(OMB::IPlugin* plugin) const noexcept {
  if (navigation_ == NavigationState::kNothing) return;
  (void)plugin->OnNavigateComplete(0);
  if (navigation_ == NavigationState::kDocumentComplete) (void)plugin->OnDocumentComplete(0);
}

STDMETHODIMP CWebBrowserHost::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO*, UINT*) noexcept {
  if (flags & DISPATCH_METHOD) return InvokeMethod(id, params, result);
  if (flags & DISPATCH_PROPERTYGET) {
    if (!result) return E_INVALIDARG;
    return ReadPlugin(id, result);
  }
  return E_NOTIMPL;
}

HRESULT CWebBrowserHost::InvokeMethod(DISPID id, const DISPPARAMS* params, VARIANT* result) noexcept {
  switch (id) {
    case kDispIdLoadPlugin:
      return LoadPluginMethod(params, result);
    case kDispIdCreateWindow:
      return CreateWindowMethod(params, result);
    default:
      return E_NOTIMPL;
  }
}

HRESULT CWebBrowserHost::LoadPluginMethod(const DISPPARAMS* params, VARIANT* result) noexcept {
  const DispArgs args(params);
  if (args.Count() < 1) return E_INVALIDARG;
  unique_variant path;
  if (FAILED(VariantChangeType(path.get(), const_cast<VARIANT*>(&args[0]), 0, VT_BSTR)))
    (void)SetString(path.put(), L"");
  const bool loaded = LoadPluginLibrary(OrEmpty(path->bstrVal)) == S_OK;
  if (result) SetBool(result, loaded);
  return S_OK;
}

HRESULT CWebBrowserHost::CreateWindowMethod(const DISPPARAMS* params, VARIANT* result) noexcept {
  const DispArgs args(params);
  if (args.Count() < 1) return E_INVALIDARG;
  IDispatch* options = args.Type(0) == VT_DISPATCH ? args[0].pdispVal : nullptr;
  unique_bstr url;
  bool inherit = false;
  unique_variant callback;
  unique_variant context;
  if (options) {
    (void)OptionString(options, L"url", &url);
    inherit = OptionBool(options, L"inherit", false);
    (void)ReadMember(options, L"callback", callback.get());
    (void)ReadMember(options, L"context", context.get());
  }
  ComPtr<IDispatch> window;
  if (core_)
    (void)core_->CreateBrowserWindow(url.get(), inherit ? TRUE : FALSE, callback.get(),
                                     context.get(), &window);
  if (result) SetDispatch(result, window.Get());
  return S_OK;
}

HRESULT CWebBrowserHost::ReadPlugin(DISPID id, VARIANT* result) noexcept {
  ComPtr<OMB::IPlugin> plugin;
  if (SUCCEEDED(plugins_.GetPlugin(id, &plugin)) && plugin) SetUnknown(result, plugin.Get());
  return S_OK;
}

// ---------------------------------------------------------------------------
// Page access and the start-up script

ComPtr<IHTMLDocument2> CWebBrowserHost::Document() const noexcept {
  ComPtr<IWebBrowser2> browser;
  if (FAILED(QueryControl(browser.GetAddressOf()))) return nullptr;
  ComPtr<IDispatch> document;
  if (FAILED(browser->get_Document(&document)) || !document) return nullptr;
  ComPtr<IHTMLDocument2> html;
  (void)document.As(&html);
  return html;
}

void CWebBrowserHost::InjectStartupScript() noexcept {
  const ComPtr<IHTMLDocument2> document = Document();
  if (!document) return;
  ComPtr<IHTMLWindow2> window;
  if (FAILED(document->get_parentWindow(&window)) || !window) return;
  unique_bstr code(SysAllocString(kStartupScript));
  if (!code) return;
  unique_variant ignored;
  (void)window->execScript(code.get(), nullptr, ignored.get());
}

// ---------------------------------------------------------------------------
// IDocHostUIHandler

STDMETHODIMP CWebBrowserHost::ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch* element) noexcept {
  ComPtr<IHTMLElement> html;
  unique_bstr tag;
  if (element && SUCCEEDED(element->QueryInterface(IID_PPV_ARGS(&html))))
    (void)html->get_tagName(tag.put());
  if (ShowsContextMenuFor(tag.get())) return S_FALSE;
  OMB_TRACE(kTraceCalls, "CWebBrowserHost::ShowContextMenu", L"%s", OrEmpty(tag.get()));
  return S_OK;
}

STDMETHODIMP CWebBrowserHost::GetHostInfo(DOCHOSTUIINFO* info) noexcept {
  if (!info) return E_POINTER;
  info->dwFlags |= kHostInfoFlags;
  return S_OK;
}

STDMETHODIMP CWebBrowserHost::TranslateAccelerator(LPMSG message, const GUID*, DWORD) noexcept {
  if (!message || message->message != WM_KEYDOWN) return S_FALSE;
  const bool ctrlDown = GetKeyState(VK_CONTROL) < 0;
  if (IsSwallowedKey(message->message, message->wParam, ctrlDown)) return S_OK;
  OMB_TRACE(kTraceCalls, "CWebBrowserHost::TranslateAccelerator", L"wParam: %08X",
            static_cast<unsigned>(message->wParam));
  return S_FALSE;
}

STDMETHODIMP CWebBrowserHost::GetOptionKeyPath(LPOLESTR* key, DWORD) noexcept {
  if (key) *key = nullptr;
  return S_FALSE;
}

STDMETHODIMP CWebBrowserHost::GetDropTarget(IDropTarget*, IDropTarget** target) noexcept {
  if (!target) return E_POINTER;
  *target = static_cast<IDropTarget*>(this);
  AddRef();
  return S_OK;
}

STDMETHODIMP CWebBrowserHost::GetExternal(IDispatch** external) noexcept {
  if (!external) return E_POINTER;
  *external = static_cast<IDispatch*>(this);
  AddRef();
  return S_OK;
}

STDMETHODIMP CWebBrowserHost::TranslateUrl(DWORD, LPWSTR, LPWSTR* out) noexcept {
  if (out) *out = nullptr;
  return S_FALSE;
}

STDMETHODIMP CWebBrowserHost::FilterDataObject(IDataObject*, IDataObject** out) noexcept {
  if (out) *out = nullptr;
  return S_FALSE;
}

STDMETHODIMP CWebBrowserHost::Notify() noexcept {
  OMB_TRACE(kTraceCalls, "CWebBrowserHost::Notify", nullptr);
  return E_NOTIMPL;
}

// ---------------------------------------------------------------------------
// IOleCommandTarget: script errors

STDMETHODIMP CWebBrowserHost::QueryStatus(const GUID* group, ULONG, OLECMD*, OLECMDTEXT*) noexcept {
  OMB_TRACE(kTraceCalls, "CWebBrowserHost::QueryStatus", nullptr);
  return group ? OLECMDERR_E_UNKNOWNGROUP : OLECMDERR_E_NOTSUPPORTED;
}

STDMETHODIMP CWebBrowserHost::Exec(const GUID* group, DWORD command, DWORD, VARIANT* in,
                                   VARIANT* out) noexcept {
  if (!group) return OLECMDERR_E_NOTSUPPORTED;
  if (*group != kCgidDocHostCommandHandler || command != OLECMDID_SHOWSCRIPTERROR)
    return OLECMDERR_E_UNKNOWNGROUP;
  WriteScriptErrorToTerminal(in);  // shown or not, the terminal sees every error
  ComPtr<IDispatch> console;
  (void)QueryPlugin(L"console", &console);
  if (ShowsScriptErrorDialog(console.Get())) return E_NOTIMPL;
  if (out) SetBool(out, true);  // keep running the page's scripts
  return S_OK;
}

// ---------------------------------------------------------------------------
// IInternetSecurityManager: every URL is fully trusted

STDMETHODIMP CWebBrowserHost::SetSecuritySite(IInternetSecurityMgrSite*) noexcept {
  OMB_TRACE(kTraceCalls, "CWebBrowserHost::SetSecuritySite", nullptr);
  return E_NOTIMPL;
}

STDMETHODIMP CWebBrowserHost::GetSecuritySite(IInternetSecurityMgrSite** site) noexcept {
  OMB_TRACE(kTraceCalls, "CWebBrowserHost::GetSecuritySite", nullptr);
  if (site) *site = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP CWebBrowserHost::MapUrlToZone(LPCWSTR url, DWORD* zone, DWORD flags) noexcept {
  OMB_TRACE(kTraceCalls, "CWebBrowserHost::MapUrlToZone", L"%s %08X", OrEmpty(url),
            static_cast<unsigned>(flags));
  if (!zone) return E_INVALIDARG;
  *zone = URLZONE_LOCAL_MACHINE;
  return S_OK;
}

STDMETHODIMP CWebBrowserHost::GetSecurityId(LPCWSTR url, BYTE*, DWORD*, DWORD_PTR) noexcept {
  OMB_TRACE(kTraceCalls, "CWebBrowserHost::GetSecurityId", L"%s", OrEmpty(url));
  return INET_E_DEFAULT_ACTION;
}

STDMETHODIMP CWebBrowserHost::ProcessUrlAction(LPCWSTR url, DWORD action, BYTE* policy,
                                               DWORD policySize, BYTE*, DWORD, DWORD,
                                               DWORD) noexcept {
  OMB_TRACE(kTraceCalls, "CWebBrowserHost::ProcessUrlAction", L"%s Action: %08X", OrEmpty(url),
            static_cast<unsigned>(action));
  // The policy is a 32-bit value; a smaller buffer cannot take it.
  if (!policy || policySize < sizeof(DWORD)) return E_INVALIDARG;
  const DWORD allow = URLPOLICY_ALLOW;
  memcpy(policy, &allow, sizeof(allow));
  return S_OK;
}

STDMETHODIMP CWebBrowserHost::QueryCustomPolicy(LPCWSTR, REFGUID, BYTE** policy, DWORD* size, BYTE*,
                                                DWORD, DWORD) noexcept {
  OMB_TRACE(kTraceCalls, "CWebBrowserHost::QueryCustomPolicy", nullptr);
  if (policy) *policy = nullptr;
  if (size) *size = 0;
  return E_NOTIMPL;
}

STDMETHODIMP CWebBrowserHost::SetZoneMapping(DWORD, LPCWSTR, DWORD) noexcept {
  OMB_TRACE(kTraceCalls, "CWebBrowserHost::SetZoneMapping", nullptr);
  return E_NOTIMPL;
}

STDMETHODIMP CWebBrowserHost::GetZoneMappings(DWORD, IEnumString** mappings, DWORD) noexcept {
  OMB_TRACE(kTraceCalls, "CWebBrowserHost::GetZoneMappings", nullptr);
  if (mappings) *mappings = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP CWebBrowserHost::QueryService(REFGUID service, REFIID iid, void** out) noexcept {
  if (service == __uuidof(IInternetSecurityManager) && iid == __uuidof(IInternetSecurityManager)) {
    if (!out) return E_INVALIDARG;
    *out = static_cast<IInternetSecurityManager*>(this);
    AddRef();
    return S_OK;
  }
  return CAxHost::QueryService(service, iid, out);
}

// ---------------------------------------------------------------------------
// IDropTarget: files dropped on elements the "dragfile" plug-in registered

STDMETHODIMP CWebBrowserHost::DragEnter(IDataObject*, DWORD, POINTL, DWORD* effect) noexcept {
  if (effect) *effect = DROPEFFECT_NONE;
  return S_OK;
}

STDMETHODIMP CWebBrowserHost::DragOver(DWORD, POINTL point, DWORD* effect) noexcept {
  const bool inZone = FindDropZone(point) != nullptr;
  if (effect) *effect = inZone ? DROPEFFECT_COPY : DROPEFFECT_NONE;
  return S_OK;
}

STDMETHODIMP CWebBrowserHost::DragLeave() noexcept { return E_NOTIMPL; }

STDMETHODIMP CWebBrowserHost::Drop(IDataObject* data, DWORD, POINTL point, DWORD* effect) noexcept {
  const ComPtr<IDispatch> registration = FindDropZone(point);
  if (!registration || !data) {
    if (effect) *effect = DROPEFFECT_NONE;
    return S_OK;
  }
  const HRESULT hr = DeliverDroppedFiles(data, registration.Get());
  if (SUCCEEDED(hr) && effect) *effect = DROPEFFECT_COPY;
  return hr;
}

// The registration object of the innermost element at a screen point (or of
// its nearest ancestor) whose id the "dragfile" plug-in knows; null if none.
ComPtr<IDispatch> CWebBrowserHost::FindDropZone(POINTL point) noexcept {
  ComPtr<IDispatch> dragFile;
  if (FAILED(QueryPlugin(L"dragfile", &dragFile))) return nullptr;
  const ComPtr<IHTMLDocument2> document = Document();
  if (!document) return nullptr;
  POINT client = {point.x, point.y};
  ScreenToClient(Window(), &client);
  ComPtr<IHTMLElement> element;
  if (FAILED(document->elementFromPoint(client.x, client.y, &element))) return nullptr;
  unique_bstr idName(SysAllocString(L"id"));
  if (!idName) return nullptr;
  while (element) {
    unique_variant id;
    (void)element->getAttribute(idName.get(), 0, id.get());
    unique_variant registration;
    if (SUCCEEDED(CallMethodByName(dragFile.Get(), L"get", *id, registration.get())) &&
        registration.vt() == VT_DISPATCH && registration->pdispVal)
      return registration->pdispVal;
    ComPtr<IHTMLElement> parent;
    if (FAILED(element->get_parentElement(&parent))) break;
    element = parent;
  }
  return nullptr;
}

HRESULT CWebBrowserHost::DeliverDroppedFiles(IDataObject* data, IDispatch* registration) noexcept {
  if (!core_) return E_UNEXPECTED;
  ComPtr<IDispatch> files;
  OMB_RETURN_IF_FAILED(core_->CreateObject(L"array", &files));
  {
    FORMATETC format = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium = {};
    OMB_RETURN_IF_FAILED(data->GetData(&format, &medium));
    unique_any<STGMEDIUM*, detail::ReleaseStgMediumFn> release(&medium);
    if (!GlobalLock(medium.hGlobal)) return E_FAIL;
    unique_any<HGLOBAL, detail::GlobalUnlockFn> unlock(medium.hGlobal);
    const HDROP drop = static_cast<HDROP>(medium.hGlobal);
    const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
      // Sized from the file's own length: a long path is never cut short.
      const UINT length = DragQueryFileW(drop, i, nullptr, 0);
      if (length == 0) continue;
      unique_bstr path(SysAllocStringLen(nullptr, length));
      if (!path) return E_OUTOFMEMORY;
      if (DragQueryFileW(drop, i, path.get(), length + 1) == 0) continue;
      (void)ArrayPush(files.Get(), ArgString(path.get()));
    }
  }
  (void)CallOption(registration, L"callback", {ArgObject(files.Get())});
  return S_OK;
}

}  // namespace omb
