// The control's embedding: the OLE interfaces a container drives, in-place
// activation with the window chain, and teardown.
#include "app/engine/browser_control.h"
#include "app/engine/drop_target.h"

namespace omb::engine {

// ---------------------------------------------------------------------------
// Activation and the window chain

HRESULT CPageControl::Activate(bool uiActivate) noexcept {
  if (!site_) return E_UNEXPECTED;
  ComPtr<CPageControl> keep(this);
  if (!inPlaceSite_) {
    ComPtr<IOleInPlaceSite> site = SiteAs<IOleInPlaceSite>();
    if (!site) return E_NOINTERFACE;
    if (site->CanInPlaceActivate() != S_OK) return E_FAIL;
    HWND parent = nullptr;
    OMB_RETURN_IF_FAILED(site->GetWindow(&parent));
    site->OnInPlaceActivate();
    RECT position{}, clip{};
    OLEINPLACEFRAMEINFO frameInfo{};
    frameInfo.cb = sizeof(frameInfo);
    frame_.Reset();
    uiWindow_.Reset();
    site->GetWindowContext(&frame_, &uiWindow_, &position, &clip, &frameInfo);
    inPlaceSite_ = site;
    AskHostInfo();
    if (!CreateWindowChain(parent, position)) {
      Deactivate();
      return E_FAIL;
    }
    OfferDropTarget();
  }
  if (uiActivate && !uiActive_ && inPlaceSite_) {
    uiActive_ = true;
    inPlaceSite_->OnUIActivate();
    if (frame_) frame_->SetActiveObject(this, nullptr);
    if (uiWindow_) uiWindow_->SetActiveObject(this, nullptr);
    if (server_) SetFocus(server_);
  }
  if (embedding_ && visible_) ShowWindow(embedding_, SW_SHOW);
  return S_OK;
}

// The platform control asks the site for its UI flags when it goes in place;
// none of them changes a page that is not rendered, so they are only read.
void CPageControl::AskHostInfo() noexcept {
  ComPtr<IDocHostUIHandler> handler = SiteAs<IDocHostUIHandler>();
  if (!handler) return;
  DOCHOSTUIINFO info{};
  info.cbSize = sizeof(info);
  handler->GetHostInfo(&info);
  CoTaskMemFree(info.pchHostCss);
  CoTaskMemFree(info.pchHostNS);
}

bool CPageControl::CreateWindowChain(HWND parent, const RECT& position) noexcept {
  embedding_ = CreateEngineWindow(EngineWindow::kEmbedding, parent, position, this);
  if (!embedding_) return false;
  const RECT inside{0, 0, position.right - position.left, position.bottom - position.top};
  view_ = CreateEngineWindow(EngineWindow::kDocObjectView, embedding_, inside, this);
  if (view_) server_ = CreateEngineWindow(EngineWindow::kServer, view_, inside, this);
  return server_ != nullptr;
}

// The site may replace the engine's drop target with its own.
void CPageControl::OfferDropTarget() noexcept {
  ComPtr<IDropTarget> target = Make<CEngineDropTarget>();
  if (!target || !server_) return;
  if (ComPtr<IDocHostUIHandler> handler = SiteAs<IDocHostUIHandler>()) {
    ComPtr<IDropTarget> replacement;
    if (handler->GetDropTarget(target.Get(), &replacement) == S_OK && replacement)
      target = replacement;
  }
  dropTarget_ = target;
}

// The drop target is registered once the first page has run, not at
// activation: registering marshals it for other processes, and the first
// marshalling of a process starts the platform's interprocess machinery,
// which would delay the first page by milliseconds. Before the page has run
// it has no drop zones, so no drop could be taken anyway.
void CPageControl::RegisterDropTarget() noexcept {
  if (dropTargetRegistered_ || !dropTarget_ || !server_) return;
  dropTargetRegistered_ = SUCCEEDED(RegisterDragDrop(server_, dropTarget_.Get()));
}

void CPageControl::RevokeDropTarget() noexcept {
  if (server_ && dropTargetRegistered_) RevokeDragDrop(server_);
  dropTargetRegistered_ = false;
  dropTarget_.Reset();
}

void CPageControl::DeactivateUi() noexcept {
  if (!uiActive_) return;
  uiActive_ = false;
  if (frame_) frame_->SetActiveObject(nullptr, nullptr);
  if (uiWindow_) uiWindow_->SetActiveObject(nullptr, nullptr);
  if (inPlaceSite_) inPlaceSite_->OnUIDeactivate(FALSE);
}

void CPageControl::Deactivate() noexcept {
  DeactivateUi();
  RevokeDropTarget();
  const HWND embedding = std::exchange(embedding_, nullptr);
  view_ = server_ = nullptr;
  input_.Reset();
  DestroyEngineWindow(embedding);
  frame_.Reset();
  uiWindow_.Reset();
  if (ComPtr<IOleInPlaceSite> site = std::move(inPlaceSite_)) site->OnInPlaceDeactivate();
}

// The container destroyed its window and with it the chain: nothing is
// left to show the page in, so the control lets everything go.
void CPageControl::OnWindowChainDestroyed() noexcept {
  ComPtr<CPageControl> keep(this);
  RevokeDropTarget();
  DetachEngineWindow(embedding_);
  embedding_ = view_ = server_ = nullptr;
  uiActive_ = false;
  inPlaceSite_.Reset();
  frame_.Reset();
  uiWindow_.Reset();
  Teardown(true);
  site_.Reset();
}

// The page's unload handlers run first, while the site (and with it the
// external object) is still there; not from the destructor.
void CPageControl::Teardown(bool unload) noexcept {
  if (unload) {
    if (ComPtr<CPage> page = page_) page->Unload();
  }
  Deactivate();
  KillPageTimer();
  if (ComPtr<CPage> page = std::move(page_)) page->Close();
  if (ComPtr<CConnectionPoint> events = std::move(events_)) events->Detach();
  adviseHolder_.Reset();
  messages_.Destroy();
}

// ---------------------------------------------------------------------------
// IOleObject

STDMETHODIMP CPageControl::SetClientSite(IOleClientSite* site) noexcept {
  ComPtr<CPageControl> keep(this);
  if (!site) {
    Teardown(true);
    site_.Reset();
    return S_OK;
  }
  site_ = site;
  return S_OK;
}

STDMETHODIMP CPageControl::GetClientSite(IOleClientSite** site) noexcept {
  if (!site) return E_POINTER;
  *site = site_.Get();
  if (*site) (*site)->AddRef();
  return S_OK;
}

STDMETHODIMP CPageControl::SetHostNames(LPCOLESTR, LPCOLESTR) noexcept { return S_OK; }

STDMETHODIMP CPageControl::Close(DWORD) noexcept {
  ComPtr<CPageControl> keep(this);
  Teardown(true);
  return S_OK;
}

STDMETHODIMP CPageControl::SetMoniker(DWORD, IMoniker*) noexcept { return E_NOTIMPL; }

STDMETHODIMP CPageControl::GetMoniker(DWORD, DWORD, IMoniker** moniker) noexcept {
  if (moniker) *moniker = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP CPageControl::InitFromData(IDataObject*, BOOL, DWORD) noexcept { return E_NOTIMPL; }

STDMETHODIMP CPageControl::GetClipboardData(DWORD, IDataObject** data) noexcept {
  if (data) *data = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP CPageControl::DoVerb(LONG verb, LPMSG, IOleClientSite* activeSite, LONG, HWND,
                                  LPCRECT) noexcept {
  if (!site_ && activeSite) site_ = activeSite;
  switch (verb) {
    case OLEIVERB_PRIMARY:
    case OLEIVERB_SHOW:
    case OLEIVERB_UIACTIVATE:
      return Activate(true);
    case OLEIVERB_INPLACEACTIVATE:
      return Activate(false);
    case OLEIVERB_HIDE:
      if (embedding_) ShowWindow(embedding_, SW_HIDE);
      return S_OK;
    default:
      return OLEOBJ_S_INVALIDVERB;
  }
}

STDMETHODIMP CPageControl::EnumVerbs(IEnumOLEVERB** verbs) noexcept {
  if (verbs) *verbs = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP CPageControl::Update() noexcept { return S_OK; }
STDMETHODIMP CPageControl::IsUpToDate() noexcept { return S_OK; }

STDMETHODIMP CPageControl::GetUserClassID(CLSID* clsid) noexcept { return GetClassID(clsid); }

STDMETHODIMP CPageControl::GetUserType(DWORD, LPOLESTR* type) noexcept {
  if (type) *type = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP CPageControl::SetExtent(DWORD aspect, SIZEL* size) noexcept {
  if (!size) return E_POINTER;
  if (aspect != DVASPECT_CONTENT) return E_FAIL;
  extent_ = *size;
  return S_OK;
}

STDMETHODIMP CPageControl::GetExtent(DWORD aspect, SIZEL* size) noexcept {
  if (!size) return E_POINTER;
  if (aspect != DVASPECT_CONTENT) return E_FAIL;
  *size = extent_;
  return S_OK;
}

STDMETHODIMP CPageControl::Advise(IAdviseSink* sink, DWORD* connection) noexcept {
  if (!connection) return E_POINTER;
  *connection = 0;
  if (!adviseHolder_) OMB_RETURN_IF_FAILED(CreateOleAdviseHolder(&adviseHolder_));
  return adviseHolder_->Advise(sink, connection);
}

STDMETHODIMP CPageControl::Unadvise(DWORD connection) noexcept {
  if (!adviseHolder_) return OLE_E_NOCONNECTION;
  return adviseHolder_->Unadvise(connection);
}

STDMETHODIMP CPageControl::EnumAdvise(IEnumSTATDATA** advise) noexcept {
  if (!advise) return E_POINTER;
  *advise = nullptr;
  if (!adviseHolder_) return E_NOTIMPL;
  return adviseHolder_->EnumAdvise(advise);
}

STDMETHODIMP CPageControl::GetMiscStatus(DWORD, DWORD* status) noexcept {
  if (!status) return E_POINTER;
  *status = OLEMISC_SETCLIENTSITEFIRST | OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_RECOMPOSEONRESIZE |
            OLEMISC_CANTLINKINSIDE | OLEMISC_INSIDEOUT;
  return S_OK;
}

STDMETHODIMP CPageControl::SetColorScheme(LOGPALETTE*) noexcept { return E_NOTIMPL; }

// ---------------------------------------------------------------------------
// IOleWindow / IOleInPlaceObject / IOleInPlaceActiveObject

STDMETHODIMP CPageControl::GetWindow(HWND* window) noexcept {
  if (!window) return E_POINTER;
  *window = embedding_;
  return embedding_ ? S_OK : E_FAIL;
}

STDMETHODIMP CPageControl::ContextSensitiveHelp(BOOL) noexcept { return E_NOTIMPL; }

STDMETHODIMP CPageControl::InPlaceDeactivate() noexcept {
  ComPtr<CPageControl> keep(this);
  Deactivate();
  return S_OK;
}

STDMETHODIMP CPageControl::UIDeactivate() noexcept {
  DeactivateUi();
  return S_OK;
}

STDMETHODIMP CPageControl::SetObjectRects(LPCRECT position, LPCRECT) noexcept {
  if (!position) return E_POINTER;
  if (embedding_)
    MoveWindow(embedding_, position->left, position->top, position->right - position->left,
               position->bottom - position->top, TRUE);
  return S_OK;
}

STDMETHODIMP CPageControl::ReactivateAndUndo() noexcept { return E_NOTIMPL; }

STDMETHODIMP CPageControl::OnFrameWindowActivate(BOOL) noexcept { return S_OK; }
STDMETHODIMP CPageControl::OnDocWindowActivate(BOOL) noexcept { return S_OK; }
STDMETHODIMP CPageControl::ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) noexcept {
  return S_OK;
}
STDMETHODIMP CPageControl::EnableModeless(BOOL) noexcept { return S_OK; }

// ---------------------------------------------------------------------------
// IPersistStreamInit

STDMETHODIMP CPageControl::GetClassID(CLSID* clsid) noexcept {
  if (!clsid) return E_POINTER;
  *clsid = kClsidPageEngine;
  return S_OK;
}

STDMETHODIMP CPageControl::IsDirty() noexcept { return S_FALSE; }
STDMETHODIMP CPageControl::Load(LPSTREAM) noexcept { return E_NOTIMPL; }
STDMETHODIMP CPageControl::Save(LPSTREAM, BOOL) noexcept { return E_NOTIMPL; }

STDMETHODIMP CPageControl::GetSizeMax(ULARGE_INTEGER* size) noexcept {
  if (size) size->QuadPart = 0;
  return E_NOTIMPL;
}

STDMETHODIMP CPageControl::InitNew() noexcept { return S_OK; }

// ---------------------------------------------------------------------------
// IConnectionPointContainer / IProvideClassInfo2

STDMETHODIMP CPageControl::EnumConnectionPoints(IEnumConnectionPoints** points) noexcept {
  if (points) *points = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP CPageControl::FindConnectionPoint(REFIID iid, IConnectionPoint** point) noexcept {
  if (!point) return E_POINTER;
  *point = nullptr;
  if (iid != DIID_DWebBrowserEvents2) return CONNECT_E_NOCONNECTION;
  if (!events_) events_ = Make<CConnectionPoint>(DIID_DWebBrowserEvents2, this);
  if (!events_) return E_OUTOFMEMORY;
  *point = ComPtr<IConnectionPoint>(events_).Detach();
  return S_OK;
}

STDMETHODIMP CPageControl::GetClassInfo(ITypeInfo** info) noexcept {
  if (info) *info = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP CPageControl::GetGUID(DWORD kind, GUID* guid) noexcept {
  if (!guid) return E_POINTER;
  if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) {
    *guid = GUID_NULL;
    return E_INVALIDARG;
  }
  *guid = DIID_DWebBrowserEvents2;
  return S_OK;
}

}  // namespace omb::engine
