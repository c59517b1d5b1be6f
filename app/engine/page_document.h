// The document of a page: IHTMLDocument2/3 for the host (script object,
// window, body, elementFromPoint, element lookup), a small dispatch surface
// for script (getElementById, title, URL, body, ...), and one element object
// per element so that connections made to an element (the body's event
// sinks) persist.
#pragma once

#include <optional>
#include <span>
#include <vector>

#include "app/engine/dispatch_util.h"
#include "app/engine/html_tree.h"
#include "app/engine/interface_defaults.h"
#include "app/engine/script_objects.h"
#include "sdk/dispatch.h"

namespace omb::engine {

class CPage;
class CPageElement;

class CPageDocument : public ComObject<CPageDocument, HtmlDocumentDefaults, HtmlDocument3Defaults> {
 public:
  CPageDocument(CPage* page, PageTree tree) noexcept;

  PageTree& Tree() noexcept { return tree_; }
  // The element object of a node (the same object for every call while the
  // document is open); null when out of memory or the index is invalid.
  ComPtr<CPageElement> ElementAt(int node) noexcept;
  std::optional<RECT> BoxOf(int node) const;
  int HitTest(POINT client) const noexcept;
  // Fires an element event at node and, unless a sink cancels bubbling, at
  // each of its ancestors that has sinks.
  void FireElementEvent(int node, DISPID dispid, EventDetails details) noexcept;
  // Releases the element objects and their sinks and the page.
  void Close() noexcept;

  // IDispatch
  STDMETHODIMP GetTypeInfoCount(UINT* count) noexcept override;
  STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) noexcept override;
  STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid,
                             DISPID* ids) noexcept override;
  STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params,
                      VARIANT* result, EXCEPINFO* exception, UINT* argError) noexcept override;
  // IHTMLDocument
  STDMETHODIMP get_Script(IDispatch** script) noexcept override;
  // IHTMLDocument2
  STDMETHODIMP get_body(IHTMLElement** body) noexcept override;
  STDMETHODIMP put_title(BSTR title) noexcept override;
  STDMETHODIMP get_title(BSTR* title) noexcept override;
  STDMETHODIMP get_readyState(BSTR* state) noexcept override;
  STDMETHODIMP get_URL(BSTR* url) noexcept override;
  STDMETHODIMP get_parentWindow(IHTMLWindow2** window) noexcept override;
  STDMETHODIMP elementFromPoint(LONG x, LONG y, IHTMLElement** element) noexcept override;
  // IHTMLDocument3
  STDMETHODIMP get_documentElement(IHTMLElement** root) noexcept override;
  STDMETHODIMP getElementById(BSTR id, IHTMLElement** element) noexcept override;

  // Script members.
  static std::span<const DispMember<CPageDocument>> Members() noexcept;
  HRESULT ScriptGetElementById(DispCall& call);
  HRESULT ScriptElementFromPoint(DispCall& call);
  HRESULT ScriptTitle(DispCall& call);
  HRESULT ScriptUrl(DispCall& call);
  HRESULT ScriptBody(DispCall& call);
  HRESULT ScriptDocumentElement(DispCall& call);
  HRESULT ScriptReadyState(DispCall& call);
  HRESULT ScriptWindow(DispCall& call);
  HRESULT ScriptLocation(DispCall& call);
  HRESULT ScriptAddListener(DispCall& call);
  HRESULT ScriptRemoveListener(DispCall& call);

 private:
  ~CPageDocument() override;
  friend class ComObject<CPageDocument, HtmlDocumentDefaults, HtmlDocument3Defaults>;

  HRESULT ReturnElement(int node, IHTMLElement** out) noexcept;
  HRESULT ReturnElement(int node, DispCall& call) noexcept;

  ComPtr<CPage> page_;
  PageTree tree_;
  std::vector<ComPtr<CPageElement>> elements_;  // by node; filled on demand
  ExpandoBag expandos_;
  bool closed_ = false;
};

}  // namespace omb::engine
