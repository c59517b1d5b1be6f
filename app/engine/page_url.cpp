#include "app/engine/page_url.h"

#include <windows.h>

#include <cwctype>
#include <string>

#include "sdk/com.h"

namespace omb::engine {
namespace {

constexpr DWORD kMaxTextFileBytes = 64u << 20;

bool StartsWithNoCase(std::wstring_view text, std::wstring_view prefix) noexcept {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (towlower(text[i]) != towlower(prefix[i])) return false;
  return true;
}

// True for "scheme:" with a scheme of two or more characters (so a drive
// letter such as "C:" is not a scheme).
bool HasScheme(std::wstring_view text) noexcept {
  const size_t colon = text.find(L':');
  if (colon == std::wstring_view::npos || colon < 2) return false;
  for (size_t i = 0; i < colon; ++i) {
    const wchar_t c = text[i];
    const bool letter = (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z');
    const bool other = (c >= L'0' && c <= L'9') || c == L'+' || c == L'-' || c == L'.';
    if (!letter && !(other && i > 0)) return false;
  }
  return true;
}

bool IsAbsolutePath(std::wstring_view text) noexcept {
  if (text.size() >= 3 && text[1] == L':' && (text[2] == L'\\' || text[2] == L'/')) return true;
  return text.size() >= 2 && (text[0] == L'\\' || text[0] == L'/') &&
         (text[1] == L'\\' || text[1] == L'/');
}

bool NeedsEscape(unsigned char byte) noexcept {
  if (byte <= 0x20 || byte >= 0x7F) return true;
  switch (byte) {
    case '"':
    case '#':
    case '%':
    case '<':
    case '>':
    case '?':
    case '`':
    case '{':
    case '}':
      return true;
    default:
      return false;
  }
}

std::string ToUtf8(std::wstring_view text) {
  if (text.empty()) return {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(size > 0 ? size : 0), '\0');
  if (size > 0)
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size,
                        nullptr, nullptr);
  return out;
}

std::wstring FromUtf8(std::string_view bytes) {
  if (bytes.empty()) return {};
  const int size =
      MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(size > 0 ? size : 0), L'\0');
  if (size > 0)
    MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), out.data(), size);
  return out;
}

std::wstring EscapeUrlText(std::wstring_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::wstring out;
  for (const unsigned char byte : ToUtf8(text)) {
    if (NeedsEscape(byte)) {
      out += L'%';
      out += static_cast<wchar_t>(kHex[byte >> 4]);
      out += static_cast<wchar_t>(kHex[byte & 15]);
    } else {
      out += static_cast<wchar_t>(byte);
    }
  }
  return out;
}

// Splits "x?q#f" into "x" and "?q#f".
size_t SuffixStart(std::wstring_view text) noexcept {
  const size_t at = text.find_first_of(L"?#");
  return at == std::wstring_view::npos ? text.size() : at;
}

// Escapes what must not appear raw in a URL's query or fragment, keeping
// the '?' and '#' that delimit them.
std::wstring EscapeSuffix(std::wstring_view suffix) {
  std::wstring out;
  for (const wchar_t c : suffix) {
    if (c == L'?' || c == L'#' || c == L'%')
      out += c;
    else
      out += EscapeUrlText(std::wstring_view(&c, 1));
  }
  return out;
}

std::wstring FullPath(const std::wstring& path) {
  const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (size == 0) return path;
  std::wstring out(size, L'\0');
  const DWORD written = GetFullPathNameW(path.c_str(), size, out.data(), nullptr);
  if (written == 0 || written >= size) return path;
  out.resize(written);
  return out;
}

bool FileExists(const std::wstring& path) noexcept {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

PageLocation LocationFromPath(const std::wstring& path, std::wstring_view suffix) {
  const std::wstring full = FullPath(path);
  return PageLocation{FileUrlFromPath(full) + EscapeSuffix(suffix), full};
}

std::wstring FolderOf(const std::wstring& path) {
  const size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

}  // namespace

std::wstring FileUrlFromPath(std::wstring_view path) {
  std::wstring slashed(path);
  for (wchar_t& c : slashed)
    if (c == L'\\') c = L'/';
  if (slashed.size() >= 2 && slashed[0] == L'/' && slashed[1] == L'/')
    return L"file://" + EscapeUrlText(std::wstring_view(slashed).substr(2));
  return L"file:///" + EscapeUrlText(slashed);
}

std::wstring PercentDecode(std::wstring_view text) {
  std::string bytes;
  const auto hex = [](wchar_t c) -> int {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    return -1;
  };
  std::wstring out;
  for (size_t i = 0; i < text.size();) {
    if (text[i] == L'%' && i + 2 < text.size() && hex(text[i + 1]) >= 0 && hex(text[i + 2]) >= 0) {
      bytes += static_cast<char>(hex(text[i + 1]) * 16 + hex(text[i + 2]));
      i += 3;
      continue;
    }
    out += FromUtf8(bytes);
    bytes.clear();
    out += text[i++];
  }
  return out + FromUtf8(bytes);
}

bool PathFromFileUrl(std::wstring_view url, std::wstring* path) {
  if (!StartsWithNoCase(url, L"file:")) return false;
  std::wstring_view rest = url.substr(5);
  rest = rest.substr(0, SuffixStart(rest));
  std::wstring result;
  if (rest.substr(0, 3) == L"///") {
    result = PercentDecode(rest.substr(3));
  } else if (rest.substr(0, 2) == L"//") {
    std::wstring_view authority = rest.substr(2);
    const size_t slash = authority.find(L'/');
    const std::wstring_view host = authority.substr(0, slash);
    const std::wstring_view tail =
        slash == std::wstring_view::npos ? std::wstring_view() : authority.substr(slash + 1);
    if (host.empty() || StartsWithNoCase(host, L"localhost"))
      result = PercentDecode(tail);
    else if (host.size() == 2 && host[1] == L':')
      result = PercentDecode(authority);
    else
      result = L"//" + PercentDecode(authority);
  } else {
    result = PercentDecode(rest);
  }
  if (result.size() >= 2 && result[1] == L'|') result[1] = L':';
  for (wchar_t& c : result)
    if (c == L'/') c = L'\\';
  *path = std::move(result);
  return true;
}

PageLocation ResolvePageLocation(std::wstring_view target) {
  if (StartsWithNoCase(target, L"file:")) {
    std::wstring path;
    PathFromFileUrl(target, &path);
    return LocationFromPath(path, target.substr(SuffixStart(target)));
  }
  if (HasScheme(target)) return PageLocation{std::wstring(target), {}};
  const std::wstring whole(target);
  if (FileExists(whole) || target.find_first_of(L"?#") == std::wstring_view::npos)
    return LocationFromPath(whole, {});
  const size_t split = SuffixStart(target);
  return LocationFromPath(std::wstring(target.substr(0, split)), target.substr(split));
}

PageLocation ResolveReference(const PageLocation& page, std::wstring_view reference) {
  if (HasScheme(reference) || IsAbsolutePath(reference)) return ResolvePageLocation(reference);
  if (page.path.empty()) return PageLocation{std::wstring(reference), {}};
  const size_t split = SuffixStart(reference);
  std::wstring relative = PercentDecode(reference.substr(0, split));
  for (wchar_t& c : relative)
    if (c == L'/') c = L'\\';
  std::wstring base;
  if (!relative.empty() && relative[0] == L'\\') {
    base = page.path.substr(0, 2);  // the drive of the page
  } else {
    base = FolderOf(page.path);
  }
  if (relative.empty()) return LocationFromPath(page.path, reference.substr(split));
  return LocationFromPath(base + relative, reference.substr(split));
}

bool ReadTextFile(const std::wstring& path, std::wstring* text) {
  unique_file file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size) || size.QuadPart > kMaxTextFileBytes) return false;
  std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
  DWORD read = 0;
  if (!bytes.empty() &&
      !ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr))
    return false;
  bytes.resize(read);
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
      static_cast<unsigned char>(bytes[1]) == 0xFE) {
    text->assign(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2);
    return true;
  }
  std::string_view utf8(bytes);
  if (utf8.substr(0, 3) == "\xEF\xBB\xBF") utf8.remove_prefix(3);
  *text = FromUtf8(utf8);
  return true;
}

}  // namespace omb::engine
