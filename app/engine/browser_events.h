// The DWebBrowserEvents2 events the control raises, with the argument shapes
// the platform control uses (arguments in reverse order, by-reference where
// the sink may answer).
#pragma once

#include <string>

#include "app/engine/connection_point.h"

namespace omb::engine {

// NavigateComplete2 (252) and DocumentComplete (259): pDisp, URL (a
// reference to a variant holding the URL string).
void FireNavigateComplete2(CConnectionPoint& point, IDispatch* browser,
                           const std::wstring& url) noexcept;
void FireDocumentComplete(CConnectionPoint& point, IDispatch* browser,
                          const std::wstring& url) noexcept;

// BeforeNavigate2 (250): pDisp, URL, Flags, TargetFrameName, PostData,
// Headers (each a reference to a variant), Cancel. Answers whether a sink
// cancelled the navigation.
bool FireBeforeNavigate2(CConnectionPoint& point, IDispatch* browser, const std::wstring& url,
                         LONG flags) noexcept;

// NewWindow3 (273): ppDisp, Cancel, dwFlags, bstrUrlContext, bstrUrl.
// Answers whether a sink cancelled; target receives a browser a sink
// supplied for the new window.
bool FireNewWindow3(CConnectionPoint& point, const std::wstring& url, const std::wstring& context,
                    ComPtr<IDispatch>& target) noexcept;

// WindowClosing (263): IsChildWindow, Cancel. Answers whether a sink cancelled.
bool FireWindowClosing(CConnectionPoint& point) noexcept;

}  // namespace omb::engine
