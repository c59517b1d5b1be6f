// Every slot of the large platform interfaces the engine speaks, answering
// E_NOTIMPL. The engine's objects derive from these and override what they
// implement, so each vtable is complete without hundreds of hand-written
// stubs in the object files. IDispatch members are left to the objects.
#pragma once

#include "app/engine/engine_com.h"

namespace omb::engine {

// Every slot of IWebBrowser2 answering E_NOTIMPL; the engine overrides what it implements.
class WebBrowserDefaults : public IWebBrowser2 {
 public:
  using ComInterface = IWebBrowser2;
  STDMETHODIMP GoBack() noexcept override { return E_NOTIMPL; }
  STDMETHODIMP GoForward() noexcept override { return E_NOTIMPL; }
  STDMETHODIMP GoHome() noexcept override { return E_NOTIMPL; }
  STDMETHODIMP GoSearch() noexcept override { return E_NOTIMPL; }
  STDMETHODIMP Navigate(BSTR, VARIANT*, VARIANT*, VARIANT*, VARIANT*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP Refresh() noexcept override { return E_NOTIMPL; }
  STDMETHODIMP Refresh2(VARIANT*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP Stop() noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_Application(IDispatch**) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_Parent(IDispatch**) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_Container(IDispatch**) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_Document(IDispatch**) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_TopLevelContainer(VARIANT_BOOL*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_Type(BSTR*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_Left(LONG*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_Left(LONG) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_Top(LONG*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_Top(LONG) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_Width(LONG*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_Width(LONG) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_Height(LONG*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_Height(LONG) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_LocationName(BSTR*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_LocationURL(BSTR*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_Busy(VARIANT_BOOL*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP Quit() noexcept override { return E_NOTIMPL; }
  STDMETHODIMP ClientToWindow(int*, int*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP PutProperty(BSTR, VARIANT) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP GetProperty(BSTR, VARIANT*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_Name(BSTR*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_HWND(SHANDLE_PTR*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_FullName(BSTR*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_Path(BSTR*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_Visible(VARIANT_BOOL*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_Visible(VARIANT_BOOL) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_StatusBar(VARIANT_BOOL*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_StatusBar(VARIANT_BOOL) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_StatusText(BSTR*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_StatusText(BSTR) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_ToolBar(int*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_ToolBar(int) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_MenuBar(VARIANT_BOOL*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_MenuBar(VARIANT_BOOL) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_FullScreen(VARIANT_BOOL*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_FullScreen(VARIANT_BOOL) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP Navigate2(VARIANT*, VARIANT*, VARIANT*, VARIANT*, VARIANT*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP QueryStatusWB(OLECMDID, OLECMDF*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP ExecWB(OLECMDID, OLECMDEXECOPT, VARIANT*, VARIANT*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP ShowBrowserBar(VARIANT*, VARIANT*, VARIANT*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_ReadyState(READYSTATE*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_Offline(VARIANT_BOOL*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_Offline(VARIANT_BOOL) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_Silent(VARIANT_BOOL*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_Silent(VARIANT_BOOL) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_RegisterAsBrowser(VARIANT_BOOL*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_RegisterAsBrowser(VARIANT_BOOL) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_RegisterAsDropTarget(VARIANT_BOOL*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_RegisterAsDropTarget(VARIANT_BOOL) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_TheaterMode(VARIANT_BOOL*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_TheaterMode(VARIANT_BOOL) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_AddressBar(VARIANT_BOOL*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_AddressBar(VARIANT_BOOL) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_Resizable(VARIANT_BOOL*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_Resizable(VARIANT_BOOL) noexcept override { return E_NOTIMPL; }
};

// Every slot of IHTMLDocument2 answering E_NOTIMPL; the engine overrides what it implements.
class HtmlDocumentDefaults : public IHTMLDocument2 {
 public:
  using ComInterface = IHTMLDocument2;
  STDMETHODIMP get_Script(IDispatch**) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_all(IHTMLElementCollection**) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_body(IHTMLElement**) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_activeElement(IHTMLElement**) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_images(IHTMLElementCollection**) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_applets(IHTMLElementCollection**) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_links(IHTMLElementCollection**) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_forms(IHTMLElementCollection**) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_anchors(IHTMLElementCollection**) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_title(BSTR) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_title(BSTR*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_scripts(IHTMLElementCollection**) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_designMode(BSTR) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_designMode(BSTR*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_selection(IHTMLSelectionObject**) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_readyState(BSTR*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_frames(IHTMLFramesCollection2**) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_embeds(IHTMLElementCollection**) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_plugins(IHTMLElementCollection**) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_alinkColor(VARIANT) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_alinkColor(VARIANT*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_bgColor(VARIANT) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_bgColor(VARIANT*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_fgColor(VARIANT) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_fgColor(VARIANT*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_linkColor(VARIANT) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_linkColor(VARIANT*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_vlinkColor(VARIANT) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_vlinkColor(VARIANT*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_referrer(BSTR*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_location(IHTMLLocation**) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_lastModified(BSTR*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_URL(BSTR) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_URL(BSTR*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_domain(BSTR) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_domain(BSTR*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_cookie(BSTR) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_cookie(BSTR*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_expando(VARIANT_BOOL) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_expando(VARIANT_BOOL*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_charset(BSTR) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_charset(BSTR*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_defaultCharset(BSTR) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_defaultCharset(BSTR*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_mimeType(BSTR*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_fileSize(BSTR*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_fileCreatedDate(BSTR*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_fileModifiedDate(BSTR*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_fileUpdatedDate(BSTR*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_security(BSTR*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_protocol(BSTR*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_nameProp(BSTR*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP write(SAFEARRAY*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP writeln(SAFEARRAY*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP open(BSTR, VARIANT, VARIANT, VARIANT, IDispatch**) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP close() noexcept override { return E_NOTIMPL; }
  STDMETHODIMP clear() noexcept override { return E_NOTIMPL; }
  STDMETHODIMP queryCommandSupported(BSTR, VARIANT_BOOL*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP queryCommandEnabled(BSTR, VARIANT_BOOL*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP queryCommandState(BSTR, VARIANT_BOOL*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP queryCommandIndeterm(BSTR, VARIANT_BOOL*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP queryCommandText(BSTR, BSTR*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP queryCommandValue(BSTR, VARIANT*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP execCommand(BSTR, VARIANT_BOOL, VARIANT, VARIANT_BOOL*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP execCommandShowHelp(BSTR, VARIANT_BOOL*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP createElement(BSTR, IHTMLElement**) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_onhelp(VARIANT) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_onhelp(VARIANT*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_onclick(VARIANT) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_onclick(VARIANT*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_ondblclick(VARIANT) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_ondblclick(VARIANT*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_onkeyup(VARIANT) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_onkeyup(VARIANT*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_onkeydown(VARIANT) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_onkeydown(VARIANT*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_onkeypress(VARIANT) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_onkeypress(VARIANT*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_onmouseup(VARIANT) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_onmouseup(VARIANT*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_onmousedown(VARIANT) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_onmousedown(VARIANT*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_onmousemove(VARIANT) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_onmousemove(VARIANT*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_onmouseout(VARIANT) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_onmouseout(VARIANT*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_onmouseover(VARIANT) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_onmouseover(VARIANT*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_onreadystatechange(VARIANT) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_onreadystatechange(VARIANT*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_onafterupdate(VARIANT) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_onafterupdate(VARIANT*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_onrowexit(VARIANT) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_onrowexit(VARIANT*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_onrowenter(VARIANT) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_onrowenter(VARIANT*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_ondragstart(VARIANT) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_ondragstart(VARIANT*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_onselectstart(VARIANT) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_onselectstart(VARIANT*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP elementFromPoint(LONG, LONG, IHTMLElement**) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_parentWindow(IHTMLWindow2**) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_styleSheets(IHTMLStyleSheetsCollection**) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_onbeforeupdate(VARIANT) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_onbeforeupdate(VARIANT*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_onerrorupdate(VARIANT) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_onerrorupdate(VARIANT*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP toString(BSTR*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP createStyleSheet(BSTR, LONG, IHTMLStyleSheet**) noexcept override { return E_NOTIMPL; }
};

// Every slot of IHTMLDocument3 answering E_NOTIMPL; the engine overrides what it implements.
class HtmlDocument3Defaults : public IHTMLDocument3 {
 public:
  using ComInterface = IHTMLDocument3;
  STDMETHODIMP releaseCapture() noexcept override { return E_NOTIMPL; }
  STDMETHODIMP recalc(VARIANT_BOOL) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP createTextNode(BSTR, IHTMLDOMNode**) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_documentElement(IHTMLElement**) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_uniqueID(BSTR*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP attachEvent(BSTR, IDispatch*, VARIANT_BOOL*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP detachEvent(BSTR, IDispatch*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_onrowsdelete(VARIANT) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_onrowsdelete(VARIANT*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_onrowsinserted(VARIANT) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_onrowsinserted(VARIANT*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_oncellchange(VARIANT) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_oncellchange(VARIANT*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_ondatasetchanged(VARIANT) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_ondatasetchanged(VARIANT*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_ondataavailable(VARIANT) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_ondataavailable(VARIANT*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_ondatasetcomplete(VARIANT) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_ondatasetcomplete(VARIANT*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_onpropertychange(VARIANT) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_onpropertychange(VARIANT*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_dir(BSTR) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_dir(BSTR*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_oncontextmenu(VARIANT) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_oncontextmenu(VARIANT*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_onstop(VARIANT) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_onstop(VARIANT*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP createDocumentFragment(IHTMLDocument2**) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_parentDocument(IHTMLDocument2**) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_enableDownload(VARIANT_BOOL) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_enableDownload(VARIANT_BOOL*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_baseUrl(BSTR) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_baseUrl(BSTR*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_childNodes(IDispatch**) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_inheritStyleSheets(VARIANT_BOOL) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_inheritStyleSheets(VARIANT_BOOL*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_onbeforeeditfocus(VARIANT) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_onbeforeeditfocus(VARIANT*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP getElementsByName(BSTR, IHTMLElementCollection**) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP getElementById(BSTR, IHTMLElement**) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP getElementsByTagName(BSTR, IHTMLElementCollection**) noexcept override { return E_NOTIMPL; }
};

// Every slot of IHTMLElement answering E_NOTIMPL; the engine overrides what it implements.
class HtmlElementDefaults : public IHTMLElement {
 public:
  using ComInterface = IHTMLElement;
  STDMETHODIMP setAttribute(BSTR, VARIANT, LONG) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP getAttribute(BSTR, LONG, VARIANT*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP removeAttribute(BSTR, LONG, VARIANT_BOOL*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_className(BSTR) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_className(BSTR*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_id(BSTR) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_id(BSTR*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_tagName(BSTR*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_parentElement(IHTMLElement**) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_style(IHTMLStyle**) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_onhelp(VARIANT) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_onhelp(VARIANT*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_onclick(VARIANT) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_onclick(VARIANT*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_ondblclick(VARIANT) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_ondblclick(VARIANT*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_onkeydown(VARIANT) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_onkeydown(VARIANT*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_onkeyup(VARIANT) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_onkeyup(VARIANT*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_onkeypress(VARIANT) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_onkeypress(VARIANT*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_onmouseout(VARIANT) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_onmouseout(VARIANT*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_onmouseover(VARIANT) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_onmouseover(VARIANT*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_onmousemove(VARIANT) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_onmousemove(VARIANT*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_onmousedown(VARIANT) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_onmousedown(VARIANT*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_onmouseup(VARIANT) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_onmouseup(VARIANT*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_document(IDispatch**) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_title(BSTR) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_title(BSTR*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_language(BSTR) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_language(BSTR*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_onselectstart(VARIANT) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_onselectstart(VARIANT*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP scrollIntoView(VARIANT) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP contains(IHTMLElement*, VARIANT_BOOL*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_sourceIndex(LONG*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_recordNumber(VARIANT*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_lang(BSTR) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_lang(BSTR*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_offsetLeft(LONG*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_offsetTop(LONG*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_offsetWidth(LONG*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_offsetHeight(LONG*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_offsetParent(IHTMLElement**) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_innerHTML(BSTR) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_innerHTML(BSTR*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_innerText(BSTR) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_innerText(BSTR*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_outerHTML(BSTR) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_outerHTML(BSTR*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_outerText(BSTR) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_outerText(BSTR*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP insertAdjacentHTML(BSTR, BSTR) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP insertAdjacentText(BSTR, BSTR) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_parentTextEdit(IHTMLElement**) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_isTextEdit(VARIANT_BOOL*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP click() noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_filters(IHTMLFiltersCollection**) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_ondragstart(VARIANT) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_ondragstart(VARIANT*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP toString(BSTR*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_onbeforeupdate(VARIANT) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_onbeforeupdate(VARIANT*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_onafterupdate(VARIANT) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_onafterupdate(VARIANT*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_onerrorupdate(VARIANT) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_onerrorupdate(VARIANT*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_onrowexit(VARIANT) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_onrowexit(VARIANT*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_onrowenter(VARIANT) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_onrowenter(VARIANT*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_ondatasetchanged(VARIANT) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_ondatasetchanged(VARIANT*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_ondataavailable(VARIANT) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_ondataavailable(VARIANT*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_ondatasetcomplete(VARIANT) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_ondatasetcomplete(VARIANT*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_onfilterchange(VARIANT) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_onfilterchange(VARIANT*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_children(IDispatch**) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_all(IDispatch**) noexcept override { return E_NOTIMPL; }
};

// Every slot of IHTMLWindow2 answering E_NOTIMPL; the engine overrides what it implements.
class HtmlWindowDefaults : public IHTMLWindow2 {
 public:
  using ComInterface = IHTMLWindow2;
  STDMETHODIMP item(VARIANT*, VARIANT*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_length(LONG*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_frames(IHTMLFramesCollection2**) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_defaultStatus(BSTR) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_defaultStatus(BSTR*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_status(BSTR) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_status(BSTR*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP setTimeout(BSTR, LONG, VARIANT*, LONG*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP clearTimeout(LONG) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP alert(BSTR) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP confirm(BSTR, VARIANT_BOOL*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP prompt(BSTR, BSTR, VARIANT*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_Image(IHTMLImageElementFactory**) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_location(IHTMLLocation**) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_history(IOmHistory**) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP close() noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_opener(VARIANT) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_opener(VARIANT*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_navigator(IOmNavigator**) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_name(BSTR) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_name(BSTR*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_parent(IHTMLWindow2**) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP open(BSTR, BSTR, BSTR, VARIANT_BOOL, IHTMLWindow2**) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_self(IHTMLWindow2**) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_top(IHTMLWindow2**) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_window(IHTMLWindow2**) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP navigate(BSTR) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_onfocus(VARIANT) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_onfocus(VARIANT*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_onblur(VARIANT) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_onblur(VARIANT*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_onload(VARIANT) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_onload(VARIANT*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_onbeforeunload(VARIANT) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_onbeforeunload(VARIANT*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_onunload(VARIANT) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_onunload(VARIANT*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_onhelp(VARIANT) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_onhelp(VARIANT*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_onerror(VARIANT) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_onerror(VARIANT*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_onresize(VARIANT) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_onresize(VARIANT*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_onscroll(VARIANT) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_onscroll(VARIANT*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_document(IHTMLDocument2**) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_event(IHTMLEventObj**) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get__newEnum(IUnknown**) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP showModalDialog(BSTR, VARIANT*, VARIANT*, VARIANT*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP showHelp(BSTR, VARIANT, BSTR) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_screen(IHTMLScreen**) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_Option(IHTMLOptionElementFactory**) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP focus() noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_closed(VARIANT_BOOL*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP blur() noexcept override { return E_NOTIMPL; }
  STDMETHODIMP scroll(LONG, LONG) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_clientInformation(IOmNavigator**) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP setInterval(BSTR, LONG, VARIANT*, LONG*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP clearInterval(LONG) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP put_offscreenBuffering(VARIANT) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_offscreenBuffering(VARIANT*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP execScript(BSTR, BSTR, VARIANT*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP toString(BSTR*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP scrollBy(LONG, LONG) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP scrollTo(LONG, LONG) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP moveTo(LONG, LONG) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP moveBy(LONG, LONG) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP resizeTo(LONG, LONG) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP resizeBy(LONG, LONG) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP get_external(IDispatch**) noexcept override { return E_NOTIMPL; }
};

}  // namespace omb::engine
