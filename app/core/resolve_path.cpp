#include "app/core/resolve_path.h"

#include <shlwapi.h>

#include <algorithm>
#include <new>
#include <string>
#include <string_view>
#include <vector>

namespace omb {
namespace {

bool StartsWithNoCase(std::wstring_view text, std::wstring_view prefix) noexcept {
  return text.size() >= prefix.size() &&
         ::CompareStringOrdinal(text.data(), static_cast<int>(prefix.size()), prefix.data(),
                                static_cast<int>(prefix.size()), TRUE) == CSTR_EQUAL;
}

int HexValue(wchar_t c) noexcept {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  if (c >= L'A' && c <= L'F') return c - L'A' + 10;
  return -1;
}

// Appends a run of escaped bytes: as UTF-8 when they form valid UTF-8 (how
// URLs carry non-ASCII names), otherwise one character per byte.
void AppendEscapedBytes(const std::string& bytes, std::wstring& out) {
  if (bytes.empty()) return;
  const int length = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(),
                                           static_cast<int>(bytes.size()), nullptr, 0);
  if (length > 0) {
    const size_t at = out.size();
    out.resize(at + static_cast<size_t>(length));
    ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()),
                          out.data() + at, length);
    return;
  }
  for (char byte : bytes) out.push_back(static_cast<wchar_t>(static_cast<unsigned char>(byte)));
}

// Decodes %XX escapes. "%00" stays as it is: a terminator inside the path
// would silently shorten it.
std::wstring PercentDecode(std::wstring_view text) {
  std::wstring out;
  out.reserve(text.size());
  std::string bytes;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == L'%' && i + 2 < text.size()) {
      const int high = HexValue(text[i + 1]);
      const int low = HexValue(text[i + 2]);
      if (high >= 0 && low >= 0 && (high | low) != 0) {
        bytes.push_back(static_cast<char>(high * 16 + low));
        i += 2;
        continue;
      }
    }
    AppendEscapedBytes(bytes, out);
    bytes.clear();
    out.push_back(text[i]);
  }
  AppendEscapedBytes(bytes, out);
  return out;
}

// The folder of a page's file path, with a trailing backslash: the path with
// "..\" appended and then simplified, so "." and ".." in the location count
// and a page at a drive root gives the root.
std::wstring FolderOfPage(std::wstring_view page) {
  std::vector<std::wstring_view> parts;
  size_t start = 0;
  while (start <= page.size()) {
    size_t end = page.find(L'\\', start);
    if (end == std::wstring_view::npos) end = page.size();
    const std::wstring_view part = page.substr(start, end - start);
    if (part == L"..") {
      if (parts.size() > 1) parts.pop_back();
    } else if (!part.empty() && part != L".") {
      parts.push_back(part);
    }
    start = end + 1;
  }
  if (parts.size() > 1) parts.pop_back();  // the page's own name
  std::wstring folder;
  for (const std::wstring_view part : parts) {
    folder.append(part);
    folder.push_back(L'\\');
  }
  if (folder.empty()) folder.push_back(L'\\');
  return folder;
}

std::wstring ResolveOnFilePage(std::wstring_view location, std::wstring_view path) {
  size_t cut = location.find(L'?');
  if (cut == std::wstring_view::npos) cut = location.find(L'#');
  // Cut before decoding: an escaped '?' or '#' ("%23") belongs to a name.
  location = location.substr(0, cut);
  location.remove_prefix(std::wstring_view(L"file:///").size());
  std::wstring page = PercentDecode(location);
  std::replace(page.begin(), page.end(), L'/', L'\\');
  return FolderOfPage(page).append(path);
}

// A relative path on a web page names a URL relative to the page's URL; the
// answer is that absolute URL, or empty when the two do not combine.
std::wstring ResolveOnWebPage(const wchar_t* location, std::wstring_view path) {
  std::wstring relative(path);
  std::replace(relative.begin(), relative.end(), L'\\', L'/');
  DWORD size = static_cast<DWORD>((wcslen(location) + relative.size()) * 3 + 16);
  for (int attempt = 0; attempt < 2; ++attempt) {
    std::wstring combined(size, L'\0');
    DWORD length = size;
    const HRESULT hr = ::UrlCombineW(location, relative.c_str(), combined.data(), &length, 0);
    if (SUCCEEDED(hr) && length < size) {
      combined.resize(length);
      return ::PathIsURLW(combined.c_str()) ? combined : std::wstring();
    }
    if (hr != E_POINTER || length <= size) break;
    size = length + 1;
  }
  return std::wstring();
}

HRESULT ToBstr(std::wstring_view text, BSTR* result) noexcept {
  *result = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  return *result ? S_OK : E_OUTOFMEMORY;
}

}  // namespace

HRESULT ResolvePathFromLocation(const wchar_t* path, const wchar_t* location, BSTR* result) noexcept {
  if (!result) return E_POINTER;
  *result = nullptr;
  if (!path) path = L"";
  if (!location) location = L"";
  if (::PathIsURLW(path) || ::PathIsRelativeW(path) != TRUE) return ToBstr(path, result);
  try {
    if (StartsWithNoCase(location, L"file:///"))
      return ToBstr(ResolveOnFilePage(location, path), result);
    if (StartsWithNoCase(location, L"http://") || StartsWithNoCase(location, L"https://"))
      return ToBstr(ResolveOnWebPage(location, path), result);
    return ToBstr(path, result);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace omb
