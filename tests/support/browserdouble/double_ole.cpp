// The double's embedding: the site calls of SetClientSite, DoVerb, Close and
// SetClientSite(NULL) in the order the platform control makes them (as
// Wine's conformance tests of the control record native Windows making
// them), ambient properties, accelerators and teardown.
#include <idispids.h>
#include <olectl.h>

#include "app/engine/drop_target.h"
#include "tests/support/browserdouble/double_control.h"

namespace browserdouble {
namespace {

// The name the control gives itself in SetActiveObject.
constexpr wchar_t kObjectName[] = L"item";

// The class the control reports for itself.
constexpr CLSID kClsidWebBrowser = {
    0x8856f961, 0x340a, 0x11d0, {0xa9, 0x6b, 0x00, 0xc0, 0x4f, 0xd7, 0x05, 0xa2}};

}  // namespace

// ---------------------------------------------------------------------------
// Ambient properties: a property get without arguments on the site's
// IDispatch. Failures leave the value empty.

void CDoubleControl::ReadAmbient(DISPID id, VARIANT* value) noexcept {
  ComPtr<IDispatch> ambient = SiteAs<IDispatch>();
  if (!ambient) return;
  DISPPARAMS none{};
  UINT argError = 0;
  if (FAILED(ambient->Invoke(id, IID_NULL, LOCALE_SYSTEM_DEFAULT, DISPATCH_PROPERTYGET, &none,
                             value, nullptr, &argError)))
    VariantClear(value);
}

// The ambient properties the control depends on, read again when the site
// says one (or, with DISPID_UNKNOWN, any) has changed.
void CDoubleControl::ReadAmbients(DISPID id) noexcept {
  const bool all = id == DISPID_UNKNOWN;
  if (all || id == DISPID_AMBIENT_OFFLINEIFNOTCONNECTED) {
    omb::unique_variant value;
    ReadAmbient(DISPID_AMBIENT_OFFLINEIFNOTCONNECTED, value.get());
    offline_ = value.vt() == VT_BOOL && value->boolVal != VARIANT_FALSE;
  }
  if (all || id == DISPID_AMBIENT_SILENT) {
    omb::unique_variant value;
    ReadAmbient(DISPID_AMBIENT_SILENT, value.get());
    silent_ = value.vt() == VT_BOOL && value->boolVal != VARIANT_FALSE;
  }
  if (all || id == DISPID_AMBIENT_USERMODE) {
    omb::unique_variant value;
    ReadAmbient(DISPID_AMBIENT_USERMODE, value.get());
  }
  if (all || id == DISPID_AMBIENT_DLCONTROL) {
    omb::unique_variant value;
    ReadAmbient(DISPID_AMBIENT_DLCONTROL, value.get());
    scriptsForbidden_ = value.vt() == VT_I4 && (value->lVal & DLCTL_NO_SCRIPTS) != 0;
  }
  if (all || id == DISPID_AMBIENT_USERAGENT) {
    omb::unique_variant value;
    ReadAmbient(DISPID_AMBIENT_USERAGENT, value.get());
  }
}

// ---------------------------------------------------------------------------
// Activation and the window chain

bool CDoubleControl::CreateWindowChain(HWND parent) noexcept {
  using omb::engine::CreateEngineWindow;
  using omb::engine::EngineWindow;
  RECT area{};
  GetClientRect(parent, &area);
  embedding_ = CreateEngineWindow(EngineWindow::kEmbedding, parent, area, this);
  if (!embedding_) return false;
  ShowWindow(embedding_, SW_HIDE);  // shown when it goes in place
  const RECT inside{0, 0, area.right - area.left, area.bottom - area.top};
  view_ = CreateEngineWindow(EngineWindow::kDocObjectView, embedding_, inside, this);
  if (view_) server_ = CreateEngineWindow(EngineWindow::kServer, view_, inside, this);
  return server_ != nullptr;
}

void CDoubleControl::DestroyWindowChain() noexcept {
  if (server_ && dropTargetRegistered_) RevokeDragDrop(server_);
  dropTargetRegistered_ = false;
  const HWND embedding = std::exchange(embedding_, nullptr);
  view_ = server_ = nullptr;
  input_.Reset();
  omb::engine::DestroyEngineWindow(embedding);
}

// On the first page: the site may replace the control's drop target.
void CDoubleControl::RegisterDropTarget() noexcept {
  if (!server_) return;
  ComPtr<IDropTarget> target = omb::Make<omb::engine::CEngineDropTarget>();
  if (!target) return;
  if (ComPtr<IDocHostUIHandler> handler = SiteAs<IDocHostUIHandler>()) {
    ComPtr<IDropTarget> replacement;
    if (handler->GetDropTarget(target.Get(), &replacement) == S_OK && replacement)
      target = replacement;
  }
  dropTargetRegistered_ = SUCCEEDED(RegisterDragDrop(server_, target.Get()));
}

// CanInPlaceActivate, GetWindow, OnInPlaceActivate, GetWindowContext,
// ShowObject, GetContainer, the frame's GetWindow.
HRESULT CDoubleControl::InPlaceActivate(HWND, LPCRECT rect) noexcept {
  if (inPlace_) return S_OK;
  ComPtr<IOleInPlaceSite> site = SiteAs<IOleInPlaceSite>();
  if (!site) return E_NOINTERFACE;
  if (site->CanInPlaceActivate() != S_OK) return E_FAIL;
  HWND parent = nullptr;
  OMB_RETURN_IF_FAILED(site->GetWindow(&parent));
  OMB_RETURN_IF_FAILED(site->OnInPlaceActivate());
  inPlaceSite_ = site;
  inPlace_ = true;
  RECT position{}, clip{};
  OLEINPLACEFRAMEINFO info{};
  info.cb = sizeof(info);
  frame_.Reset();
  uiWindow_.Reset();
  (void)site->GetWindowContext(&frame_, &uiWindow_, &position, &clip, &info);
  (void)site_->ShowObject();
  ComPtr<IOleContainer> container;
  (void)site_->GetContainer(&container);
  if (frame_) {
    HWND frameWindow = nullptr;
    (void)frame_->GetWindow(&frameWindow);
  }
  if (!embedding_ && !CreateWindowChain(parent)) return E_FAIL;
  if (GetParent(embedding_) != parent) SetParent(embedding_, parent);
  const RECT& area = rect ? *rect : position;
  MoveWindow(embedding_, area.left, area.top, area.right - area.left, area.bottom - area.top, TRUE);
  if (visible_) ShowWindow(embedding_, SW_SHOW);
  return S_OK;
}

// OnUIActivate, SetActiveObject on the frame and the UI window, SetMenu,
// OnFocus(TRUE), and the focus. Nothing when UI-active already.
HRESULT CDoubleControl::UiActivate() noexcept {
  if (uiActive_) return S_OK;
  if (!inPlaceSite_) return E_UNEXPECTED;
  uiActive_ = true;
  (void)inPlaceSite_->OnUIActivate();
  IOleInPlaceActiveObject* self = this;
  if (frame_) (void)frame_->SetActiveObject(self, kObjectName);
  if (uiWindow_) (void)uiWindow_->SetActiveObject(self, kObjectName);
  if (frame_) (void)frame_->SetMenu(nullptr, nullptr, embedding_);
  if (ComPtr<IOleControlSite> control = SiteAs<IOleControlSite>()) (void)control->OnFocus(TRUE);
  if (server_) SetFocus(server_);
  return S_OK;
}

// SetActiveObject(NULL) on the frame and the UI window, OnUIDeactivate,
// OnFocus(FALSE).
void CDoubleControl::UiDeactivate() noexcept {
  if (!uiActive_) return;
  uiActive_ = false;
  if (frame_) (void)frame_->SetActiveObject(nullptr, nullptr);
  if (uiWindow_) (void)uiWindow_->SetActiveObject(nullptr, nullptr);
  if (inPlaceSite_) (void)inPlaceSite_->OnUIDeactivate(FALSE);
  if (ComPtr<IOleControlSite> control = SiteAs<IOleControlSite>()) (void)control->OnFocus(FALSE);
}

void CDoubleControl::DeactivateInPlace() noexcept {
  UiDeactivate();
  if (!inPlace_) return;
  inPlace_ = false;
  if (embedding_) ShowWindow(embedding_, SW_HIDE);
  frame_.Reset();
  uiWindow_.Reset();
  if (ComPtr<IOleInPlaceSite> site = std::move(inPlaceSite_)) (void)site->OnInPlaceDeactivate();
}

// Unload the page while the site is there (not from the destructor: page
// script must not run in a control that is going), leave the site, drop the
// pages, the windows and the sinks.
void CDoubleControl::Teardown(bool unload) noexcept {
  if (unload) {
    ComPtr<CDoubleControl> keep(this);
    UnloadCurrentPage();
  }
  frames_.clear();
  if (ComPtr<CPage> page = std::move(page_)) page->Close();
  if (ComPtr<CPage> loading = std::move(loading_)) loading->Close();
  DeactivateInPlace();
  KillPageTimer();
  DestroyWindowChain();
  if (ComPtr<omb::engine::CConnectionPoint> events = std::move(events_)) events->Detach();
  adviseHolder_.Reset();
  messages_.Destroy();
}

// ---------------------------------------------------------------------------
// IOleObject

// With a site: GetContainer, GetWindow (the control's window is made now,
// hidden), the ambient OFFLINEIFNOTCONNECTED and SILENT. Without one: the
// control lets everything go.
STDMETHODIMP CDoubleControl::SetClientSite(IOleClientSite* site) noexcept {
  guard_.Check("SetClientSite");
  ComPtr<CDoubleControl> keep(this);
  if (!site) {
    Teardown(true);
    site_.Reset();
    return S_OK;
  }
  site_ = site;
  ComPtr<IOleContainer> container;
  (void)site->GetContainer(&container);
  HWND parent = nullptr;
  if (ComPtr<IOleInPlaceSite> inPlace = SiteAs<IOleInPlaceSite>())
    (void)inPlace->GetWindow(&parent);
  if (parent && !embedding_) CreateWindowChain(parent);
  omb::unique_variant offline, silent;
  ReadAmbient(DISPID_AMBIENT_OFFLINEIFNOTCONNECTED, offline.get());
  offline_ = offline.vt() == VT_BOOL && offline->boolVal != VARIANT_FALSE;
  ReadAmbient(DISPID_AMBIENT_SILENT, silent.get());
  silent_ = silent.vt() == VT_BOOL && silent->boolVal != VARIANT_FALSE;
  return S_OK;
}

STDMETHODIMP CDoubleControl::GetClientSite(IOleClientSite** site) noexcept {
  guard_.Check("GetClientSite");
  if (!site) return E_POINTER;
  *site = site_.Get();
  if (*site) (*site)->AddRef();
  return S_OK;
}

STDMETHODIMP CDoubleControl::SetHostNames(LPCOLESTR, LPCOLESTR) noexcept {
  guard_.Check("SetHostNames");
  return S_OK;
}

// The page unloads, then SetActiveObject(NULL), OnUIDeactivate,
// OnFocus(FALSE), OnInPlaceDeactivate; the control drops its client site.
STDMETHODIMP CDoubleControl::Close(DWORD) noexcept {
  guard_.Check("Close");
  ComPtr<CDoubleControl> keep(this);
  Teardown(true);
  site_.Reset();
  return S_OK;
}

STDMETHODIMP CDoubleControl::SetMoniker(DWORD, IMoniker*) noexcept {
  guard_.Check("SetMoniker");
  return E_NOTIMPL;
}

STDMETHODIMP CDoubleControl::GetMoniker(DWORD, DWORD, IMoniker** moniker) noexcept {
  guard_.Check("GetMoniker");
  if (moniker) *moniker = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP CDoubleControl::InitFromData(IDataObject*, BOOL, DWORD) noexcept {
  guard_.Check("InitFromData");
  return E_NOTIMPL;
}

STDMETHODIMP CDoubleControl::GetClipboardData(DWORD, IDataObject** data) noexcept {
  guard_.Check("GetClipboardData");
  if (data) *data = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP CDoubleControl::DoVerb(LONG verb, LPMSG, IOleClientSite* activeSite, LONG,
                                    HWND parent, LPCRECT rect) noexcept {
  guard_.Check("DoVerb");
  ComPtr<CDoubleControl> keep(this);
  if (!site_ && activeSite) OMB_RETURN_IF_FAILED(SetClientSite(activeSite));
  if (!site_) return E_UNEXPECTED;
  switch (verb) {
    case OLEIVERB_PRIMARY:
    case OLEIVERB_SHOW:
    case OLEIVERB_UIACTIVATE:
      OMB_RETURN_IF_FAILED(InPlaceActivate(parent, rect));
      return UiActivate();
    case OLEIVERB_INPLACEACTIVATE:
      return InPlaceActivate(parent, rect);
    case OLEIVERB_HIDE:
      DeactivateInPlace();
      return S_OK;
    default:
      return OLEOBJ_S_INVALIDVERB;
  }
}

STDMETHODIMP CDoubleControl::EnumVerbs(IEnumOLEVERB** verbs) noexcept {
  guard_.Check("EnumVerbs");
  if (verbs) *verbs = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP CDoubleControl::Update() noexcept {
  guard_.Check("Update");
  return S_OK;
}

STDMETHODIMP CDoubleControl::IsUpToDate() noexcept {
  guard_.Check("IsUpToDate");
  return S_OK;
}

STDMETHODIMP CDoubleControl::GetUserClassID(CLSID* clsid) noexcept { return GetClassID(clsid); }

STDMETHODIMP CDoubleControl::GetUserType(DWORD, LPOLESTR* type) noexcept {
  guard_.Check("GetUserType");
  if (type) *type = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP CDoubleControl::SetExtent(DWORD, SIZEL* size) noexcept {
  guard_.Check("SetExtent");
  if (!size) return E_POINTER;
  extent_ = *size;
  return S_OK;
}

STDMETHODIMP CDoubleControl::GetExtent(DWORD, SIZEL* size) noexcept {
  guard_.Check("GetExtent");
  if (!size) return E_POINTER;
  *size = extent_;
  return S_OK;
}

STDMETHODIMP CDoubleControl::Advise(IAdviseSink* sink, DWORD* connection) noexcept {
  guard_.Check("Advise");
  if (!connection) return E_POINTER;
  *connection = 0;
  if (!adviseHolder_) OMB_RETURN_IF_FAILED(CreateOleAdviseHolder(&adviseHolder_));
  return adviseHolder_->Advise(sink, connection);
}

STDMETHODIMP CDoubleControl::Unadvise(DWORD connection) noexcept {
  guard_.Check("Unadvise");
  if (!adviseHolder_) return OLE_E_NOCONNECTION;
  return adviseHolder_->Unadvise(connection);
}

STDMETHODIMP CDoubleControl::EnumAdvise(IEnumSTATDATA** advise) noexcept {
  guard_.Check("EnumAdvise");
  if (!advise) return E_POINTER;
  *advise = nullptr;
  if (!adviseHolder_) return E_NOTIMPL;
  return adviseHolder_->EnumAdvise(advise);
}

STDMETHODIMP CDoubleControl::GetMiscStatus(DWORD, DWORD* status) noexcept {
  guard_.Check("GetMiscStatus");
  if (!status) return E_POINTER;
  *status = OLEMISC_SETCLIENTSITEFIRST | OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_RECOMPOSEONRESIZE |
            OLEMISC_CANTLINKINSIDE | OLEMISC_INSIDEOUT;
  return S_OK;
}

STDMETHODIMP CDoubleControl::SetColorScheme(LOGPALETTE*) noexcept {
  guard_.Check("SetColorScheme");
  return E_NOTIMPL;
}

// ---------------------------------------------------------------------------
// IOleWindow, IOleInPlaceObject, IOleInPlaceActiveObject

STDMETHODIMP CDoubleControl::GetWindow(HWND* window) noexcept {
  guard_.Check("GetWindow");
  if (!window) return E_POINTER;
  *window = embedding_;
  return embedding_ ? S_OK : E_FAIL;
}

STDMETHODIMP CDoubleControl::ContextSensitiveHelp(BOOL) noexcept {
  guard_.Check("ContextSensitiveHelp");
  return E_NOTIMPL;
}

STDMETHODIMP CDoubleControl::InPlaceDeactivate() noexcept {
  guard_.Check("InPlaceDeactivate");
  ComPtr<CDoubleControl> keep(this);
  DeactivateInPlace();
  return S_OK;
}

STDMETHODIMP CDoubleControl::UIDeactivate() noexcept {
  guard_.Check("UIDeactivate");
  UiDeactivate();
  return S_OK;
}

STDMETHODIMP CDoubleControl::SetObjectRects(LPCRECT position, LPCRECT) noexcept {
  guard_.Check("SetObjectRects");
  if (!position) return E_POINTER;
  if (embedding_)
    MoveWindow(embedding_, position->left, position->top, position->right - position->left,
               position->bottom - position->top, TRUE);
  return S_OK;
}

STDMETHODIMP CDoubleControl::ReactivateAndUndo() noexcept {
  guard_.Check("ReactivateAndUndo");
  return E_NOTIMPL;
}

// Only while UI-active, and only keystrokes: the site's handler first, then
// its control site, then the control's own keys. Like the real control it
// does not ask which window the key was typed in.
STDMETHODIMP CDoubleControl::TranslateAccelerator(LPMSG msg) noexcept {
  guard_.Check("TranslateAccelerator");
  if (!msg) return E_INVALIDARG;
  if (!uiActive_ || msg->message < WM_KEYFIRST || msg->message > WM_KEYLAST) return S_FALSE;
  ComPtr<CDoubleControl> keep(this);
  if (ComPtr<IDocHostUIHandler> handler = SiteAs<IDocHostUIHandler>()) {
    if (handler->TranslateAccelerator(msg, &omb::engine::kCgidMshtml, 0) == S_OK) return S_OK;
  }
  if (msg->message != WM_KEYDOWN) return S_FALSE;
  switch (msg->wParam) {
    case VK_F5:  // reload
      Refresh();
      return S_OK;
    case VK_TAB:  // the focus moves on, within this control's page
    case VK_F6:
      if (server_) SetFocus(server_);
      return S_OK;
    default:
      return S_FALSE;
  }
}

STDMETHODIMP CDoubleControl::OnFrameWindowActivate(BOOL) noexcept {
  guard_.Check("OnFrameWindowActivate");
  return S_OK;
}

STDMETHODIMP CDoubleControl::OnDocWindowActivate(BOOL) noexcept {
  guard_.Check("OnDocWindowActivate");
  return S_OK;
}

STDMETHODIMP CDoubleControl::ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) noexcept {
  guard_.Check("ResizeBorder");
  return S_OK;
}

STDMETHODIMP CDoubleControl::EnableModeless(BOOL) noexcept {
  guard_.Check("EnableModeless");
  return S_OK;
}

// ---------------------------------------------------------------------------
// IOleControl

STDMETHODIMP CDoubleControl::GetControlInfo(CONTROLINFO*) noexcept {
  guard_.Check("GetControlInfo");
  return E_NOTIMPL;
}

STDMETHODIMP CDoubleControl::OnMnemonic(MSG*) noexcept {
  guard_.Check("OnMnemonic");
  return E_NOTIMPL;
}

STDMETHODIMP CDoubleControl::OnAmbientPropertyChange(DISPID id) noexcept {
  guard_.Check("OnAmbientPropertyChange");
  ReadAmbients(id);
  return S_OK;
}

STDMETHODIMP CDoubleControl::FreezeEvents(BOOL) noexcept {
  guard_.Check("FreezeEvents");
  return S_OK;
}

// ---------------------------------------------------------------------------
// IPersistStreamInit

STDMETHODIMP CDoubleControl::GetClassID(CLSID* clsid) noexcept {
  guard_.Check("GetClassID");
  if (!clsid) return E_POINTER;
  *clsid = kClsidWebBrowser;
  return S_OK;
}

STDMETHODIMP CDoubleControl::IsDirty() noexcept {
  guard_.Check("IsDirty");
  return S_FALSE;
}

STDMETHODIMP CDoubleControl::Load(LPSTREAM) noexcept {
  guard_.Check("Load");
  return E_NOTIMPL;
}

STDMETHODIMP CDoubleControl::Save(LPSTREAM, BOOL) noexcept {
  guard_.Check("Save");
  return E_NOTIMPL;
}

STDMETHODIMP CDoubleControl::GetSizeMax(ULARGE_INTEGER* size) noexcept {
  guard_.Check("GetSizeMax");
  if (size) size->QuadPart = 0;
  return E_NOTIMPL;
}

STDMETHODIMP CDoubleControl::InitNew() noexcept {
  guard_.Check("InitNew");
  return S_OK;
}

// ---------------------------------------------------------------------------
// IConnectionPointContainer, IProvideClassInfo2

STDMETHODIMP CDoubleControl::EnumConnectionPoints(IEnumConnectionPoints** points) noexcept {
  guard_.Check("EnumConnectionPoints");
  if (points) *points = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP CDoubleControl::FindConnectionPoint(REFIID iid, IConnectionPoint** point) noexcept {
  guard_.Check("FindConnectionPoint");
  if (!point) return E_POINTER;
  *point = nullptr;
  if (iid != DIID_DWebBrowserEvents2) return CONNECT_E_NOCONNECTION;
  if (!events_) events_ = omb::Make<omb::engine::CConnectionPoint>(DIID_DWebBrowserEvents2, this);
  if (!events_) return E_OUTOFMEMORY;
  *point = ComPtr<IConnectionPoint>(events_).Detach();
  return S_OK;
}

STDMETHODIMP CDoubleControl::GetClassInfo(ITypeInfo** info) noexcept {
  guard_.Check("GetClassInfo");
  if (info) *info = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP CDoubleControl::GetGUID(DWORD kind, GUID* guid) noexcept {
  guard_.Check("GetGUID");
  if (!guid) return E_POINTER;
  if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) {
    *guid = GUID_NULL;
    return E_FAIL;
  }
  *guid = DIID_DWebBrowserEvents2;
  return S_OK;
}

}  // namespace browserdouble
