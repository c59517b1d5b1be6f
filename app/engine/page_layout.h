// The engine's only layout: an element whose inline style gives
// position:absolute (or fixed) with left, top, width and height in px has that
// box; nothing else occupies space. An absolute box is placed relative to the
// box of its nearest boxed ancestor, as CSS places it relative to its
// containing block, so nested boxes compound; a fixed box and a box without a
// boxed ancestor are placed relative to the client area. Elements with
// display:none, and everything inside them, are never hit.
#pragma once

#include <windows.h>

#include <optional>
#include <string_view>
#include <vector>

#include "app/engine/html_tree.h"

namespace omb::engine {

struct StyleBox {
  bool fixed = false;  // position:fixed rather than absolute
  LONG left = 0, top = 0, width = 0, height = 0;
};

struct InlineStyle {
  std::optional<StyleBox> box;
  bool hidden = false;  // display:none
};

// Reads the declarations of a style attribute that layout uses.
InlineStyle ParseInlineStyle(std::wstring_view style);

// The box of every node in client coordinates (none for unboxed nodes).
std::vector<std::optional<RECT>> ComputeBoxes(const PageTree& tree);

// The innermost, topmost element whose box contains the point; the body when
// no box does.
int ElementFromPoint(const PageTree& tree, POINT point);

}  // namespace omb::engine
