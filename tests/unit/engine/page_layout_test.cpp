#include "app/engine/page_layout.h"

#include <gtest/gtest.h>

namespace omb::engine {
namespace {

std::wstring IdAt(const PageTree& tree, LONG x, LONG y) {
  const int node = ElementFromPoint(tree, POINT{x, y});
  const std::wstring* id = tree.nodes[node].FindAttribute(L"id");
  return id ? *id : tree.nodes[node].tag;
}

TEST(InlineStyle, ReadsAbsoluteBoxInPixels) {
  InlineStyle s =
      ParseInlineStyle(L" POSITION: Absolute ; left:10px;top: 20.4px ;width:100PX; height:0");
  ASSERT_TRUE(s.box);
  EXPECT_FALSE(s.box->fixed);
  EXPECT_EQ(s.box->left, 10);
  EXPECT_EQ(s.box->top, 20);
  EXPECT_EQ(s.box->width, 100);
  EXPECT_EQ(s.box->height, 0);
}

TEST(InlineStyle, NoBoxWithoutAllFourPixelLengthsOrPosition) {
  EXPECT_FALSE(ParseInlineStyle(L"left:1px;top:1px;width:1px;height:1px").box);
  EXPECT_FALSE(ParseInlineStyle(L"position:relative;left:1px;top:1px;width:1px;height:1px").box);
  EXPECT_FALSE(ParseInlineStyle(L"position:absolute;left:1px;top:1px;width:50%;height:1px").box);
  EXPECT_FALSE(ParseInlineStyle(L"position:absolute;left:1px;top:1px;width:1px").box);
  EXPECT_FALSE(ParseInlineStyle(L"position:absolute;left:1em;top:1px;width:1px;height:1px").box);
  EXPECT_TRUE(
      ParseInlineStyle(L"position:absolute !important;left:-5px;top:0;width:1px;height:1px").box);
  EXPECT_TRUE(ParseInlineStyle(L"display : NONE").hidden);
}

TEST(ElementFromPoint, InnermostBoxWinsAndNestedBoxesCompound) {
  PageTree tree = BuildPageTree(
      L"<div id=outer style='position:absolute;left:100px;top:100px;width:200px;height:200px'>"
      L"  <div id=inner style='position:absolute;left:10px;top:10px;width:50px;height:50px'>"
      L"    <span id=text>unboxed</span></div></div>");
  EXPECT_EQ(IdAt(tree, 5, 5), L"BODY");
  EXPECT_EQ(IdAt(tree, 100, 100), L"outer");  // left/top edges are inside
  EXPECT_EQ(IdAt(tree, 115, 115), L"inner");  // 100+10 .. 160
  EXPECT_EQ(IdAt(tree, 159, 159), L"inner");
  EXPECT_EQ(IdAt(tree, 160, 160), L"outer");  // right/bottom edges are outside
  EXPECT_EQ(IdAt(tree, 15, 15), L"BODY");     // the inner box is not at the client origin
  EXPECT_EQ(IdAt(tree, 300, 300), L"BODY");
}

TEST(ElementFromPoint, LaterSiblingPaintsOverAndFixedIgnoresAncestors) {
  PageTree tree = BuildPageTree(
      L"<div id=a style='position:absolute;left:0px;top:0px;width:100px;height:100px'>"
      L"  <div id=f style='position:fixed;left:300px;top:0px;width:10px;height:10px'></div></div>"
      L"<div id=b style='position:absolute;left:50px;top:50px;width:100px;height:100px'></div>");
  EXPECT_EQ(IdAt(tree, 10, 10), L"a");
  EXPECT_EQ(IdAt(tree, 60, 60), L"b");
  EXPECT_EQ(IdAt(tree, 305, 5), L"f");
}

TEST(ElementFromPoint, HiddenSubtreesAreNotHitAndChildOutsideParentIsHit) {
  PageTree tree = BuildPageTree(
      L"<div id=h style='display:none;position:absolute;left:0px;top:0px;width:50px;height:50px'>"
      L"  <div id=hc style='position:absolute;left:0px;top:0px;width:50px;height:50px'></div></div>"
      L"<div id=p style='position:absolute;left:0px;top:100px;width:10px;height:10px'>"
      L"  <div id=c "
      L"style='position:absolute;left:100px;top:0px;width:10px;height:10px'></div></div>");
  EXPECT_EQ(IdAt(tree, 5, 5), L"BODY");
  EXPECT_EQ(IdAt(tree, 105, 105), L"c");
}

TEST(ElementFromPoint, StyleChangesTakeEffect) {
  PageTree tree = BuildPageTree(L"<div id=d></div>");
  EXPECT_EQ(IdAt(tree, 5, 5), L"BODY");
  tree.nodes[tree.FindById(L"d")].SetAttribute(
      L"style", L"position:absolute;left:0px;top:0px;width:10px;height:10px");
  EXPECT_EQ(IdAt(tree, 5, 5), L"d");
}

}  // namespace
}  // namespace omb::engine
