#include "app/engine/page_document.h"

#include "app/engine/page.h"
#include "app/engine/page_element.h"
#include "app/engine/page_layout.h"
#include "app/engine/page_window.h"

namespace omb::engine {
namespace {

constexpr DISPID kAttachEvent = 11;
constexpr DISPID kDetachEvent = 13;

constexpr DispMember<CPageDocument> kDocumentMembers[] = {
    {1, L"getElementById", &CPageDocument::ScriptGetElementById},
    {2, L"elementFromPoint", &CPageDocument::ScriptElementFromPoint},
    {3, L"title", &CPageDocument::ScriptTitle},
    {4, L"URL", &CPageDocument::ScriptUrl},
    {5, L"body", &CPageDocument::ScriptBody},
    {6, L"documentElement", &CPageDocument::ScriptDocumentElement},
    {7, L"readyState", &CPageDocument::ScriptReadyState},
    {8, L"parentWindow", &CPageDocument::ScriptWindow},
    {9, L"defaultView", &CPageDocument::ScriptWindow},
    {10, L"location", &CPageDocument::ScriptLocation},
    {kAttachEvent, L"attachEvent", &CPageDocument::ScriptAddListener},
    {12, L"addEventListener", &CPageDocument::ScriptAddListener},
    {kDetachEvent, L"detachEvent", &CPageDocument::ScriptRemoveListener},
    {14, L"removeEventListener", &CPageDocument::ScriptRemoveListener},
};

// "onload" -> "load" for the attachEvent form.
std::wstring ListenerType(const DispCall& call, DISPID attachForm) {
  std::wstring type = DisplayString(call.args[0]);
  if (call.id == attachForm && type.rfind(L"on", 0) == 0) type.erase(0, 2);
  return type;
}

}  // namespace

CPageDocument::CPageDocument(CPage* page, PageTree tree) noexcept
    : page_(page), tree_(std::move(tree)) {}

CPageDocument::~CPageDocument() { Close(); }

std::span<const DispMember<CPageDocument>> CPageDocument::Members() noexcept {
  return kDocumentMembers;
}

void CPageDocument::Close() noexcept {
  closed_ = true;
  std::vector<ComPtr<CPageElement>> elements;
  elements.swap(elements_);
  for (const auto& element : elements)
    if (element) element->Close();
  expandos_.Clear();
  page_.Reset();
}

ComPtr<CPageElement> CPageDocument::ElementAt(int node) noexcept {
  if (node < 0 || static_cast<size_t>(node) >= tree_.nodes.size()) return nullptr;
  if (closed_) return Make<CPageElement>(this, node);  // not kept: nothing may hold the document
  try {
    if (elements_.size() < tree_.nodes.size()) elements_.resize(tree_.nodes.size());
  } catch (...) {
    return nullptr;
  }
  if (!elements_[node]) elements_[node] = Make<CPageElement>(this, node);
  return elements_[node];
}

std::optional<RECT> CPageDocument::BoxOf(int node) const { return ComputeBoxes(tree_)[node]; }

int CPageDocument::HitTest(POINT client) const noexcept {
  try {
    return ElementFromPoint(tree_, client);
  } catch (...) {
    return tree_.body;
  }
}

void CPageDocument::FireElementEvent(int node, DISPID dispid, EventDetails details) noexcept {
  ComPtr<CPageDocument> keep(this);
  ComPtr<CPageElement> target = ElementAt(node);
  if (!target) return;
  details.source = target;
  ComPtr<CEventObject> event = Make<CEventObject>(std::move(details));
  if (!event) return;
  for (int n = node; n >= 0 && !closed_ && !event->BubbleCancelled(); n = tree_.nodes[n].parent) {
    if (static_cast<size_t>(n) >= elements_.size() || !elements_[n] || !elements_[n]->HasSinks())
      continue;
    ComPtr<CPageElement> element = elements_[n];
    element->FireEvent(dispid, event.Get());
  }
}

HRESULT CPageDocument::ReturnElement(int node, IHTMLElement** out) noexcept {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (node < 0) return S_OK;
  ComPtr<CPageElement> element = ElementAt(node);
  if (!element) return E_OUTOFMEMORY;
  *out = element.Detach();
  return S_OK;
}

HRESULT CPageDocument::ReturnElement(int node, DispCall& call) noexcept {
  if (node < 0) return call.ReturnNull();
  ComPtr<CPageElement> element = ElementAt(node);
  if (!element) return E_OUTOFMEMORY;
  return call.ReturnDispatch(static_cast<IHTMLElement*>(element.Get()));
}

// ---------------------------------------------------------------------------
// IDispatch

STDMETHODIMP CPageDocument::GetTypeInfoCount(UINT* count) noexcept {
  if (!count) return E_POINTER;
  *count = 0;
  return S_OK;
}

STDMETHODIMP CPageDocument::GetTypeInfo(UINT, LCID, ITypeInfo** info) noexcept {
  if (info) *info = nullptr;
  return DISP_E_BADINDEX;
}

STDMETHODIMP CPageDocument::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                 DISPID* ids) noexcept {
  return TableOrExpandoIds<CPageDocument>(expandos_, names, count, ids);
}

STDMETHODIMP CPageDocument::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                          VARIANT* result, EXCEPINFO*, UINT*) noexcept {
  return TableOrExpandoInvoke(this, expandos_, L"[object Document]", id, flags, params, result);
}

// ---------------------------------------------------------------------------
// IHTMLDocument2 / IHTMLDocument3

STDMETHODIMP CPageDocument::get_Script(IDispatch** script) noexcept {
  if (!script) return E_POINTER;
  *script = nullptr;
  if (!page_ || !page_->Window()) return E_FAIL;
  return page_->Window()->QueryInterface(IID_PPV_ARGS(script));
}

STDMETHODIMP CPageDocument::get_parentWindow(IHTMLWindow2** window) noexcept {
  if (!window) return E_POINTER;
  *window = nullptr;
  if (!page_ || !page_->Window()) return E_FAIL;
  return page_->Window()->QueryInterface(IID_PPV_ARGS(window));
}

STDMETHODIMP CPageDocument::get_body(IHTMLElement** body) noexcept {
  return ReturnElement(tree_.body, body);
}

STDMETHODIMP CPageDocument::get_documentElement(IHTMLElement** root) noexcept {
  return ReturnElement(0, root);
}

STDMETHODIMP CPageDocument::put_title(BSTR title) noexcept {
  try {
    tree_.title = title ? title : L"";
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

STDMETHODIMP CPageDocument::get_title(BSTR* title) noexcept {
  return ReturnBstr(tree_.title, title);
}

STDMETHODIMP CPageDocument::get_readyState(BSTR* state) noexcept {
  return ReturnBstr(page_ ? page_->DocumentReadyState() : L"complete", state);
}

STDMETHODIMP CPageDocument::get_URL(BSTR* url) noexcept {
  if (!page_) return ReturnBstr(L"", url);
  return ReturnBstr(page_->Location().url, url);
}

STDMETHODIMP CPageDocument::elementFromPoint(LONG x, LONG y, IHTMLElement** element) noexcept {
  return ReturnElement(HitTest(POINT{x, y}), element);
}

STDMETHODIMP CPageDocument::getElementById(BSTR id, IHTMLElement** element) noexcept {
  return ReturnElement(tree_.FindById(id ? id : L""), element);
}

// ---------------------------------------------------------------------------
// Script members

HRESULT CPageDocument::ScriptGetElementById(DispCall& call) {
  if (call.args.Count() < 1) return DISP_E_BADPARAMCOUNT;
  return ReturnElement(tree_.FindById(DisplayString(call.args[0])), call);
}

HRESULT CPageDocument::ScriptElementFromPoint(DispCall& call) {
  LONG x = 0, y = 0;
  if (FAILED(call.args.Number(0, &x)) || FAILED(call.args.Number(1, &y)))
    return DISP_E_BADPARAMCOUNT;
  return ReturnElement(HitTest(POINT{x, y}), call);
}

HRESULT CPageDocument::ScriptTitle(DispCall& call) {
  if (call.IsPut()) {
    tree_.title = DisplayString(call.args[0]);
    return S_OK;
  }
  return call.ReturnString(tree_.title.c_str(), static_cast<UINT>(tree_.title.size()));
}

HRESULT CPageDocument::ScriptUrl(DispCall& call) {
  return call.ReturnString(page_ ? page_->Location().url.c_str() : L"");
}

HRESULT CPageDocument::ScriptBody(DispCall& call) { return ReturnElement(tree_.body, call); }

HRESULT CPageDocument::ScriptDocumentElement(DispCall& call) { return ReturnElement(0, call); }

HRESULT CPageDocument::ScriptReadyState(DispCall& call) {
  return call.ReturnString(page_ ? page_->DocumentReadyState() : L"complete");
}

HRESULT CPageDocument::ScriptWindow(DispCall& call) {
  if (!page_ || !page_->Window()) return call.ReturnNull();
  return call.ReturnDispatch(static_cast<IDispatchEx*>(page_->Window()));
}

HRESULT CPageDocument::ScriptLocation(DispCall& call) {
  if (!page_) return call.ReturnNull();
  if (call.IsPut()) {
    page_->NavigateFromPage(DisplayString(call.args[0]));
    return S_OK;
  }
  ComPtr<CLocation> location = Make<CLocation>(page_.Get());
  if (!location) return E_OUTOFMEMORY;
  return call.ReturnDispatch(location.Get());
}

HRESULT CPageDocument::ScriptAddListener(DispCall& call) {
  IDispatch* listener = nullptr;
  if (call.args.Count() < 2 || FAILED(call.args.Object(1, &listener))) return DISP_E_BADPARAMCOUNT;
  if (page_) page_->AddListener(ListenerType(call, kAttachEvent), listener);
  return call.id == kAttachEvent ? call.ReturnBool(true) : S_OK;
}

HRESULT CPageDocument::ScriptRemoveListener(DispCall& call) {
  IDispatch* listener = nullptr;
  if (call.args.Count() < 2 || FAILED(call.args.Object(1, &listener))) return DISP_E_BADPARAMCOUNT;
  if (page_) page_->RemoveListener(ListenerType(call, kDetachEvent), listener);
  return S_OK;
}

}  // namespace omb::engine
