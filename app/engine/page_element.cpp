#include "app/engine/page_element.h"

#include "app/engine/engine_com.h"
#include "app/engine/page_document.h"

namespace omb::engine {
namespace {

constexpr DispMember<CPageElement> kElementMembers[] = {
    {1, L"id", &CPageElement::ScriptId},
    {2, L"tagName", &CPageElement::ScriptTagName},
    {3, L"nodeName", &CPageElement::ScriptTagName},
    {4, L"parentNode", &CPageElement::ScriptParent},
    {5, L"parentElement", &CPageElement::ScriptParent},
    {6, L"getAttribute", &CPageElement::ScriptGetAttribute},
    {7, L"setAttribute", &CPageElement::ScriptSetAttribute},
    {8, L"removeAttribute", &CPageElement::ScriptRemoveAttribute},
    {9, L"hasAttribute", &CPageElement::ScriptHasAttribute},
    {10, L"className", &CPageElement::ScriptClassName},
    {11, L"ownerDocument", &CPageElement::ScriptOwnerDocument},
};

}  // namespace

CPageElement::CPageElement(CPageDocument* document, int node) noexcept
    : document_(document), node_(node) {}

CPageElement::~CPageElement() { Close(); }

std::span<const DispMember<CPageElement>> CPageElement::Members() noexcept {
  return kElementMembers;
}

HtmlNode& CPageElement::Data() const noexcept { return document_->Tree().nodes[node_]; }

void CPageElement::Close() noexcept {
  if (ComPtr<CConnectionPoint> events = std::move(events_)) events->Detach();
}

void CPageElement::FireEvent(DISPID dispid, IDispatch* eventObject) noexcept {
  if (!events_) return;
  ComPtr<CPageElement> keep(this);
  ComPtr<CConnectionPoint> events = events_;
  VARIANT arg;
  SetDispatch(&arg, eventObject);
  DISPPARAMS params{&arg, nullptr, 1, 0};
  events->Fire(dispid, &params);
  VariantClear(&arg);
}

HRESULT CPageElement::AttributeString(const wchar_t* name, BSTR* value) const noexcept {
  if (!value) return E_POINTER;
  const std::wstring* found = Data().FindAttribute(name);
  return ReturnBstr(found ? std::wstring_view(*found) : std::wstring_view(), value);
}

HRESULT CPageElement::SetAttributeString(const wchar_t* name, std::wstring_view value) noexcept {
  try {
    Data().SetAttribute(name, value);
    return S_OK;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

RECT CPageElement::Box() const noexcept {
  try {
    const auto box = document_->BoxOf(node_);
    return box ? *box : RECT{};
  } catch (...) {
    return RECT{};
  }
}

// ---------------------------------------------------------------------------
// IDispatch

STDMETHODIMP CPageElement::GetTypeInfoCount(UINT* count) noexcept {
  if (!count) return E_POINTER;
  *count = 0;
  return S_OK;
}

STDMETHODIMP CPageElement::GetTypeInfo(UINT, LCID, ITypeInfo** info) noexcept {
  if (info) *info = nullptr;
  return DISP_E_BADINDEX;
}

STDMETHODIMP CPageElement::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                 DISPID* ids) noexcept {
  return TableOrExpandoIds<CPageElement>(expandos_, names, count, ids);
}

STDMETHODIMP CPageElement::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                          VARIANT* result, EXCEPINFO*, UINT*) noexcept {
  return TableOrExpandoInvoke(this, expandos_, L"[object HTMLElement]", id, flags, params, result);
}

// ---------------------------------------------------------------------------
// IHTMLElement

STDMETHODIMP CPageElement::setAttribute(BSTR name, VARIANT value, LONG) noexcept {
  if (!name) return E_INVALIDARG;
  try {
    return SetAttributeString(name, DisplayString(value));
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

STDMETHODIMP CPageElement::getAttribute(BSTR name, LONG, VARIANT* value) noexcept {
  if (!value) return E_POINTER;
  VariantInit(value);
  const std::wstring* found = name ? Data().FindAttribute(name) : nullptr;
  if (!found) {
    value->vt = VT_NULL;
    return S_OK;
  }
  return SetString(value, found->c_str(), static_cast<UINT>(found->size()));
}

STDMETHODIMP CPageElement::removeAttribute(BSTR name, LONG, VARIANT_BOOL* removed) noexcept {
  const bool done = name && Data().RemoveAttribute(name);
  if (removed) *removed = done ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

STDMETHODIMP CPageElement::put_className(BSTR value) noexcept {
  return SetAttributeString(L"class", value ? value : L"");
}
STDMETHODIMP CPageElement::get_className(BSTR* value) noexcept {
  return AttributeString(L"class", value);
}
STDMETHODIMP CPageElement::put_id(BSTR value) noexcept {
  return SetAttributeString(L"id", value ? value : L"");
}
STDMETHODIMP CPageElement::get_id(BSTR* value) noexcept { return AttributeString(L"id", value); }
STDMETHODIMP CPageElement::put_title(BSTR value) noexcept {
  return SetAttributeString(L"title", value ? value : L"");
}
STDMETHODIMP CPageElement::get_title(BSTR* value) noexcept {
  return AttributeString(L"title", value);
}

STDMETHODIMP CPageElement::get_tagName(BSTR* value) noexcept {
  return ReturnBstr(Data().tag, value);
}

STDMETHODIMP CPageElement::get_parentElement(IHTMLElement** parent) noexcept {
  if (!parent) return E_POINTER;
  *parent = nullptr;
  const int index = Data().parent;
  if (index < 0) return S_OK;
  ComPtr<CPageElement> element = document_->ElementAt(index);
  if (!element) return E_OUTOFMEMORY;
  *parent = element.Detach();
  return S_OK;
}

STDMETHODIMP CPageElement::get_document(IDispatch** document) noexcept {
  if (!document) return E_POINTER;
  return document_->QueryInterface(IID_PPV_ARGS(document));
}

STDMETHODIMP CPageElement::get_offsetLeft(LONG* value) noexcept {
  if (!value) return E_POINTER;
  *value = Box().left;
  return S_OK;
}
STDMETHODIMP CPageElement::get_offsetTop(LONG* value) noexcept {
  if (!value) return E_POINTER;
  *value = Box().top;
  return S_OK;
}
STDMETHODIMP CPageElement::get_offsetWidth(LONG* value) noexcept {
  if (!value) return E_POINTER;
  const RECT box = Box();
  *value = box.right - box.left;
  return S_OK;
}
STDMETHODIMP CPageElement::get_offsetHeight(LONG* value) noexcept {
  if (!value) return E_POINTER;
  const RECT box = Box();
  *value = box.bottom - box.top;
  return S_OK;
}

// ---------------------------------------------------------------------------
// Events

STDMETHODIMP CPageElement::GetClassInfo(ITypeInfo** info) noexcept {
  if (info) *info = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP CPageElement::GetGUID(DWORD kind, GUID* guid) noexcept {
  if (!guid) return E_POINTER;
  if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) {
    *guid = GUID_NULL;
    return E_INVALIDARG;
  }
  *guid = DIID_HTMLElementEvents2;
  return S_OK;
}

STDMETHODIMP CPageElement::EnumConnectionPoints(IEnumConnectionPoints** points) noexcept {
  if (points) *points = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP CPageElement::FindConnectionPoint(REFIID iid, IConnectionPoint** point) noexcept {
  if (!point) return E_POINTER;
  *point = nullptr;
  if (iid != DIID_HTMLElementEvents2) return CONNECT_E_NOCONNECTION;
  if (!events_) events_ = Make<CConnectionPoint>(DIID_HTMLElementEvents2, this);
  if (!events_) return E_OUTOFMEMORY;
  *point = ComPtr<IConnectionPoint>(events_).Detach();
  return S_OK;
}

// ---------------------------------------------------------------------------
// Script members

HRESULT CPageElement::ScriptId(DispCall& call) {
  if (call.IsPut()) return SetAttributeString(L"id", DisplayString(call.args[0]));
  const std::wstring* id = Data().FindAttribute(L"id");
  return call.ReturnString(id ? id->c_str() : L"");
}

HRESULT CPageElement::ScriptClassName(DispCall& call) {
  if (call.IsPut()) return SetAttributeString(L"class", DisplayString(call.args[0]));
  const std::wstring* value = Data().FindAttribute(L"class");
  return call.ReturnString(value ? value->c_str() : L"");
}

HRESULT CPageElement::ScriptTagName(DispCall& call) {
  return call.ReturnString(Data().tag.c_str());
}

HRESULT CPageElement::ScriptParent(DispCall& call) {
  ComPtr<IHTMLElement> parent;
  OMB_RETURN_IF_FAILED(get_parentElement(&parent));
  if (!parent) return call.ReturnNull();
  return call.ReturnDispatch(parent.Get());
}

HRESULT CPageElement::ScriptOwnerDocument(DispCall& call) {
  ComPtr<IDispatch> document;
  OMB_RETURN_IF_FAILED(get_document(&document));
  return call.ReturnDispatch(document.Get());
}

HRESULT CPageElement::ScriptGetAttribute(DispCall& call) {
  if (call.args.Count() < 1) return DISP_E_BADPARAMCOUNT;
  const std::wstring* value = Data().FindAttribute(DisplayString(call.args[0]));
  if (!value) return call.ReturnNull();
  return call.ReturnString(value->c_str(), static_cast<UINT>(value->size()));
}

HRESULT CPageElement::ScriptSetAttribute(DispCall& call) {
  if (call.args.Count() < 2) return DISP_E_BADPARAMCOUNT;
  Data().SetAttribute(DisplayString(call.args[0]), DisplayString(call.args[1]));
  return S_OK;
}

HRESULT CPageElement::ScriptRemoveAttribute(DispCall& call) {
  if (call.args.Count() < 1) return DISP_E_BADPARAMCOUNT;
  Data().RemoveAttribute(DisplayString(call.args[0]));
  return S_OK;
}

HRESULT CPageElement::ScriptHasAttribute(DispCall& call) {
  if (call.args.Count() < 1) return DISP_E_BADPARAMCOUNT;
  return call.ReturnBool(Data().FindAttribute(DisplayString(call.args[0])) != nullptr);
}

}  // namespace omb::engine
