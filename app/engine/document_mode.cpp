#include "app/engine/document_mode.h"

#include <cwchar>
#include <cwctype>
#include <string>

namespace omb::engine {
namespace {

bool EqualsNoCase(std::wstring_view a, std::wstring_view b) noexcept {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::towlower(a[i]) != std::towlower(b[i])) return false;
  return true;
}

bool StartsWithNoCase(std::wstring_view text, std::wstring_view prefix) noexcept {
  return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

std::wstring_view Trimmed(std::wstring_view text) noexcept {
  const size_t first = text.find_first_not_of(L" \t\r\n");
  if (first == std::wstring_view::npos) return {};
  return text.substr(first, text.find_last_not_of(L" \t\r\n") - first + 1);
}

// "7", "8", ... as a mode; 0 for anything else.
int ModeNumber(std::wstring_view digits) noexcept {
  if (digits.empty() || digits.size() > 2) return 0;
  int mode = 0;
  for (wchar_t c : digits) {
    if (c < L'0' || c > L'9') return 0;
    mode = mode * 10 + (c - L'0');
  }
  return mode >= 5 && mode <= kNewestDocumentMode ? mode : 0;
}

// One request: "IE=edge", "IE=9", "IE=EmulateIE9".
int ModeOfRequest(std::wstring_view request) noexcept {
  request = Trimmed(request);
  if (!StartsWithNoCase(request, L"IE=")) return 0;
  const std::wstring_view value = Trimmed(request.substr(3));
  if (EqualsNoCase(value, L"edge")) return kNewestDocumentMode;
  if (StartsWithNoCase(value, L"EmulateIE")) return ModeNumber(value.substr(9));
  return ModeNumber(value);
}

bool IsTag(const HtmlNode& node, std::wstring_view tag) noexcept { return EqualsNoCase(node.tag, tag); }

}  // namespace

int RequestedDocumentMode(std::wstring_view content) {
  int best = 0;
  size_t start = 0;
  while (start <= content.size()) {
    size_t end = content.find_first_of(L";,", start);
    if (end == std::wstring_view::npos) end = content.size();
    const int mode = ModeOfRequest(content.substr(start, end - start));
    if (mode > best) best = mode;
    start = end + 1;
  }
  return best;
}

int DocumentMode(const PageTree& tree) {
  for (size_t i = 1; i < tree.nodes.size(); ++i) {
    const HtmlNode& node = tree.nodes[i];
    if (IsTag(node, L"head") || IsTag(node, L"title")) continue;
    if (!IsTag(node, L"meta")) break;  // too late for the element to count
    const std::wstring* equiv = node.FindAttribute(L"http-equiv");
    if (!equiv || !EqualsNoCase(Trimmed(*equiv), L"X-UA-Compatible")) continue;
    const std::wstring* content = node.FindAttribute(L"content");
    const int mode = content ? RequestedDocumentMode(*content) : 0;
    return mode ? mode : kDefaultDocumentMode;
  }
  return kDefaultDocumentMode;
}

ScriptDialect DialectOfMode(int mode) noexcept {
  if (mode >= 9) return ScriptDialect::kEs5;
  if (mode == 8) return ScriptDialect::kJScript58;
  return ScriptDialect::kJScript57;
}

}  // namespace omb::engine
