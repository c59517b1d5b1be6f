// Page locations: turning the paths and file: URLs given to Navigate into the
// file to load and the URL the control reports, resolving script sources and
// links relative to the page, and reading page files as text.
#pragma once

#include <string>
#include <string_view>

namespace omb::engine {

struct PageLocation {
  std::wstring url;   // what get_LocationURL reports
  std::wstring path;  // local file to load; empty for other URLs
};

// "C:\a b\x.html" -> "file:///C:/a%20b/x.html": forward slashes, spaces,
// reserved characters and non-ASCII characters (as UTF-8) percent-encoded.
std::wstring FileUrlFromPath(std::wstring_view path);

// "file:///C:/a%20b/x.html?q#f" -> "C:\a b\x.html"; false for other schemes.
bool PathFromFileUrl(std::wstring_view url, std::wstring* path);

// Decodes %XX escapes as UTF-8 bytes; malformed escapes stay as they are.
std::wstring PercentDecode(std::wstring_view text);

// Resolves what Navigate was given: a path (full or relative to the current
// directory, possibly with a #fragment) or a URL.
PageLocation ResolvePageLocation(std::wstring_view target);

// Resolves a reference found in a page (script src, window.open, location)
// against the page's location. Absolute URLs and paths are kept.
PageLocation ResolveReference(const PageLocation& page, std::wstring_view reference);

// Reads a text file: UTF-8 (with or without signature) or UTF-16 with a
// little-endian signature. False when it cannot be read.
bool ReadTextFile(const std::wstring& path, std::wstring* text);

}  // namespace omb::engine
