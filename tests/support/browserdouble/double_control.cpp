// The double's navigation, its IWebBrowser2 and what its pages ask of it.
#include "tests/support/browserdouble/double_control.h"

#include <urlmon.h>

#include "app/engine/browser_events.h"
#include "app/engine/dispatch_util.h"
#include "app/engine/page_document.h"

namespace browserdouble {

using omb::engine::FireBeforeNavigate2;
using omb::engine::PageLocation;
using omb::engine::ReturnBstr;

namespace {

// The security manager's service and interface (urlmon.h names only the
// interface's identifier).
constexpr GUID kSidInternetSecurityManager = {
    0x79eac9ee, 0xbaf9, 0x11ce, {0x8c, 0x82, 0x00, 0xaa, 0x00, 0x4b, 0xa9, 0x0b}};

}  // namespace

// ---------------------------------------------------------------------------
// Frames

STDMETHODIMP CDoubleFrame::QueryInterface(REFIID iid, void** out) noexcept {
  guard_.Check("frame QueryInterface");
  return Base::QueryInterface(iid, out);
}
STDMETHODIMP_(ULONG) CDoubleFrame::AddRef() noexcept {
  guard_.Check("frame AddRef");
  return Base::AddRef();
}
STDMETHODIMP_(ULONG) CDoubleFrame::Release() noexcept {
  guard_.Check("frame Release");
  return Base::Release();
}
STDMETHODIMP CDoubleFrame::GetTypeInfoCount(UINT* count) noexcept {
  guard_.Check("frame GetTypeInfoCount");
  if (!count) return E_POINTER;
  *count = 0;
  return S_OK;
}
STDMETHODIMP CDoubleFrame::GetTypeInfo(UINT, LCID, ITypeInfo** info) noexcept {
  guard_.Check("frame GetTypeInfo");
  if (info) *info = nullptr;
  return DISP_E_BADINDEX;
}
STDMETHODIMP CDoubleFrame::GetIDsOfNames(REFIID, LPOLESTR*, UINT count, LCID, DISPID* ids) noexcept {
  guard_.Check("frame GetIDsOfNames");
  for (UINT i = 0; ids && i < count; ++i) ids[i] = DISPID_UNKNOWN;
  return DISP_E_UNKNOWNNAME;
}
STDMETHODIMP CDoubleFrame::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                  UINT*) noexcept {
  guard_.Check("frame Invoke");
  return DISP_E_MEMBERNOTFOUND;
}
STDMETHODIMP CDoubleFrame::get_LocationURL(BSTR* url) noexcept {
  guard_.Check("frame get_LocationURL");
  return ReturnBstr(url_, url);
}
STDMETHODIMP CDoubleFrame::get_ReadyState(READYSTATE* state) noexcept {
  guard_.Check("frame get_ReadyState");
  if (!state) return E_POINTER;
  *state = READYSTATE_COMPLETE;
  return S_OK;
}
STDMETHODIMP CDoubleFrame::get_Document(IDispatch** document) noexcept {
  guard_.Check("frame get_Document");
  if (!document) return E_POINTER;
  *document = nullptr;
  return S_FALSE;
}

// ---------------------------------------------------------------------------
// Identity and lifetime

CDoubleControl::~CDoubleControl() {
  // Nothing may call back any more: the site goes first.
  inPlaceSite_.Reset();
  frame_.Reset();
  uiWindow_.Reset();
  site_.Reset();
  uiActive_ = inPlace_ = false;
  Teardown(false);
}

STDMETHODIMP CDoubleControl::QueryInterface(REFIID iid, void** out) noexcept {
  guard_.Check("QueryInterface");
  return Base::QueryInterface(iid, out);
}
STDMETHODIMP_(ULONG) CDoubleControl::AddRef() noexcept {
  guard_.Check("AddRef");
  return Base::AddRef();
}
STDMETHODIMP_(ULONG) CDoubleControl::Release() noexcept {
  guard_.Check("Release");
  return Base::Release();
}

// ---------------------------------------------------------------------------
// Navigation

// The synchronous part of a navigation; the page loads in posted steps and
// becomes the host's document at its NavigateComplete2.
HRESULT CDoubleControl::NavigateTo(const std::wstring& target, bool fromPage) noexcept {
  ComPtr<CDoubleControl> keep(this);
  if (!messages_.Ensure(this)) return omb::HResultFromLastError();
  if (!fromPage) {
    omb::unique_variant userMode;
    ReadAmbient(DISPID_AMBIENT_USERMODE, userMode.get());
    starting_ = true;
    const bool cancelled =
        events_ && FireBeforeNavigate2(*ComPtr<omb::engine::CConnectionPoint>(events_).Get(),
                                       BrowserDispatch(), target, 0);
    starting_ = false;
    if (cancelled) return S_OK;
    if (!navigated_) AskHostBeforeFirstNavigation();
  }
  navigated_ = true;
  PageLocation location;
  try {
    location = omb::engine::ResolvePageLocation(target);
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  ComPtr<CPage> page = CPage::Create(this, std::move(location), ++generation_);
  if (!page) return E_OUTOFMEMORY;
  if (page_) page_->Stop();  // a page still loading loads no further
  if (ComPtr<CPage> abandoned = std::exchange(loading_, page)) abandoned->Close();
  page->Start();
  return S_OK;
}

// What the control asks its host once, while its first navigation starts.
void CDoubleControl::AskHostBeforeFirstNavigation() noexcept {
  if (ComPtr<IDocHostUIHandler> handler = SiteAs<IDocHostUIHandler>()) {
    DOCHOSTUIINFO info{};
    info.cbSize = sizeof(info);
    (void)handler->GetHostInfo(&info);
    CoTaskMemFree(info.pchHostCss);
    CoTaskMemFree(info.pchHostNS);
  }
  omb::unique_variant dlControl, userAgent;
  ReadAmbient(DISPID_AMBIENT_DLCONTROL, dlControl.get());
  scriptsForbidden_ = dlControl.vt() == VT_I4 && (dlControl->lVal & DLCTL_NO_SCRIPTS) != 0;
  ReadAmbient(DISPID_AMBIENT_USERAGENT, userAgent.get());
  if (ComPtr<IDocHostUIHandler> handler = SiteAs<IDocHostUIHandler>()) {
    LPOLESTR key = nullptr;
    (void)handler->GetOptionKeyPath(&key, 0);
    CoTaskMemFree(key);
  }
}

// The site's security manager decides whether the page's scripts run; the
// control asks it through the site's service provider.
bool CDoubleControl::ScriptsAllowed(const std::wstring& url) noexcept {
  if (scriptsForbidden_) return false;
  ComPtr<IServiceProvider> services = SiteAs<IServiceProvider>();
  ComPtr<IInternetSecurityManager> manager;
  if (!services || FAILED(services->QueryService(kSidInternetSecurityManager,
                                                 IID_PPV_ARGS(&manager))) ||
      !manager)
    return true;  // the default zone settings, which this double does not model
  DWORD zone = URLZONE_INVALID;
  (void)manager->MapUrlToZone(url.c_str(), &zone, 0);
  DWORD policy = URLPOLICY_DISALLOW;
  const HRESULT hr = manager->ProcessUrlAction(url.c_str(), URLACTION_SCRIPT_RUN,
                                               reinterpret_cast<BYTE*>(&policy), sizeof(policy),
                                               nullptr, 0, PUAF_DEFAULT, 0);
  if (hr == INET_E_DEFAULT_ACTION) return true;
  return SUCCEEDED(hr) && policy == URLPOLICY_ALLOW;
}

// The frames of the current page: every frame or iframe with a source.
void CDoubleControl::CollectFrames() noexcept {
  frames_.clear();
  omb::engine::CPageDocument* document = page_ ? page_->Document() : nullptr;
  if (!document) return;
  try {
    for (const omb::engine::HtmlNode& node : document->Tree().nodes) {
      if (node.tag != L"IFRAME" && node.tag != L"FRAME") continue;
      const std::wstring* src = node.FindAttribute(L"src");
      if (!src || src->empty()) continue;
      ComPtr<CDoubleFrame> frame =
          omb::Make<CDoubleFrame>(omb::engine::ResolveReference(page_->Location(), *src).url);
      if (frame) frames_.push_back(frame);
    }
  } catch (...) {
  }
}

CPage* CDoubleControl::PageOfGeneration(UINT generation) const noexcept {
  if (loading_ && loading_->Generation() == generation) return loading_.Get();
  if (page_ && page_->Generation() == generation) return page_.Get();
  return nullptr;
}

void CDoubleControl::UnloadCurrentPage() noexcept {
  frames_.clear();
  if (ComPtr<CPage> page = std::move(page_)) {
    page->Unload();
    page->Close();
  }
}

// window.close() was not cancelled: the control destroys its window and
// with it the page, as the real control does; the host's frame window stays.
void CDoubleControl::CloseControlWindow() noexcept {
  ComPtr<CDoubleControl> keep(this);
  UnloadCurrentPage();
  if (ComPtr<CPage> loading = std::move(loading_)) loading->Close();
  DeactivateInPlace();
  DestroyWindowChain();
}

// ---------------------------------------------------------------------------
// IDispatch

STDMETHODIMP CDoubleControl::GetTypeInfoCount(UINT* count) noexcept {
  guard_.Check("GetTypeInfoCount");
  if (!count) return E_POINTER;
  *count = 0;
  return S_OK;
}

STDMETHODIMP CDoubleControl::GetTypeInfo(UINT, LCID, ITypeInfo** info) noexcept {
  guard_.Check("GetTypeInfo");
  if (info) *info = nullptr;
  return DISP_E_BADINDEX;
}

STDMETHODIMP CDoubleControl::GetIDsOfNames(REFIID, LPOLESTR*, UINT count, LCID,
                                           DISPID* ids) noexcept {
  guard_.Check("GetIDsOfNames");
  for (UINT i = 0; ids && i < count; ++i) ids[i] = DISPID_UNKNOWN;
  return DISP_E_UNKNOWNNAME;
}

STDMETHODIMP CDoubleControl::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                    UINT*) noexcept {
  guard_.Check("Invoke");
  return DISP_E_MEMBERNOTFOUND;
}

// ---------------------------------------------------------------------------
// IWebBrowser2

STDMETHODIMP CDoubleControl::Navigate(BSTR url, VARIANT*, VARIANT*, VARIANT*, VARIANT*) noexcept {
  guard_.Check("Navigate");
  if (!url) return E_INVALIDARG;
  try {
    return NavigateTo(url, false);
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

STDMETHODIMP CDoubleControl::Navigate2(VARIANT* url, VARIANT*, VARIANT*, VARIANT*,
                                       VARIANT*) noexcept {
  guard_.Check("Navigate2");
  if (!url) return E_INVALIDARG;
  const VARIANT* value = url->vt == (VT_BYREF | VT_VARIANT) ? url->pvarVal : url;
  if (!value || value->vt != VT_BSTR || !value->bstrVal) return E_INVALIDARG;
  try {
    return NavigateTo(value->bstrVal, false);
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

// The page loads again; the platform control tells its sinks nothing.
STDMETHODIMP CDoubleControl::Refresh() noexcept {
  guard_.Check("Refresh");
  if (!page_) return S_OK;
  try {
    OMB_RETURN_IF_FAILED(NavigateTo(page_->Location().url, true));
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  refreshGeneration_ = generation_;
  return S_OK;
}

STDMETHODIMP CDoubleControl::Refresh2(VARIANT*) noexcept { return Refresh(); }

STDMETHODIMP CDoubleControl::Stop() noexcept {
  guard_.Check("Stop");
  if (loading_) loading_->Stop();
  if (page_) page_->Stop();
  return S_OK;
}

STDMETHODIMP CDoubleControl::get_Application(IDispatch** application) noexcept {
  guard_.Check("get_Application");
  if (!application) return E_POINTER;
  *application = BrowserDispatch();
  AddRef();
  return S_OK;
}

// Before the first page's NavigateComplete2 there is no document; later
// the host sees the current page's until the next one has navigated.
STDMETHODIMP CDoubleControl::get_Document(IDispatch** document) noexcept {
  guard_.Check("get_Document");
  if (!document) return E_POINTER;
  *document = nullptr;
  if (!page_ || !page_->Document()) return S_FALSE;
  *document = static_cast<IHTMLDocument2*>(page_->Document());
  (*document)->AddRef();
  return S_OK;
}

STDMETHODIMP CDoubleControl::get_Type(BSTR* type) noexcept {
  guard_.Check("get_Type");
  return ReturnBstr(L"HTML Document", type);
}

STDMETHODIMP CDoubleControl::get_LocationName(BSTR* name) noexcept {
  guard_.Check("get_LocationName");
  if (!page_) return ReturnBstr(L"", name);
  omb::engine::CPageDocument* document = page_->Document();
  if (document && !document->Tree().title.empty()) return ReturnBstr(document->Tree().title, name);
  return ReturnBstr(page_->Location().url, name);
}

STDMETHODIMP CDoubleControl::get_LocationURL(BSTR* url) noexcept {
  guard_.Check("get_LocationURL");
  if (!url) return E_POINTER;
  if (!page_) {
    *url = SysAllocString(L"");
    return S_FALSE;
  }
  return ReturnBstr(page_->Location().url, url);
}

STDMETHODIMP CDoubleControl::get_Busy(VARIANT_BOOL* busy) noexcept {
  guard_.Check("get_Busy");
  if (!busy) return E_POINTER;
  READYSTATE state = READYSTATE_UNINITIALIZED;
  get_ReadyState(&state);
  *busy = loading_ || (page_ && state != READYSTATE_COMPLETE) ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

// An embedded control cannot quit.
STDMETHODIMP CDoubleControl::Quit() noexcept {
  guard_.Check("Quit");
  return E_FAIL;
}

STDMETHODIMP CDoubleControl::get_HWND(SHANDLE_PTR* window) noexcept {
  guard_.Check("get_HWND");
  if (!window) return E_POINTER;
  *window = 0;
  return E_FAIL;  // only a top-level browser window has one
}

STDMETHODIMP CDoubleControl::get_Visible(VARIANT_BOOL* visible) noexcept {
  guard_.Check("get_Visible");
  if (!visible) return E_POINTER;
  *visible = visible_ ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

STDMETHODIMP CDoubleControl::put_Visible(VARIANT_BOOL visible) noexcept {
  guard_.Check("put_Visible");
  visible_ = visible != VARIANT_FALSE;
  if (embedding_ && inPlace_) ShowWindow(embedding_, visible_ ? SW_SHOW : SW_HIDE);
  return S_OK;
}

STDMETHODIMP CDoubleControl::get_ReadyState(READYSTATE* state) noexcept {
  guard_.Check("get_ReadyState");
  if (!state) return E_POINTER;
  if (loading_ || (starting_ && !page_))
    *state = READYSTATE_LOADING;
  else
    *state = page_ ? page_->ReadyState() : READYSTATE_UNINITIALIZED;
  return S_OK;
}

STDMETHODIMP CDoubleControl::get_Offline(VARIANT_BOOL* value) noexcept {
  guard_.Check("get_Offline");
  if (!value) return E_POINTER;
  *value = offline_ ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

STDMETHODIMP CDoubleControl::put_Offline(VARIANT_BOOL value) noexcept {
  guard_.Check("put_Offline");
  offline_ = value != VARIANT_FALSE;
  return S_OK;
}

STDMETHODIMP CDoubleControl::get_Silent(VARIANT_BOOL* value) noexcept {
  guard_.Check("get_Silent");
  if (!value) return E_POINTER;
  *value = silent_ ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

STDMETHODIMP CDoubleControl::put_Silent(VARIANT_BOOL value) noexcept {
  guard_.Check("put_Silent");
  silent_ = value != VARIANT_FALSE;
  return S_OK;
}

STDMETHODIMP CDoubleControl::get_RegisterAsBrowser(VARIANT_BOOL* value) noexcept {
  guard_.Check("get_RegisterAsBrowser");
  if (!value) return E_POINTER;
  *value = registerAsBrowser_ ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

STDMETHODIMP CDoubleControl::put_RegisterAsBrowser(VARIANT_BOOL value) noexcept {
  guard_.Check("put_RegisterAsBrowser");
  registerAsBrowser_ = value != VARIANT_FALSE;
  return S_OK;
}

// ---------------------------------------------------------------------------
// IPageHost

void CDoubleControl::PostPageStep(UINT generation) noexcept { messages_.PostStep(generation); }

void CDoubleControl::SetPageTimer(UINT delayMs) noexcept { messages_.SetTimer(delayMs); }

void CDoubleControl::KillPageTimer() noexcept { messages_.KillTimer(); }

// The navigating page replaces the old one (which unloads now) and becomes
// the host's document; its scripts run only after this.
void CDoubleControl::FireNavigateComplete(const std::wstring& url) noexcept {
  ComPtr<CDoubleControl> keep(this);
  ComPtr<CPage> page = std::move(loading_);
  if (!page) return;
  KillPageTimer();
  UnloadCurrentPage();
  page_ = page;
  CollectFrames();
  if (!ScriptsAllowed(url)) page->DisableScripts();
  if (!dropTargetRegistered_) RegisterDropTarget();
  if (page->Generation() == refreshGeneration_) return;
  if (ComPtr<omb::engine::CConnectionPoint> events = events_)
    omb::engine::FireNavigateComplete2(*events.Get(), BrowserDispatch(), url);
}

// Every frame completes before the page does.
void CDoubleControl::FireDocumentComplete(const std::wstring& url) noexcept {
  ComPtr<CDoubleControl> keep(this);
  if (page_ && page_->Generation() == refreshGeneration_) return;
  const std::vector<ComPtr<CDoubleFrame>> frames = frames_;
  for (const ComPtr<CDoubleFrame>& frame : frames) {
    if (ComPtr<omb::engine::CConnectionPoint> events = events_)
      omb::engine::FireNavigateComplete2(*events.Get(), frame.Get(), frame->Url());
    if (ComPtr<omb::engine::CConnectionPoint> events = events_)
      omb::engine::FireDocumentComplete(*events.Get(), frame.Get(), frame->Url());
  }
  if (ComPtr<omb::engine::CConnectionPoint> events = events_)
    omb::engine::FireDocumentComplete(*events.Get(), BrowserDispatch(), url);
}

void CDoubleControl::OpenWindow(const std::wstring& url, const std::wstring& pageUrl) noexcept {
  ComPtr<CDoubleControl> keep(this);
  ComPtr<IDispatch> target;
  if (ComPtr<omb::engine::CConnectionPoint> events = events_)
    (void)omb::engine::FireNewWindow3(*events.Get(), url, pageUrl, target);
}

// Unless a sink cancels, the control destroys its window once the page's
// script has returned.
void CDoubleControl::CloseWindow() noexcept {
  ComPtr<CDoubleControl> keep(this);
  ComPtr<omb::engine::CConnectionPoint> events = events_;
  if (events && omb::engine::FireWindowClosing(*events.Get())) return;
  messages_.PostClose();
}

// The page asks to go elsewhere: the host is asked (TranslateUrl,
// BeforeNavigate2) at once, with the old page still complete; the page
// itself goes from the message loop.
void CDoubleControl::NavigateFromPage(const std::wstring& url) noexcept {
  ComPtr<CDoubleControl> keep(this);
  if (!page_ || !messages_.Exists()) return;
  try {
    std::wstring target = url;
    if (ComPtr<IDocHostUIHandler> handler = SiteAs<IDocHostUIHandler>()) {
      LPWSTR translated = nullptr;
      if (handler->TranslateUrl(0, target.data(), &translated) == S_OK && translated)
        target = translated;
      CoTaskMemFree(translated);
    }
    if (ComPtr<omb::engine::CConnectionPoint> events = events_;
        events && FireBeforeNavigate2(*events.Get(), BrowserDispatch(), target, 0))
      return;
    pageNavigation_ = std::move(target);
  } catch (...) {
    return;
  }
  messages_.PostNavigate(page_->Generation());
}

HRESULT CDoubleControl::GetExternal(IDispatch** out) noexcept {
  return omb::engine::ExternalOfSite(site_.Get(), out);
}

HWND CDoubleControl::MessageOwner() noexcept {
  return omb::engine::ControlOwnerWindow(embedding_, site_.Get());
}

// The command target of the client site, else of its container, takes the
// error first; when neither does, the control shows its own box.
bool CDoubleControl::ReportScriptError(IUnknown* document,
                                       const omb::engine::ScriptError& error) noexcept {
  ComPtr<CDoubleControl> keep(this);
  ComPtr<IOleCommandTarget> target = SiteAs<IOleCommandTarget>();
  if (!target && site_) {
    ComPtr<IOleContainer> container;
    if (SUCCEEDED(site_->GetContainer(&container)) && container) container.As(&target);
  }
  if (target) {
    VARIANT in;
    omb::SetUnknown(&in, document);
    omb::unique_variant out;
    const HRESULT hr =
        target->Exec(&CGID_DocHostCommandHandler, OLECMDID_SHOWSCRIPTERROR, 0, &in, out.get());
    VariantClear(&in);
    if (hr == S_OK) return !(out.vt() == VT_BOOL && !omb::IsTrue(*out));
  }
  if (!silent_) omb::engine::ShowScriptErrorBox(MessageOwner(), error);
  return true;
}

// ---------------------------------------------------------------------------
// Window messages

bool CDoubleControl::OnEngineMessage(omb::engine::EngineWindow which, HWND window, UINT message,
                                     WPARAM wParam, LPARAM lParam, LRESULT* result) noexcept {
  using omb::engine::EngineWindow;
  ComPtr<CDoubleControl> keep(this);
  *result = 0;
  switch (which) {
    case EngineWindow::kMessages:
      return OnPageRequest(window, message, wParam, lParam);
    case EngineWindow::kEmbedding:
    case EngineWindow::kDocObjectView:
      if (message == WM_DESTROY && which == EngineWindow::kEmbedding && window == embedding_) {
        // The container destroyed its window, and the chain with it.
        UnloadCurrentPage();
        omb::engine::DetachEngineWindow(embedding_);
        embedding_ = view_ = server_ = nullptr;
        dropTargetRegistered_ = false;
        input_.Reset();
      }
      return omb::engine::OnOuterWindowMessage(which, message, lParam, view_, server_);
    case EngineWindow::kServer:
      return input_.OnMessage(server_, page_.Get(), SiteAs<IDocHostUIHandler>().Get(), message,
                              wParam, lParam);
  }
  return false;
}

bool CDoubleControl::OnPageRequest(HWND window, UINT message, WPARAM wParam,
                                   LPARAM lParam) noexcept {
  using Request = omb::engine::CPageMessageWindow::Request;
  UINT generation = 0;
  switch (messages_.Read(window, message, wParam, lParam, &generation)) {
    case Request::kStep:
      if (ComPtr<CPage> page = PageOfGeneration(generation)) page->RunStep();
      return true;
    case Request::kNavigate:
      if (page_ && page_->Generation() == generation && !pageNavigation_.empty())
        NavigateTo(std::exchange(pageNavigation_, std::wstring()), true);
      return true;
    case Request::kClose:
      CloseControlWindow();
      return true;
    case Request::kTimer:
      if (ComPtr<CPage> page = page_)
        page->OnTimer();
      else
        KillPageTimer();
      return true;
    case Request::kNone:
      break;
  }
  return false;
}

}  // namespace browserdouble
