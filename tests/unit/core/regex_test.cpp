#include "app/core/regex.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

bool Matches(const std::wstring& pattern, const std::wstring& text) {
  CRegExp re;
  EXPECT_TRUE(re.Compile(pattern)) << "pattern: " << pattern;
  return re.Search(text);
}

// The whole match followed by each group's text ("<none>" for a group that
// took no part), or just "<no match>".
std::vector<std::wstring> Groups(const std::wstring& pattern, const std::wstring& text) {
  CRegExp re;
  EXPECT_TRUE(re.Compile(pattern)) << "pattern: " << pattern;
  std::vector<CRegExp::Span> spans;
  if (!re.Search(text, &spans)) return {L"<no match>"};
  std::vector<std::wstring> out;
  for (const CRegExp::Span& span : spans) {
    out.push_back(span.begin == CRegExp::npos ? L"<none>"
                                              : text.substr(span.begin, span.end - span.begin));
  }
  return out;
}

using Strings = std::vector<std::wstring>;

TEST(RegExp, SearchesAnywhereAndIsCaseSensitive) {
  EXPECT_TRUE(Matches(L"abc", L"xxabcxx"));
  EXPECT_FALSE(Matches(L"abc", L"xxABCxx"));
  EXPECT_TRUE(Matches(L"a.c", L"a-c"));
  EXPECT_FALSE(Matches(L"a.c", L"ac"));
  EXPECT_TRUE(Matches(L"", L""));
  EXPECT_TRUE(Matches(L"", L"anything"));
  EXPECT_TRUE(Matches(L"文件\\.txt", L"C:\\Ünïcødé\\文件.txt"));
  EXPECT_EQ(Groups(L"a+", L"baaac"), Strings{L"aaa"});
}

TEST(RegExp, AnchorsPinTheStartAndEndOfTheText) {
  EXPECT_TRUE(Matches(L"^ab", L"abc"));
  EXPECT_FALSE(Matches(L"^ab", L"cab"));
  EXPECT_TRUE(Matches(L"ab$", L"cab"));
  EXPECT_FALSE(Matches(L"ab$", L"abc"));
  EXPECT_TRUE(Matches(L"^$", L""));
  EXPECT_FALSE(Matches(L"^$", L"a"));
  EXPECT_TRUE(Matches(L"\\.dll$", L"C:\\app\\plugins\\x.dll"));
  EXPECT_FALSE(Matches(L"\\.dll$", L"x.DLL"));
  EXPECT_FALSE(Matches(L"\\.dll$", L"x.dll.bak"));
  EXPECT_FALSE(Matches(L"\\.dll$", L"xdll"));
}

TEST(RegExp, BracketClassesTakeRangesNegationAndEscapes) {
  EXPECT_TRUE(Matches(L"^[a-c]+$", L"abcba"));
  EXPECT_FALSE(Matches(L"^[a-c]+$", L"abd"));
  EXPECT_TRUE(Matches(L"^[^0-9]+$", L"abc"));
  EXPECT_FALSE(Matches(L"^[^0-9]+$", L"ab1"));
  EXPECT_TRUE(Matches(L"^[-x]$", L"-"));
  EXPECT_TRUE(Matches(L"^[a-]$", L"-"));
  EXPECT_TRUE(Matches(L"^[\\]\\\\]+$", L"]\\"));
  EXPECT_TRUE(Matches(L"^[À-ÿ]$", L"é"));
  EXPECT_FALSE(Matches(L"^[À-ÿ]$", L"e"));
}

TEST(RegExp, RepetitionIsGreedyAndGivesBackWhenTheRestNeedsIt) {
  EXPECT_TRUE(Matches(L"^ab*c$", L"ac"));
  EXPECT_TRUE(Matches(L"^ab*c$", L"abbbc"));
  EXPECT_FALSE(Matches(L"^ab+c$", L"ac"));
  EXPECT_FALSE(Matches(L"^ab?c$", L"abbc"));
  EXPECT_EQ(Groups(L"{.*}b", L"aabab"), (Strings{L"aabab", L"aaba"}));
  EXPECT_EQ(Groups(L"{a+}{a+}", L"aaaa"), (Strings{L"aaaa", L"aaa", L"a"}));
  EXPECT_EQ(Groups(L"^{[a-z]*}{[a-z]}$", L"abc"), (Strings{L"abc", L"ab", L"c"}));
}

TEST(RegExp, AlternationPrefersTheLeftmostBranchThatMatches) {
  EXPECT_TRUE(Matches(L"cat|dog", L"hotdog"));
  EXPECT_FALSE(Matches(L"^(cat|dog)$", L"cats"));
  EXPECT_TRUE(Matches(L"^(cat|dog)s?$", L"dogs"));
  EXPECT_TRUE(Matches(L"^x(|y)z$", L"xz"));
  EXPECT_EQ(Groups(L"{a|ab}", L"ab"), (Strings{L"a", L"a"}));
  EXPECT_EQ(Groups(L"{ab|a}c", L"ac"), (Strings{L"ac", L"a"}));
}

TEST(RegExp, BracesRecordGroupSpans) {
  CRegExp re;
  ASSERT_TRUE(re.Compile(L"{\\z}-{\\z}"));
  EXPECT_EQ(re.GroupCount(), 2u);
  std::vector<CRegExp::Span> spans;
  ASSERT_TRUE(re.Search(L"v12-345", &spans));
  ASSERT_EQ(spans.size(), 3u);
  EXPECT_EQ(spans[0].begin, 1u);
  EXPECT_EQ(spans[0].end, 7u);
  EXPECT_EQ(spans[1].begin, 1u);
  EXPECT_EQ(spans[1].end, 3u);
  EXPECT_EQ(spans[2].begin, 4u);
  EXPECT_EQ(spans[2].end, 7u);

  EXPECT_EQ(Groups(L"{x}?y", L"y"), (Strings{L"y", L"<none>"}));
  EXPECT_EQ(Groups(L"({[a-z]},)+", L"a,b,c,"), (Strings{L"a,b,c,", L"c"}));
  EXPECT_EQ(Groups(L"{a{b}c}", L"abc"), (Strings{L"abc", L"abc", L"b"}));
  EXPECT_EQ(Groups(L"(a){b}", L"ab"), (Strings{L"ab", L"b"}));
}

TEST(RegExp, BackslashLettersStandForTheirAbbreviations) {
  struct Case {
    const wchar_t* pattern;
    const wchar_t* text;
    bool matches;
  };
  const Case cases[] = {
      {L"^\\a$", L"Z", true},
      {L"^\\a$", L"5", true},
      {L"^\\a$", L"_", false},
      {L"^\\b$", L" ", true},
      {L"^\\b$", L"\t", true},
      {L"^\\b$", L"b", false},
      {L"^\\c$", L"q", true},
      {L"^\\c$", L"1", false},
      {L"^\\d$", L"7", true},
      {L"^\\d$", L"d", false},
      {L"^\\h+$", L"09afAF", true},
      {L"^\\h+$", L"0g", false},
      {L"^a\\nb$", L"a\r\nb", true},
      {L"^a\\nb$", L"a\rb", true},
      {L"^a\\nb$", L"a\nb", true},
      {L"^a\\nb$", L"ab", false},
      {L"^a\\nb$", L"a\n\nb", false},
      {L"^\\q$", L"\"say 'hi'\"", true},
      {L"^\\q$", L"'x'", true},
      {L"^\\q$", L"\"\"", true},
      {L"^\\q$", L"\"open", false},
      {L"^\\q$", L"'mixed\"", false},
      {L"^\\w$", L"Hello", true},
      {L"^\\w$", L"Hello1", false},
      {L"^\\w$", L"", false},
      {L"^\\z$", L"0123", true},
      {L"^\\z$", L"", false},
      {L"^\\z$", L"12a", false},
      {L"^\\w\\b\\z$", L"abc 12", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Matches(c.pattern, c.text), c.matches) << c.pattern << L" on \"" << c.text << L"\"";
  }
  EXPECT_EQ(Groups(L"={\\q};", L"a=\"b c\";"), (Strings{L"=\"b c\";", L"\"b c\""}));
  EXPECT_EQ(Groups(L"{\\n}", L"x\r\ny"), (Strings{L"\r\n", L"\r\n"}));
  EXPECT_EQ(Groups(L"{\\w}+", L"ab"), (Strings{L"ab", L"ab"}));
}

TEST(RegExp, BackslashBeforeAnyOtherCharacterIsThatCharacter) {
  EXPECT_TRUE(Matches(L"^\\.$", L"."));
  EXPECT_FALSE(Matches(L"^\\.$", L"x"));
  EXPECT_TRUE(Matches(L"a\\\\b", L"a\\b"));
  EXPECT_TRUE(Matches(L"^\\(\\)\\{\\}\\[\\]\\*\\+\\?\\|\\^\\$$", L"(){}[]*+?|^$"));
  EXPECT_TRUE(Matches(L"^\\t$", L"t"));
  EXPECT_FALSE(Matches(L"^\\t$", L"\t"));
  EXPECT_TRUE(Matches(L"^\\D$", L"D"));
}

TEST(RegExp, MalformedPatternsDoNotCompile) {
  const wchar_t* const patterns[] = {L"(",   L")",    L"a)",  L"(a",  L"{a",   L"a}",    L"(a}",
                                     L"{a)", L"[abc", L"]",   L"[]",  L"[^]",  L"[z-a]", L"*a",
                                     L"+",   L"?",    L"a**", L"a+?", L"a|*b", L"(*)",   L"{+}",
                                     L"^*",  L"$+",   L"a\\", L"[a\\"};
  for (const wchar_t* pattern : patterns) {
    CRegExp re;
    EXPECT_FALSE(re.Compile(pattern)) << pattern;
    EXPECT_FALSE(re.IsCompiled()) << pattern;
  }
  CRegExp re;
  ASSERT_TRUE(re.Compile(L"a"));
  EXPECT_FALSE(re.Compile(L"(a"));
  EXPECT_FALSE(re.Search(L"a")) << "a failed compile must not leave the earlier pattern";
}

TEST(RegExp, LongTextsAndHostilePatternsAreSafe) {
  const std::wstring longPath(32767, L'a');
  EXPECT_FALSE(Matches(L"(a|aa)*b", longPath));
  EXPECT_FALSE(Matches(L"(a*)*b", longPath));
  EXPECT_TRUE(Matches(L"^(a|a)*$", longPath));
  const Strings all = Groups(L"{a*}$", longPath);
  ASSERT_EQ(all.size(), 2u);
  EXPECT_EQ(all[1].size(), longPath.size());

  CRegExp re;
  const std::wstring deep = std::wstring(100000, L'(') + L"a" + std::wstring(100000, L')');
  EXPECT_FALSE(re.Compile(deep));
  const std::wstring nested = std::wstring(50, L'(') + L"a" + std::wstring(50, L')');
  EXPECT_TRUE(re.Compile(nested));
}

}  // namespace
