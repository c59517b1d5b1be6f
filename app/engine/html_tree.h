// The element tree of a page, built from the tokenizer's output the way
// browsers build it where it matters for scripts and hit testing: every page
// has an HTML root with a HEAD and a BODY, elements that belong to the body
// open it implicitly, void elements never hold children, and unmatched end
// tags are ignored. Text is dropped except the title and the scripts.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "app/engine/html_tokenizer.h"

namespace omb::engine {

struct HtmlNode {
  std::wstring tag;  // upper case, as the document object model reports it
  std::vector<HtmlAttribute> attributes;
  int parent = -1;  // index of the parent node; -1 for the root

  // Attribute names compare case-insensitively.
  const std::wstring* FindAttribute(std::wstring_view name) const;
  void SetAttribute(std::wstring_view name, std::wstring_view value);
  bool RemoveAttribute(std::wstring_view name);
};

struct PageScriptBlock {
  int node = -1;      // the SCRIPT element
  std::wstring text;  // inline source (empty for src= scripts)
  unsigned line = 0;  // zero-based line of the inline source in the page
};

struct PageTree {
  std::vector<HtmlNode> nodes;  // document order; nodes[0] is the HTML root
  int head = -1;
  int body = -1;
  std::wstring title;
  std::vector<PageScriptBlock> scripts;  // document order

  // The first element whose id is exactly id; -1 when none.
  int FindById(std::wstring_view id) const;
  // True when ancestor is node or one of its parents.
  bool IsAncestorOrSelf(int ancestor, int node) const;
};

// Builds the tree of a page; always yields the root, a head and a body.
PageTree BuildPageTree(std::wstring_view source);

}  // namespace omb::engine
