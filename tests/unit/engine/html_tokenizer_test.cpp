#include "app/engine/html_tokenizer.h"

#include <gtest/gtest.h>

#include <vector>

namespace omb::engine {
namespace {

std::vector<HtmlToken> Tokenize(std::wstring_view source) {
  std::vector<HtmlToken> tokens;
  HtmlTokenizer tokenizer(source);
  HtmlToken token;
  while (tokenizer.Next(&token)) tokens.push_back(token);
  return tokens;
}

std::vector<HtmlToken> Tags(std::wstring_view source) {
  std::vector<HtmlToken> tags;
  for (auto& t : Tokenize(source))
    if (t.kind == HtmlTokenKind::kStartTag || t.kind == HtmlTokenKind::kEndTag) tags.push_back(t);
  return tags;
}

TEST(HtmlTokenizer, AttributesQuotedUnquotedAndBoolean) {
  auto tags = Tags(LR"(<INPUT Type="text" value='a b' size=10 disabled data-x = "y">)");
  ASSERT_EQ(tags.size(), 1u);
  EXPECT_EQ(tags[0].name, L"input");
  ASSERT_EQ(tags[0].attributes.size(), 5u);
  EXPECT_EQ(tags[0].attributes[0].name, L"type");
  EXPECT_EQ(tags[0].attributes[0].value, L"text");
  EXPECT_EQ(tags[0].attributes[1].value, L"a b");
  EXPECT_EQ(tags[0].attributes[2].value, L"10");
  EXPECT_EQ(tags[0].attributes[3].name, L"disabled");
  EXPECT_EQ(tags[0].attributes[3].value, L"");
  EXPECT_EQ(tags[0].attributes[4].name, L"data-x");
  EXPECT_EQ(tags[0].attributes[4].value, L"y");
}

TEST(HtmlTokenizer, RepeatedAttributeKeepsFirstAndQuotesMayHoldMarkup) {
  auto tags = Tags(LR"(<a id=one ID="two" title="x > y" href=b.html/>)");
  ASSERT_EQ(tags.size(), 1u);
  ASSERT_EQ(tags[0].attributes.size(), 3u);
  EXPECT_EQ(tags[0].attributes[0].value, L"one");
  EXPECT_EQ(tags[0].attributes[1].value, L"x > y");
  EXPECT_EQ(tags[0].attributes[2].value, L"b.html/");  // unquoted values keep the slash
  EXPECT_FALSE(tags[0].selfClosing);
}

TEST(HtmlTokenizer, SelfClosingSlashIsReported) {
  auto tags = Tags(L"<br/><img src=x />");
  ASSERT_EQ(tags.size(), 2u);
  EXPECT_TRUE(tags[0].selfClosing);
  EXPECT_TRUE(tags[1].selfClosing);
  EXPECT_EQ(tags[1].attributes[0].value, L"x");
}

TEST(HtmlTokenizer, CharacterReferencesInAttributes) {
  auto tags =
      Tags(LR"(<p title="&lt;b&gt; &amp; &quot;q&quot; &#65;&#x42;&#x1F600; &bogus; & x">)");
  ASSERT_EQ(tags.size(), 1u);
  EXPECT_EQ(tags[0].attributes[0].value, L"<b> & \"q\" AB\U0001F600 &bogus; & x");
}

TEST(HtmlTokenizer, ScriptIsRawTextUntilItsEndTag) {
  auto tokens = Tokenize(L"<script>if (a < b && c > d) x = '</div><!--';</SCRIPT >after");
  ASSERT_EQ(tokens.size(), 4u);
  EXPECT_EQ(tokens[1].kind, HtmlTokenKind::kText);
  EXPECT_EQ(tokens[1].text, L"if (a < b && c > d) x = '</div><!--';");
  EXPECT_EQ(tokens[2].kind, HtmlTokenKind::kEndTag);
  EXPECT_EQ(tokens[2].name, L"script");
  EXPECT_EQ(tokens[3].text, L"after");
}

TEST(HtmlTokenizer, ScriptEndNeedsADelimiterAndRawTextIsNotDecoded) {
  auto tokens = Tokenize(L"<script>var s = '</scripts>&amp;';</script>");
  ASSERT_EQ(tokens.size(), 3u);
  EXPECT_EQ(tokens[1].text, L"var s = '</scripts>&amp;';");
}

TEST(HtmlTokenizer, StyleContentIsSkippedAsRawText) {
  auto tags = Tags(L"<style>div > p { color: red } <b></style><b>");
  ASSERT_EQ(tags.size(), 3u);
  EXPECT_EQ(tags[1].kind, HtmlTokenKind::kEndTag);
  EXPECT_EQ(tags[2].name, L"b");
}

TEST(HtmlTokenizer, TitleTextDecodesReferences) {
  auto tokens = Tokenize(L"<title>A &amp; <b>B</b></title>");
  ASSERT_EQ(tokens.size(), 3u);
  EXPECT_EQ(tokens[1].text, L"A & <b>B</b>");
}

TEST(HtmlTokenizer, CommentsDoctypeAndProcessingInstructions) {
  auto tokens = Tokenize(L"<!DOCTYPE html><!-- <p id=x> --><?xml v?><!----><!--->x");
  ASSERT_EQ(tokens.size(), 6u);
  EXPECT_EQ(tokens[0].kind, HtmlTokenKind::kComment);
  EXPECT_EQ(tokens[1].kind, HtmlTokenKind::kComment);
  EXPECT_EQ(tokens[1].text, L" <p id=x> ");
  EXPECT_EQ(tokens[5].kind, HtmlTokenKind::kText);
  EXPECT_EQ(tokens[5].text, L"x");
}

TEST(HtmlTokenizer, LessThanThatStartsNoTagIsText) {
  auto tokens = Tokenize(L"a < b <3 </> <p>");
  ASSERT_EQ(tokens.size(), 3u);
  EXPECT_EQ(tokens[0].text, L"a < b <3 ");
  EXPECT_EQ(tokens[1].text, L" ");
  EXPECT_EQ(tokens[2].name, L"p");
}

TEST(HtmlTokenizer, UnterminatedConstructsEndCleanly) {
  EXPECT_EQ(Tokenize(L"<!-- open").size(), 1u);
  EXPECT_EQ(Tokenize(L"<script>never closed").size(), 2u);
  auto tags = Tags(L"<div class=\"open");
  ASSERT_EQ(tags.size(), 1u);
  EXPECT_EQ(tags[0].attributes[0].value, L"open");
}

TEST(HtmlTokenizer, LinesCountFromZero) {
  auto tokens = Tokenize(L"<p>\n\n<script>\nx()</script>");
  ASSERT_GE(tokens.size(), 4u);
  EXPECT_EQ(tokens[2].line, 2u);  // <script>
  EXPECT_EQ(tokens[3].line, 2u);  // its text starts right after the tag
}

TEST(HtmlCharacterReferences, NumericEdgeCases) {
  EXPECT_EQ(DecodeCharacterReferences(L"&#0;&#xD800;&#99999999;"), L"\uFFFD\uFFFD\uFFFD");
  EXPECT_EQ(DecodeCharacterReferences(L"&#65x&#;&#x;"), L"Ax&#;&#x;");
  EXPECT_EQ(DecodeCharacterReferences(L"&amp"), L"&amp");
}

}  // namespace
}  // namespace omb::engine
