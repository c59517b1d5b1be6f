// The analytics hit text: escaping without a fixed-size buffer, the client
// identifier rule, the parameter order, the user agent per platform, and the
// endpoint setting.
#include <gtest/gtest.h>

#include <string>

#include "app/plugins/ga/analytics.h"
#include "app/plugins/ga/hit_text.h"

using namespace omb;

TEST(HitText, EscapesAsOnePathSegmentWhateverTheLength) {
  std::wstring out;
  ASSERT_EQ(EscapeSegment(L"Main Screen/Home?x", &out), S_OK);
  EXPECT_EQ(out, L"Main%20Screen%2FHome%3Fx");
  ASSERT_EQ(EscapeSegment(L"", &out), S_OK);
  EXPECT_EQ(out, L"");
  // The worst case: every character grows threefold, with nothing to spare.
  const std::wstring spaces(5000, L' ');
  ASSERT_EQ(EscapeSegment(spaces.c_str(), &out), S_OK);
  EXPECT_EQ(out.size(), 15000u);
  EXPECT_EQ(out.substr(0, 6), L"%20%20");
}

TEST(HitText, ClientIdIsTheProfileGuidWithoutBraces) {
  std::wstring id;
  ASSERT_EQ(ClientIdFromProfileGuid(L"{6ba7b810-9dad-11d1-80b4-00c04fd430c8}", &id), S_OK);
  EXPECT_EQ(id, L"6ba7b810-9dad-11d1-80b4-00c04fd430c8");
  ASSERT_EQ(ClientIdFromProfileGuid(L"{unclosed", &id), S_OK);
  EXPECT_EQ(id, L"unclosed");
  // Without the pattern: the whole text, escaped.
  ASSERT_EQ(ClientIdFromProfileGuid(L"no braces", &id), S_OK);
  EXPECT_EQ(id, L"no%20braces");
  std::wstring escaped;
  ASSERT_EQ(EscapeSegment(L"{}", &escaped), S_OK);
  ASSERT_EQ(ClientIdFromProfileGuid(L"{}", &id), S_OK);
  EXPECT_EQ(id, escaped);
}

TEST(HitText, HitsListTheirParametersInOrder) {
  HitFacts facts;
  facts.clientId = L"c-1";
  facts.language = L"en-US";
  facts.width = 1280;
  facts.height = 1024;
  std::wstring common, hit;
  ASSERT_EQ(CommonPart(L"UA-1&x", L"My App", L"1.0 beta", facts, &common), S_OK);
  // Identifier and version go as given; the name is escaped.
  EXPECT_EQ(common, L"v=1&tid=UA-1&x&cid=c-1&ul=en-US&an=My%20App&av=1.0 beta&vp=1280x1024");
  ASSERT_EQ(ScreenViewHit(L"Start Page", common, &hit), S_OK);
  EXPECT_EQ(hit, L"t=appview&cd=Start%20Page&" + common);
  ASSERT_EQ(EventHit(L"Tool Bar", L"-12", common, &hit), S_OK);
  EXPECT_EQ(hit, L"t=event&ec=Tool%20Bar&ea=-12&" + common);
}

TEST(HitText, UserAgentNamesVersionAndProcessKind) {
  const DWORD win61 = 0x1DB10106;  // GetVersion form: 6.1, build in the high word
  EXPECT_EQ(UserAgent(win61, false, PROCESSOR_ARCHITECTURE_AMD64),
            L"Strix Analytics/0.1 (Windows NT 6.1, Win64; x64)");
  EXPECT_EQ(UserAgent(win61, true, PROCESSOR_ARCHITECTURE_AMD64),
            L"Strix Analytics/0.1 (Windows NT 6.1, WOW64)");
  EXPECT_EQ(UserAgent(0x0A, false, PROCESSOR_ARCHITECTURE_INTEL),
            L"Strix Analytics/0.1 (Windows NT 10.0)");
  EXPECT_EQ(CurrentUserAgent().substr(CurrentUserAgent().size() - 13), L", Win64; x64)");
}

TEST(AnalyticsEndpoint, ParsesTheSetting) {
  AnalyticsEndpoint e;
  ASSERT_EQ(ParseAnalyticsEndpoint(kDefaultAnalyticsEndpoint, &e), S_OK);
  EXPECT_EQ(e.host, L"www.google-analytics.com");
  EXPECT_EQ(e.port, 443);
  EXPECT_EQ(e.path, L"/collect");
  ASSERT_EQ(ParseAnalyticsEndpoint(L"https://localhost:8443/hits?app=1", &e), S_OK);
  EXPECT_EQ(e.host, L"localhost");
  EXPECT_EQ(e.port, 8443);
  EXPECT_EQ(e.path, L"/hits?app=1");
  ASSERT_EQ(ParseAnalyticsEndpoint(L"https://collector.example", &e), S_OK);
  EXPECT_EQ(e.path, L"/collect");
  EXPECT_NE(ParseAnalyticsEndpoint(L"http://collector.example/collect", &e), S_OK)
      << "hits never go in the clear";
  EXPECT_NE(ParseAnalyticsEndpoint(L"not a url", &e), S_OK);
}
