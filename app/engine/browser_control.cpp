#include "app/engine/browser_control.h"

#include "app/engine/browser_events.h"
#include "app/engine/dispatch_util.h"
#include "app/engine/page_document.h"
#include "sdk/trace.h"

namespace omb::engine {

// Nothing may call back into the control now: the site references go first,
// so deactivation notifies no one.
CPageControl::~CPageControl() {
  inPlaceSite_.Reset();
  frame_.Reset();
  uiWindow_.Reset();
  uiActive_ = false;
  Teardown(false);
}

// ---------------------------------------------------------------------------
// Navigation

HRESULT CPageControl::NavigateTo(const std::wstring& target) noexcept {
  ComPtr<CPageControl> keep(this);
  if (!messages_.Ensure(this)) return HResultFromLastError();
  PageLocation location;
  try {
    location = ResolvePageLocation(target);
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  ComPtr<CPage> page = CPage::Create(this, std::move(location), ++generation_);
  if (!page) return E_OUTOFMEMORY;
  ReplacePage(page);
  page->Start();
  return S_OK;
}

// The old page unloads and closes now, or when its running script returns.
void CPageControl::ReplacePage(ComPtr<CPage> page) noexcept {
  KillPageTimer();
  if (ComPtr<CPage> current = page_) current->Unload();
  ComPtr<CPage> old = std::exchange(page_, std::move(page));
  if (old) old->Close();
}

// ---------------------------------------------------------------------------
// IDispatch: the control offers no names of its own to late-bound callers.

STDMETHODIMP CPageControl::GetTypeInfoCount(UINT* count) noexcept {
  if (!count) return E_POINTER;
  *count = 0;
  return S_OK;
}

STDMETHODIMP CPageControl::GetTypeInfo(UINT, LCID, ITypeInfo** info) noexcept {
  if (info) *info = nullptr;
  return DISP_E_BADINDEX;
}

STDMETHODIMP CPageControl::GetIDsOfNames(REFIID, LPOLESTR*, UINT count, LCID,
                                         DISPID* ids) noexcept {
  for (UINT i = 0; ids && i < count; ++i) ids[i] = DISPID_UNKNOWN;
  return DISP_E_UNKNOWNNAME;
}

STDMETHODIMP CPageControl::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                  UINT*) noexcept {
  return DISP_E_MEMBERNOTFOUND;
}

// ---------------------------------------------------------------------------
// IWebBrowser2

STDMETHODIMP CPageControl::Navigate(BSTR url, VARIANT*, VARIANT*, VARIANT*, VARIANT*) noexcept {
  if (!url) return E_INVALIDARG;
  try {
    return NavigateTo(url);
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

STDMETHODIMP CPageControl::Navigate2(VARIANT* url, VARIANT*, VARIANT*, VARIANT*,
                                     VARIANT*) noexcept {
  if (!url) return E_INVALIDARG;
  const VARIANT* value = url->vt == (VT_BYREF | VT_VARIANT) ? url->pvarVal : url;
  if (!value || value->vt != VT_BSTR || !value->bstrVal) return E_INVALIDARG;
  try {
    return NavigateTo(value->bstrVal);
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

STDMETHODIMP CPageControl::Refresh() noexcept {
  if (!page_) return S_OK;
  try {
    return NavigateTo(page_->Location().url);
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

STDMETHODIMP CPageControl::Refresh2(VARIANT*) noexcept { return Refresh(); }

STDMETHODIMP CPageControl::Stop() noexcept {
  if (page_) page_->Stop();
  return S_OK;
}

STDMETHODIMP CPageControl::get_Application(IDispatch** application) noexcept {
  if (!application) return E_POINTER;
  *application = BrowserDispatch();
  AddRef();
  return S_OK;
}

STDMETHODIMP CPageControl::get_Document(IDispatch** document) noexcept {
  if (!document) return E_POINTER;
  *document = nullptr;
  if (!page_ || !page_->Document()) return S_FALSE;
  *document = static_cast<IHTMLDocument2*>(page_->Document());
  (*document)->AddRef();
  return S_OK;
}

STDMETHODIMP CPageControl::get_Type(BSTR* type) noexcept {
  return ReturnBstr(L"HTML Document", type);
}

STDMETHODIMP CPageControl::get_LocationName(BSTR* name) noexcept {
  if (!page_) return ReturnBstr(L"", name);
  CPageDocument* document = page_->Document();
  if (document && !document->Tree().title.empty()) return ReturnBstr(document->Tree().title, name);
  return ReturnBstr(page_->Location().url, name);
}

STDMETHODIMP CPageControl::get_LocationURL(BSTR* url) noexcept {
  return ReturnBstr(page_ ? std::wstring_view(page_->Location().url) : std::wstring_view(), url);
}

STDMETHODIMP CPageControl::get_Busy(VARIANT_BOOL* busy) noexcept {
  if (!busy) return E_POINTER;
  *busy = page_ && page_->ReadyState() != READYSTATE_COMPLETE ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

// The embedded platform control ignores Quit as well.
STDMETHODIMP CPageControl::Quit() noexcept { return S_OK; }

STDMETHODIMP CPageControl::get_HWND(SHANDLE_PTR* window) noexcept {
  if (!window) return E_POINTER;
  const HWND top = MessageOwner();
  *window = reinterpret_cast<SHANDLE_PTR>(top);
  return top ? S_OK : E_FAIL;
}

STDMETHODIMP CPageControl::get_Visible(VARIANT_BOOL* visible) noexcept {
  if (!visible) return E_POINTER;
  *visible = visible_ ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

STDMETHODIMP CPageControl::put_Visible(VARIANT_BOOL visible) noexcept {
  visible_ = visible != VARIANT_FALSE;
  if (embedding_) ShowWindow(embedding_, visible_ ? SW_SHOW : SW_HIDE);
  return S_OK;
}

STDMETHODIMP CPageControl::get_ReadyState(READYSTATE* state) noexcept {
  if (!state) return E_POINTER;
  *state = page_ ? page_->ReadyState() : READYSTATE_UNINITIALIZED;
  return S_OK;
}

STDMETHODIMP CPageControl::get_RegisterAsBrowser(VARIANT_BOOL* value) noexcept {
  if (!value) return E_POINTER;
  *value = registerAsBrowser_ ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

STDMETHODIMP CPageControl::put_RegisterAsBrowser(VARIANT_BOOL value) noexcept {
  registerAsBrowser_ = value != VARIANT_FALSE;
  return S_OK;
}

STDMETHODIMP CPageControl::get_Silent(VARIANT_BOOL* value) noexcept {
  if (!value) return E_POINTER;
  *value = silent_ ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

STDMETHODIMP CPageControl::put_Silent(VARIANT_BOOL value) noexcept {
  silent_ = value != VARIANT_FALSE;
  return S_OK;
}

// ---------------------------------------------------------------------------
// IPageHost

void CPageControl::PostPageStep(UINT generation) noexcept { messages_.PostStep(generation); }

void CPageControl::SetPageTimer(UINT delayMs) noexcept { messages_.SetTimer(delayMs); }

void CPageControl::KillPageTimer() noexcept { messages_.KillTimer(); }

void CPageControl::FireNavigateComplete(const std::wstring& url) noexcept {
  ComPtr<CPageControl> keep(this);
  if (ComPtr<CConnectionPoint> events = events_)
    FireNavigateComplete2(*events.Get(), BrowserDispatch(), url);
}

void CPageControl::FireDocumentComplete(const std::wstring& url) noexcept {
  ComPtr<CPageControl> keep(this);
  RegisterDropTarget();
  if (ComPtr<CConnectionPoint> events = events_)
    engine::FireDocumentComplete(*events.Get(), BrowserDispatch(), url);
}

// A sink may cancel, or hand over a browser to show the page in; the engine
// has no frame window of its own to open otherwise.
void CPageControl::OpenWindow(const std::wstring& url, const std::wstring& pageUrl) noexcept {
  ComPtr<CPageControl> keep(this);
  ComPtr<CConnectionPoint> events = events_;
  if (!events) return;
  ComPtr<IDispatch> target;
  if (FireNewWindow3(*events.Get(), url, pageUrl, target) || !target) return;
  ComPtr<IWebBrowser2> browser;
  unique_bstr text(SysAllocString(url.c_str()));
  if (text && SUCCEEDED(target.As(&browser)))
    browser->Navigate(text.get(), nullptr, nullptr, nullptr, nullptr);
}

// The sinks are told; closing the window they live in is the host's business.
void CPageControl::CloseWindow() noexcept {
  ComPtr<CPageControl> keep(this);
  if (ComPtr<CConnectionPoint> events = events_) FireWindowClosing(*events.Get());
}

// As in browsers, the page's script runs on; the navigation follows from the
// message loop (the last request of the page wins).
void CPageControl::NavigateFromPage(const std::wstring& url) noexcept {
  if (!page_ || !messages_.Exists()) return;
  try {
    pageNavigation_ = url;
  } catch (...) {
    return;
  }
  messages_.PostNavigate(page_->Generation());
}

HRESULT CPageControl::GetExternal(IDispatch** out) noexcept {
  return ExternalOfSite(site_.Get(), out);
}

HWND CPageControl::MessageOwner() noexcept { return ControlOwnerWindow(embedding_, site_.Get()); }

// The site's command target decides first (OLECMDID_SHOWSCRIPTERROR with the
// document); when it does not take the error, the engine shows its own box.
bool CPageControl::ReportScriptError(IUnknown* document, const ScriptError& error) noexcept {
  ComPtr<CPageControl> keep(this);
  if (ComPtr<IOleCommandTarget> target = SiteAs<IOleCommandTarget>()) {
    VARIANT in;
    SetUnknown(&in, document);
    unique_variant out;
    const HRESULT hr =
        target->Exec(&CGID_DocHostCommandHandler, OLECMDID_SHOWSCRIPTERROR, 0, &in, out.get());
    VariantClear(&in);
    if (hr == S_OK) return !(out.vt() == VT_BOOL && !IsTrue(*out));
  }
  OMB_TRACE(kTraceErrors, "CPageControl::ReportScriptError", L"%s (line %lu)",
            error.description.c_str(), error.line);
  if (!silent_) ShowScriptErrorBox(MessageOwner(), error);
  return true;
}

// ---------------------------------------------------------------------------
// Window messages

bool CPageControl::OnEngineMessage(EngineWindow which, HWND window, UINT message, WPARAM wParam,
                                   LPARAM lParam, LRESULT* result) noexcept {
  ComPtr<CPageControl> keep(this);
  *result = 0;
  switch (which) {
    case EngineWindow::kMessages:
      return OnPageRequest(window, message, wParam, lParam);
    case EngineWindow::kEmbedding:
    case EngineWindow::kDocObjectView:
      if (message == WM_DESTROY && which == EngineWindow::kEmbedding) OnWindowChainDestroyed();
      return OnOuterWindowMessage(which, message, lParam, view_, server_);
    case EngineWindow::kServer:
      return OnServerMessage(message, wParam, lParam);
  }
  return false;
}

bool CPageControl::OnPageRequest(HWND window, UINT message, WPARAM wParam,
                                 LPARAM lParam) noexcept {
  UINT generation = 0;
  switch (messages_.Read(window, message, wParam, lParam, &generation)) {
    case CPageMessageWindow::Request::kStep:
      if (ComPtr<CPage> page = page_; page && page->Generation() == generation) page->RunStep();
      return true;
    case CPageMessageWindow::Request::kNavigate:
      if (page_ && page_->Generation() == generation && !pageNavigation_.empty())
        NavigateTo(std::exchange(pageNavigation_, std::wstring()));
      return true;
    case CPageMessageWindow::Request::kTimer:
      if (ComPtr<CPage> page = page_)
        page->OnTimer();
      else
        KillPageTimer();
      return true;
    case CPageMessageWindow::Request::kClose:  // this control closes nothing itself
      return true;
    case CPageMessageWindow::Request::kNone:
      break;
  }
  return false;
}

}  // namespace omb::engine
