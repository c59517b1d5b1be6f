#include "app/core/cmdline.h"

#include <gtest/gtest.h>

using omb::CCmdLine;

namespace {

std::wstring ValueOf(const CCmdLine& cmd, const wchar_t* key) {
  const std::wstring* v = cmd.Value(key);
  return v ? *v : L"<none>";
}

TEST(CmdLine, FolderCanBeGivenAsPairOrAsPrefixedKeyAndNextArgument) {
  EXPECT_EQ(ValueOf(CCmdLine(L"app.exe d=C:\\app"), L"d"), L"C:\\app");
  EXPECT_EQ(ValueOf(CCmdLine(L"app.exe /d C:\\app"), L"d"), L"C:\\app");
  EXPECT_EQ(ValueOf(CCmdLine(L"app.exe -D C:\\app"), L"d"), L"C:\\app");
  // Lookups drop one prefix character and ignore letter case.
  EXPECT_EQ(ValueOf(CCmdLine(L"app.exe D=x"), L"/d"), L"x");
  EXPECT_EQ(ValueOf(CCmdLine(L"app.exe d=x"), L"-D"), L"x");
}

TEST(CmdLine, FirstOccurrenceOfAKeyWins) {
  CCmdLine cmd(L"app.exe d=C:\\a D=C:\\b /d C:\\c");
  EXPECT_EQ(ValueOf(cmd, L"d"), L"C:\\a");
  EXPECT_EQ(cmd.Pairs().size(), 1u);
}

TEST(CmdLine, PrefixedKeyWithoutValueBecomesASwitch) {
  CCmdLine last(L"app.exe /d");
  EXPECT_EQ(last.Value(L"d"), nullptr);
  EXPECT_TRUE(last.HasSwitch(L"d"));
  EXPECT_TRUE(last.HasSwitch(L"/D"));

  CCmdLine followed(L"app.exe /d /x value");
  EXPECT_EQ(followed.Value(L"d"), nullptr);
  EXPECT_TRUE(followed.HasSwitch(L"d"));
  EXPECT_EQ(ValueOf(followed, L"x"), L"value");
}

TEST(CmdLine, PairKeyKeepsItsPrefix) {
  CCmdLine cmd(L"app.exe /d=C:\\app");
  EXPECT_EQ(cmd.Value(L"d"), nullptr);
  ASSERT_EQ(cmd.Pairs().size(), 1u);
  EXPECT_EQ(cmd.Pairs().begin()->first, L"/d");
}

TEST(CmdLine, EmptyKeyOrValueIsNotAPair) {
  CCmdLine cmd(L"app.exe key= =value readme.txt -flag=");
  EXPECT_TRUE(cmd.Pairs().empty());
  EXPECT_TRUE(cmd.HasSwitch(L"key="));
  EXPECT_TRUE(cmd.HasSwitch(L"=value"));
  EXPECT_TRUE(cmd.HasSwitch(L"readme.txt"));
  EXPECT_TRUE(cmd.HasSwitch(L"README.TXT"));
  // "-flag=" is prefixed and the last argument: a switch without its prefix.
  EXPECT_TRUE(cmd.HasSwitch(L"flag="));
}

TEST(CmdLine, PairsHaveNoLengthLimit) {
  // An ordinary but long application folder must select that folder.
  const std::wstring folder =
      L"C:\\Users\\someone\\Documents\\Projects\\" + std::wstring(120, L'a') + L"\\app";
  EXPECT_EQ(ValueOf(CCmdLine((L"app.exe \"d=" + folder + L"\"").c_str()), L"d"), folder);
  const std::wstring k300(300, L'k');
  CCmdLine longKey((L"app.exe " + k300 + L"=v").c_str());
  EXPECT_EQ(ValueOf(longKey, k300.c_str()), L"v");
  EXPECT_TRUE(longKey.Switches().empty());
}

TEST(CmdLine, ValueMayHoldEqualsSignsAndQuotedSpaces) {
  CCmdLine cmd(L"app.exe \"f=C:\\my pages\\a.html#x=1\"");
  EXPECT_EQ(ValueOf(cmd, L"f"), L"C:\\my pages\\a.html#x=1");
}

TEST(CmdLine, RawArgumentsAreKeptAsSplit) {
  CCmdLine cmd(L"\"C:\\Program Files\\app.exe\" a \"b c\"");
  ASSERT_EQ(cmd.Count(), 3);
  EXPECT_STREQ(cmd.Arg(0), L"C:\\Program Files\\app.exe");
  EXPECT_STREQ(cmd.Arg(2), L"b c");
  EXPECT_EQ(cmd.Arg(3), nullptr);
  EXPECT_EQ(cmd.Arg(-1), nullptr);
  EXPECT_TRUE(CCmdLine(L"app.exe").Switches().empty());
}

TEST(CmdLine, KeysFoldOnlyAsciiLetters) {
  CCmdLine cmd(L"app.exe \u00C4=1");
  EXPECT_EQ(ValueOf(cmd, L"\u00C4"), L"1");
  EXPECT_EQ(cmd.Value(L"\u00E4"), nullptr);
}

}  // namespace
