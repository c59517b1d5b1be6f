// Platform headers of the page engine, the base-interface relations that let
// omb::ComObject answer every interface an engine object derives from, and
// the identifiers the MinGW headers lack.
#pragma once

// clang-format off
#include <windows.h>
#include <ole2.h>
#include <olectl.h>
#include <exdisp.h>
#include <exdispid.h>
#include <mshtml.h>
#include <mshtmdid.h>
#include <mshtmhst.h>
#include <activscp.h>
// clang-format on

#include "sdk/com.h"

namespace omb {

template <>
struct InterfaceBase<IWebBrowser2> {
  using type = IWebBrowserApp;
};
template <>
struct InterfaceBase<IWebBrowserApp> {
  using type = IWebBrowser;
};
template <>
struct InterfaceBase<IWebBrowser> {
  using type = IDispatch;
};
template <>
struct InterfaceBase<IHTMLDocument2> {
  using type = IHTMLDocument;
};
template <>
struct InterfaceBase<IHTMLDocument> {
  using type = IDispatch;
};
template <>
struct InterfaceBase<IHTMLDocument3> {
  using type = IDispatch;
};
template <>
struct InterfaceBase<IHTMLElement> {
  using type = IDispatch;
};
template <>
struct InterfaceBase<IHTMLWindow2> {
  using type = IHTMLFramesCollection2;
};
template <>
struct InterfaceBase<IHTMLFramesCollection2> {
  using type = IDispatch;
};
template <>
struct InterfaceBase<IPersistStreamInit> {
  using type = IPersist;
};

}  // namespace omb

namespace omb::engine {

// The platform's JScript engine.
inline constexpr CLSID kClsidJScript = {
    0xf414c260, 0x6ac0, 0x11cf, {0xb6, 0xd1, 0x00, 0xaa, 0x00, 0xbb, 0xbb, 0x58}};
// The class identifier the engine reports for itself (GetClassID,
// GetUserClassID); it is never registered.
inline constexpr CLSID kClsidPageEngine = {
    0x6d3c9a51, 0x4e2b, 0x4f0e, {0x9c, 0x1d, 0x2a, 0x7e, 0x51, 0x08, 0xb3, 0x64}};
// The command group of the document's own commands, passed with keys to the
// site's TranslateAccelerator. mshtmhst.h of MinGW does not declare it.
inline constexpr GUID kCgidMshtml = {
    0xde4ba900, 0x59ca, 0x11cf, {0x95, 0x92, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};

// Drag-start of HTMLElementEvents2 (STDDISPID_XOBJ_ONDRAGSTART).
inline constexpr DISPID kDispidDragStart = static_cast<DISPID>(0x8001000B);

}  // namespace omb::engine
