#include "app/engine/html_tree.h"

#include <gtest/gtest.h>

namespace omb::engine {
namespace {

std::wstring ParentTag(const PageTree& tree, int node) {
  const int parent = tree.nodes[node].parent;
  return parent < 0 ? L"" : tree.nodes[parent].tag;
}

TEST(PageTree, ImplicitHtmlHeadAndBody) {
  PageTree tree = BuildPageTree(L"<title>T</title><div id=a><span id=b></span></div>");
  EXPECT_EQ(tree.nodes[0].tag, L"HTML");
  EXPECT_EQ(tree.nodes[0].parent, -1);
  ASSERT_GE(tree.body, 0);
  EXPECT_EQ(tree.nodes[tree.body].tag, L"BODY");
  EXPECT_EQ(tree.nodes[tree.body].parent, 0);
  EXPECT_EQ(ParentTag(tree, tree.FindById(L"a")), L"BODY");
  EXPECT_EQ(ParentTag(tree, tree.FindById(L"b")), L"DIV");
  EXPECT_EQ(tree.title, L"T");
  EXPECT_EQ(ParentTag(tree, tree.FindById(L"a")), L"BODY");
}

TEST(PageTree, ExplicitStructureKeepsAttributes) {
  PageTree tree = BuildPageTree(
      L"<!DOCTYPE html><html lang=en><head><meta charset=utf-8></head>"
      L"<body class=main><p id=p1>x</p></body></html><p id=late>");
  EXPECT_EQ(*tree.nodes[0].FindAttribute(L"LANG"), L"en");
  EXPECT_EQ(*tree.nodes[tree.body].FindAttribute(L"class"), L"main");
  EXPECT_EQ(ParentTag(tree, tree.FindById(L"p1")), L"BODY");
  EXPECT_EQ(ParentTag(tree, tree.FindById(L"late")), L"BODY");  // content after </body> stays in it
}

TEST(PageTree, VoidElementsHoldNoChildren) {
  PageTree tree = BuildPageTree(L"<div id=d><input id=i><img id=m src=x><span id=s></span></div>");
  EXPECT_EQ(tree.nodes[tree.FindById(L"i")].tag, L"INPUT");
  EXPECT_EQ(ParentTag(tree, tree.FindById(L"m")), L"DIV");
  EXPECT_EQ(ParentTag(tree, tree.FindById(L"s")), L"DIV");
}

TEST(PageTree, UnmatchedEndTagsAreIgnoredAndMismatchesCloseInner) {
  PageTree tree =
      BuildPageTree(L"<div id=a></span><b id=b><i id=c></b><u id=d></u></div><em id=e></em>");
  EXPECT_EQ(ParentTag(tree, tree.FindById(L"b")), L"DIV");
  EXPECT_EQ(ParentTag(tree, tree.FindById(L"c")), L"B");
  EXPECT_EQ(ParentTag(tree, tree.FindById(L"d")), L"DIV");  // </b> closed <i> too
  EXPECT_EQ(ParentTag(tree, tree.FindById(L"e")), L"BODY");
}

TEST(PageTree, ScriptsInDocumentOrderWithLines) {
  PageTree tree = BuildPageTree(
      L"<html><head><script src=\"a.js\"></script>\n<script>\nvar x = 1;</script></head>\n"
      L"<body><div><script>y()</script></div></body>");
  ASSERT_EQ(tree.scripts.size(), 3u);
  EXPECT_EQ(*tree.nodes[tree.scripts[0].node].FindAttribute(L"src"), L"a.js");
  EXPECT_EQ(tree.scripts[0].text, L"");
  EXPECT_EQ(tree.scripts[1].text, L"\nvar x = 1;");
  EXPECT_EQ(tree.scripts[1].line, 1u);
  EXPECT_EQ(ParentTag(tree, tree.scripts[1].node), L"HEAD");
  EXPECT_EQ(tree.scripts[2].text, L"y()");
  EXPECT_EQ(ParentTag(tree, tree.scripts[2].node), L"DIV");
}

TEST(PageTree, AttributeQueriesIgnoreCase) {
  PageTree tree = BuildPageTree(L"<div ID=x dragWindow=\"true\"></div>");
  HtmlNode& node = tree.nodes[tree.FindById(L"x")];
  ASSERT_NE(node.FindAttribute(L"DRAGWINDOW"), nullptr);
  EXPECT_EQ(*node.FindAttribute(L"dragwindow"), L"true");
  node.SetAttribute(L"DragWindow", L"false");
  EXPECT_EQ(*node.FindAttribute(L"dragWindow"), L"false");
  EXPECT_EQ(node.attributes.size(), 2u);
  EXPECT_TRUE(node.RemoveAttribute(L"DRAGwindow"));
  EXPECT_EQ(node.FindAttribute(L"dragwindow"), nullptr);
  EXPECT_EQ(tree.FindById(L"X"), -1);  // ids compare exactly
}

TEST(PageTree, EmptySourceStillHasBody) {
  PageTree tree = BuildPageTree(L"");
  EXPECT_GE(tree.head, 0);
  EXPECT_GE(tree.body, 0);
  EXPECT_TRUE(tree.IsAncestorOrSelf(0, tree.body));
  EXPECT_FALSE(tree.IsAncestorOrSelf(tree.body, 0));
}

}  // namespace
}  // namespace omb::engine
