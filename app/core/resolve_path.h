// Resolution of paths given by script against the location of the page that
// runs the script. A pure function of the two strings, so the browser window
// answers the core's ResolvePath with the location of its current page.
#pragma once

#include <windows.h>
#include <oleauto.h>

namespace omb {

// URLs and absolute paths are copied unchanged. A relative path is taken
// relative to the page:
//  - a file:/// page: its folder (the location up to the first '?', else the
//    first '#', without "file:///", percent-decoded, '/' turned into '\\',
//    without the page's own name) + '\\' + path;
//  - an http:// or https:// page: the absolute URL that the relative path
//    (backslashes turned into '/') names from the page's URL, or an empty
//    string when none can be formed;
//  - any other page: path unchanged.
// result receives a new string; E_POINTER when result is null.
[[nodiscard]] HRESULT ResolvePathFromLocation(const wchar_t* path, const wchar_t* location,
                                              BSTR* result) noexcept;

}  // namespace omb
