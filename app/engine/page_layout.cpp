#include "app/engine/page_layout.h"

#include <cwchar>

namespace omb::engine {
namespace {

std::wstring_view Trim(std::wstring_view s) noexcept {
  const auto isSpace = [](wchar_t c) {
    return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n';
  };
  while (!s.empty() && isSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && isSpace(s.back())) s.remove_suffix(1);
  return s;
}

// A length in px ("12px", "12.5px", "-3px", or a bare "0").
std::optional<LONG> ParsePixels(std::wstring_view value) {
  std::wstring text(value);
  wchar_t* end = nullptr;
  const double number = std::wcstod(text.c_str(), &end);
  if (end == text.c_str()) return std::nullopt;
  const std::wstring unit = AsciiLower(Trim(std::wstring_view(end)));
  if (unit != L"px" && !(unit.empty() && number == 0)) return std::nullopt;
  return static_cast<LONG>(number < 0 ? number - 0.5 : number + 0.5);
}

}  // namespace

InlineStyle ParseInlineStyle(std::wstring_view style) {
  InlineStyle result;
  std::optional<LONG> left, top, width, height;
  bool absolute = false, fixed = false;
  while (!style.empty()) {
    const size_t semicolon = style.find(L';');
    std::wstring_view declaration = style.substr(0, semicolon);
    style =
        semicolon == std::wstring_view::npos ? std::wstring_view() : style.substr(semicolon + 1);
    const size_t colon = declaration.find(L':');
    if (colon == std::wstring_view::npos) continue;
    const std::wstring name = AsciiLower(Trim(declaration.substr(0, colon)));
    std::wstring_view value = Trim(declaration.substr(colon + 1));
    const size_t important = value.find(L'!');
    if (important != std::wstring_view::npos) value = Trim(value.substr(0, important));
    const std::wstring lowerValue = AsciiLower(value);
    if (name == L"position") {
      absolute = lowerValue == L"absolute";
      fixed = lowerValue == L"fixed";
    } else if (name == L"display") {
      result.hidden = lowerValue == L"none";
    } else if (name == L"left") {
      left = ParsePixels(value);
    } else if (name == L"top") {
      top = ParsePixels(value);
    } else if (name == L"width") {
      width = ParsePixels(value);
    } else if (name == L"height") {
      height = ParsePixels(value);
    }
  }
  if ((absolute || fixed) && left && top && width && height && *width >= 0 && *height >= 0)
    result.box = StyleBox{fixed, *left, *top, *width, *height};
  return result;
}

std::vector<std::optional<RECT>> ComputeBoxes(const PageTree& tree) {
  std::vector<std::optional<RECT>> boxes(tree.nodes.size());
  std::vector<bool> hidden(tree.nodes.size(), false);
  std::vector<POINT> origin(tree.nodes.size(), POINT{0, 0});  // containing block origin
  for (size_t i = 0; i < tree.nodes.size(); ++i) {            // parents precede children
    const HtmlNode& node = tree.nodes[i];
    if (node.parent >= 0) {
      hidden[i] = hidden[node.parent];
      origin[i] = boxes[node.parent] ? POINT{boxes[node.parent]->left, boxes[node.parent]->top}
                                     : origin[node.parent];
    }
    const std::wstring* style = node.FindAttribute(L"style");
    if (!style) continue;
    const InlineStyle parsed = ParseInlineStyle(*style);
    hidden[i] = hidden[i] || parsed.hidden;
    if (!parsed.box || hidden[i]) continue;
    const POINT base = parsed.box->fixed ? POINT{0, 0} : origin[i];
    const LONG left = base.x + parsed.box->left, top = base.y + parsed.box->top;
    boxes[i] = RECT{left, top, left + parsed.box->width, top + parsed.box->height};
  }
  return boxes;
}

int ElementFromPoint(const PageTree& tree, POINT point) {
  const std::vector<std::optional<RECT>> boxes = ComputeBoxes(tree);
  int hit = tree.body;
  for (size_t i = 0; i < boxes.size(); ++i) {  // later boxes paint over earlier ones
    if (boxes[i] && PtInRect(&*boxes[i], point)) hit = static_cast<int>(i);
  }
  return hit;
}

}  // namespace omb::engine
