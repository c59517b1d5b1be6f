// An element of a page: IHTMLElement for the host (tag name, attributes,
// parent), a small dispatch surface for script (id, tagName, parentNode,
// getAttribute, setAttribute, ...), and HTMLElementEvents2 through a
// connection point, as the host's drag sink expects of the body.
#pragma once

#include <span>

#include "app/engine/connection_point.h"
#include "app/engine/dispatch_util.h"
#include "app/engine/html_tree.h"
#include "app/engine/interface_defaults.h"
#include "sdk/dispatch.h"

namespace omb::engine {

class CPageDocument;

class CPageElement : public ComObject<CPageElement, HtmlElementDefaults, IProvideClassInfo2,
                                      IConnectionPointContainer> {
 public:
  CPageElement(CPageDocument* document, int node) noexcept;

  int Node() const noexcept { return node_; }
  bool HasSinks() const noexcept { return events_ && events_->HasSinks(); }
  // Calls every connected sink with the event object as the one argument.
  void FireEvent(DISPID dispid, IDispatch* eventObject) noexcept;
  // Releases the sinks; the element stays readable.
  void Close() noexcept;

  // IDispatch
  STDMETHODIMP GetTypeInfoCount(UINT* count) noexcept override;
  STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) noexcept override;
  STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid,
                             DISPID* ids) noexcept override;
  STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params,
                      VARIANT* result, EXCEPINFO* exception, UINT* argError) noexcept override;
  // IHTMLElement
  STDMETHODIMP setAttribute(BSTR name, VARIANT value, LONG flags) noexcept override;
  STDMETHODIMP getAttribute(BSTR name, LONG flags, VARIANT* value) noexcept override;
  STDMETHODIMP removeAttribute(BSTR name, LONG flags, VARIANT_BOOL* removed) noexcept override;
  STDMETHODIMP put_className(BSTR value) noexcept override;
  STDMETHODIMP get_className(BSTR* value) noexcept override;
  STDMETHODIMP put_id(BSTR value) noexcept override;
  STDMETHODIMP get_id(BSTR* value) noexcept override;
  STDMETHODIMP get_tagName(BSTR* value) noexcept override;
  STDMETHODIMP get_parentElement(IHTMLElement** parent) noexcept override;
  STDMETHODIMP get_document(IDispatch** document) noexcept override;
  STDMETHODIMP put_title(BSTR value) noexcept override;
  STDMETHODIMP get_title(BSTR* value) noexcept override;
  STDMETHODIMP get_offsetLeft(LONG* value) noexcept override;
  STDMETHODIMP get_offsetTop(LONG* value) noexcept override;
  STDMETHODIMP get_offsetWidth(LONG* value) noexcept override;
  STDMETHODIMP get_offsetHeight(LONG* value) noexcept override;
  // IProvideClassInfo2
  STDMETHODIMP GetClassInfo(ITypeInfo** info) noexcept override;
  STDMETHODIMP GetGUID(DWORD kind, GUID* guid) noexcept override;
  // IConnectionPointContainer
  STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** points) noexcept override;
  STDMETHODIMP FindConnectionPoint(REFIID iid, IConnectionPoint** point) noexcept override;

  // Script members.
  static std::span<const DispMember<CPageElement>> Members() noexcept;
  HRESULT ScriptId(DispCall& call);
  HRESULT ScriptTagName(DispCall& call);
  HRESULT ScriptParent(DispCall& call);
  HRESULT ScriptGetAttribute(DispCall& call);
  HRESULT ScriptSetAttribute(DispCall& call);
  HRESULT ScriptRemoveAttribute(DispCall& call);
  HRESULT ScriptHasAttribute(DispCall& call);
  HRESULT ScriptClassName(DispCall& call);
  HRESULT ScriptOwnerDocument(DispCall& call);

 private:
  ~CPageElement() override;

  HtmlNode& Data() const noexcept;
  HRESULT AttributeString(const wchar_t* name, BSTR* value) const noexcept;
  HRESULT SetAttributeString(const wchar_t* name, std::wstring_view value) noexcept;
  RECT Box() const noexcept;  // the layout box, empty when the element has none

  friend class ComObject<CPageElement, HtmlElementDefaults, IProvideClassInfo2,
                         IConnectionPointContainer>;

  ComPtr<CPageDocument> document_;
  int node_;
  ComPtr<CConnectionPoint> events_;
  ExpandoBag expandos_;
};

}  // namespace omb::engine
