#include "app/engine/html_tree.h"

#include <algorithm>
#include <array>

namespace omb::engine {
namespace {

constexpr std::array<std::wstring_view, 16> kVoidElements = {
    L"area", L"base", L"br",    L"col",    L"embed", L"hr",  L"img",    L"input",
    L"link", L"meta", L"param", L"source", L"track", L"wbr", L"keygen", L"basefont"};
constexpr std::array<std::wstring_view, 9> kHeadElements = {L"title",    L"meta",     L"link",
                                                            L"style",    L"script",   L"base",
                                                            L"noscript", L"template", L"basefont"};

template <size_t N>
bool Contains(const std::array<std::wstring_view, N>& list, std::wstring_view name) noexcept {
  return std::find(list.begin(), list.end(), name) != list.end();
}

std::wstring AsciiUpper(std::wstring_view text) {
  std::wstring out(text);
  for (wchar_t& c : out)
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
  return out;
}

class TreeBuilder {
 public:
  TreeBuilder() {
    tree_.nodes.push_back(HtmlNode{L"HTML", {}, -1});
    open_.push_back(0);
  }

  void Add(HtmlToken& token) {
    switch (token.kind) {
      case HtmlTokenKind::kStartTag:
        StartTag(token);
        break;
      case HtmlTokenKind::kEndTag:
        EndTag(token.name);
        break;
      case HtmlTokenKind::kText:
        Text(token);
        break;
      case HtmlTokenKind::kComment:
        break;
    }
    if (token.kind != HtmlTokenKind::kStartTag) rawTextOwner_ = -1;
  }

  PageTree Finish() {
    if (tree_.head < 0) tree_.head = AddNode(L"head", {}, 0);
    if (tree_.body < 0) tree_.body = AddNode(L"body", {}, 0);
    return std::move(tree_);
  }

 private:
  int Current() const noexcept { return open_.back(); }

  int AddNode(std::wstring_view name, std::vector<HtmlAttribute> attributes, int parent) {
    tree_.nodes.push_back(HtmlNode{AsciiUpper(name), std::move(attributes), parent});
    return static_cast<int>(tree_.nodes.size() - 1);
  }

  static void MergeAttributes(HtmlNode& node, const std::vector<HtmlAttribute>& attributes) {
    for (const auto& a : attributes)
      if (!node.FindAttribute(a.name)) node.attributes.push_back(a);
  }

  void OpenHead() {
    if (tree_.head < 0) tree_.head = AddNode(L"head", {}, 0);
    open_.assign({0, tree_.head});
  }

  void OpenBody(std::vector<HtmlAttribute> attributes) {
    if (tree_.body >= 0) {
      MergeAttributes(tree_.nodes[tree_.body], attributes);
      return;
    }
    if (tree_.head < 0) tree_.head = AddNode(L"head", {}, 0);
    tree_.body = AddNode(L"body", std::move(attributes), 0);
    open_.assign({0, tree_.body});
  }

  // Chooses the parent for a new element outside any explicit body content.
  void PlaceTopLevel(std::wstring_view name) {
    const bool inHeadOrRoot = Current() == 0 || Current() == tree_.head;
    if (!inHeadOrRoot) return;
    if (tree_.body < 0 && Contains(kHeadElements, name)) {
      if (Current() == 0) OpenHead();
      return;
    }
    if (tree_.body < 0)
      OpenBody({});
    else
      open_.assign({0, tree_.body});
  }

  void StartTag(HtmlToken& token) {
    const std::wstring& name = token.name;
    if (name == L"html") {
      MergeAttributes(tree_.nodes[0], token.attributes);
      return;
    }
    if (name == L"head") {
      if (tree_.head < 0 && tree_.body < 0) OpenHead();
      return;
    }
    if (name == L"body") {
      OpenBody(std::move(token.attributes));
      return;
    }
    PlaceTopLevel(name);
    if (name == L"p" && tree_.nodes[Current()].tag == L"P") open_.pop_back();
    const int node = AddNode(name, std::move(token.attributes), Current());
    if (!Contains(kVoidElements, name)) open_.push_back(node);
    if (name == L"script") tree_.scripts.push_back(PageScriptBlock{node, {}, token.line});
    rawTextOwner_ = (name == L"script" || name == L"title") ? node : -1;
  }

  void EndTag(const std::wstring& name) {
    if (name == L"html" || name == L"body") return;  // the body stays open for later content
    if (name == L"head") {
      if (Current() == tree_.head) open_.pop_back();
      return;
    }
    const std::wstring tag = AsciiUpper(name);
    for (size_t i = open_.size(); i-- > 1;) {
      if (tree_.nodes[open_[i]].tag == tag) {
        open_.resize(i);
        return;
      }
    }
  }

  void Text(const HtmlToken& token) {
    if (rawTextOwner_ < 0) return;
    if (tree_.nodes[rawTextOwner_].tag == L"SCRIPT") {
      tree_.scripts.back().text = token.text;
      tree_.scripts.back().line = token.line;
    } else if (tree_.title.empty()) {
      tree_.title = token.text;
    }
  }

  PageTree tree_;
  std::vector<int> open_;  // stack of open elements; [0] is the root
  int rawTextOwner_ = -1;  // element whose raw text the next text token is
};

}  // namespace

const std::wstring* HtmlNode::FindAttribute(std::wstring_view name) const {
  const std::wstring lower = AsciiLower(name);
  for (const auto& a : attributes)
    if (a.name == lower) return &a.value;
  return nullptr;
}

void HtmlNode::SetAttribute(std::wstring_view name, std::wstring_view value) {
  const std::wstring lower = AsciiLower(name);
  for (auto& a : attributes) {
    if (a.name == lower) {
      a.value = value;
      return;
    }
  }
  attributes.push_back(HtmlAttribute{lower, std::wstring(value)});
}

bool HtmlNode::RemoveAttribute(std::wstring_view name) {
  const std::wstring lower = AsciiLower(name);
  for (auto it = attributes.begin(); it != attributes.end(); ++it) {
    if (it->name == lower) {
      attributes.erase(it);
      return true;
    }
  }
  return false;
}

int PageTree::FindById(std::wstring_view id) const {
  for (size_t i = 0; i < nodes.size(); ++i) {
    const std::wstring* value = nodes[i].FindAttribute(L"id");
    if (value && *value == id) return static_cast<int>(i);
  }
  return -1;
}

bool PageTree::IsAncestorOrSelf(int ancestor, int node) const {
  for (; node >= 0; node = nodes[node].parent)
    if (node == ancestor) return true;
  return false;
}

PageTree BuildPageTree(std::wstring_view source) {
  TreeBuilder builder;
  HtmlTokenizer tokenizer(source);
  HtmlToken token;
  while (tokenizer.Next(&token)) builder.Add(token);
  return builder.Finish();
}

}  // namespace omb::engine
