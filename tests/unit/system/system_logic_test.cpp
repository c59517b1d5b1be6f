// What page script cannot reach of "system": the quoting of an elevated
// restart's arguments, the buffer retries for long texts, the taskbar-pin
// decision (Wine has no pin verbs) and the 32-bit host's system-width query.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/core/text_buffer.h"
#include "app/plugins/system/system_logic.h"
#include "app/plugins/system/system_plugin.h"
#include "sdk/com.h"

#include <shellapi.h>

namespace {

// The argument vector a process started with program + parameters sees.
std::vector<std::wstring> SplitAsStarted(const std::wstring& parameters) {
  const std::wstring line = L"\"C:\\Program Files\\Ombrel.exe\"" + parameters;
  int count = 0;
  omb::unique_hlocal block(reinterpret_cast<HLOCAL>(CommandLineToArgvW(line.c_str(), &count)));
  auto** argv = reinterpret_cast<wchar_t**>(block.get());
  return argv ? std::vector<std::wstring>(argv + 1, argv + count) : std::vector<std::wstring>();
}

TEST(RestartParameters, TheElevatedInstanceSeesTheSameArguments) {
  const std::vector<const wchar_t*> cases[] = {
      {L"d=C:\\My Apps\\demo", L"f=index.html"},
      {L"say \"hi\"", L"trailing\\", L"dir with space\\", L"a\\\\\"b", L""},
      {L"\t", L"-key", L"value with\nbreak", L"\\\\server\\share\\"},
  };
  for (const auto& arguments : cases) {
    const std::vector<std::wstring> seen = SplitAsStarted(omb::RestartParameters(arguments));
    ASSERT_EQ(arguments.size(), seen.size()) << omb::RestartParameters(arguments).size();
    for (size_t i = 0; i < arguments.size(); ++i) EXPECT_EQ(arguments[i], seen[i]);
  }
  EXPECT_EQ(L" plain d=C:\\app", omb::RestartParameters(std::vector<const wchar_t*>{L"plain", L"d=C:\\app"}))
      << "arguments without blanks or quotes are passed as they are";
}

TEST(LongTexts, EnvironmentValuesAndExpansionsAreAnsweredWhole) {
  const std::wstring value(3000, L'v');
  ASSERT_TRUE(SetEnvironmentVariableW(L"OMBREL_LONG_VALUE", value.c_str()));
  std::wstring read;
  EXPECT_TRUE(omb::ReadEnvironmentVariable(L"OMBREL_LONG_VALUE", &read));
  EXPECT_EQ(value, read);
  std::wstring expanded;
  EXPECT_TRUE(omb::ExpandEnvironment(L"<%OMBREL_LONG_VALUE%|%OMBREL_LONG_VALUE%>", &expanded));
  EXPECT_EQ(L"<" + value + L"|" + value + L">", expanded);

  ASSERT_TRUE(SetEnvironmentVariableW(L"OMBREL_LONG_VALUE", L""));
  EXPECT_FALSE(omb::ReadEnvironmentVariable(L"OMBREL_LONG_VALUE", &read)) << "an empty value";
  EXPECT_FALSE(omb::ReadEnvironmentVariable(L"OMBREL_NO_SUCH_VALUE", &read)) << "an absent one";
}

TEST(LongTexts, AReaderThatCutsTextIsAskedAgainWithMoreRoom) {
  const std::wstring stored(1000, L'a');
  std::vector<DWORD> asked;
  auto cutting = [&](wchar_t* buffer, DWORD capacity) {
    asked.push_back(capacity);
    lstrcpynW(buffer, stored.c_str(), static_cast<int>(capacity));
    return S_OK;
  };
  std::wstring text;
  ASSERT_EQ(S_OK, omb::ReadCutText(cutting, 260, 32768, &text));
  EXPECT_EQ(stored, text);
  EXPECT_EQ((std::vector<DWORD>{260, 520, 1040}), asked);

  asked.clear();
  ASSERT_EQ(S_OK, omb::ReadCutText(cutting, 260, 600, &text));
  EXPECT_EQ(599u, text.size()) << "the limit bounds the retries";
  EXPECT_EQ((std::vector<DWORD>{260, 520, 600}), asked);

  EXPECT_EQ(E_FAIL, omb::ReadCutText([](wchar_t*, DWORD) { return E_FAIL; }, 260, 600, &text));
}

TEST(TaskbarPin, TheRouteDependsOnVerbTextFileAndExtension) {
  using omb::PinRoute;
  EXPECT_EQ(PinRoute::kRefuse, omb::ChoosePinRoute(L"", true, L"C:\\a.exe")) << "no verb text";
  EXPECT_EQ(PinRoute::kRefuse, omb::ChoosePinRoute(L"Pin to tas&kbar", false, L"C:\\a.exe"));
  EXPECT_EQ(PinRoute::kTaskbarVerb, omb::ChoosePinRoute(L"Pin to tas&kbar", true, L"C:\\a.LNK"));
  EXPECT_EQ(PinRoute::kShellVerbs, omb::ChoosePinRoute(L"Pin to tas&kbar", true, L"C:\\a.exe"));
  EXPECT_EQ(PinRoute::kShellVerbs, omb::ChoosePinRoute(L"Pin to tas&kbar", true, L"C:\\x.lnk\\a"));

  const std::vector<std::wstring> verbs = {L"&Open", L"Pin to Start", L"PIN TO TAS&KBAR",
                                           L"Pin to tas&kbar"};
  EXPECT_EQ(2, omb::FindVerb(verbs, L"Pin to tas&kbar")) << "the first match, in any case";
  EXPECT_EQ(-1, omb::FindVerb(verbs, L"Pin to taskbar")) << "the text must match whole";
}

BOOL WINAPI UnderEmulation(HANDLE, PBOOL wow64) {
  *wow64 = TRUE;
  return TRUE;
}
BOOL WINAPI Native(HANDLE, PBOOL wow64) {
  *wow64 = FALSE;
  return TRUE;
}
BOOL WINAPI Failing(HANDLE, PBOOL wow64) {
  *wow64 = TRUE;
  return FALSE;
}

TEST(SystemWidth, A32BitHostAsksTheEmulationLayer) {
  EXPECT_TRUE(omb::IsX64System(true, nullptr));
  EXPECT_TRUE(omb::IsX64System(false, &UnderEmulation));
  EXPECT_FALSE(omb::IsX64System(false, &Native));
  EXPECT_FALSE(omb::IsX64System(false, &Failing));
  EXPECT_FALSE(omb::IsX64System(false, nullptr)) << "the query is missing";
}

}  // namespace
