// Downloads: the counts and results the job hands to script, and a server
// that stops sending in the middle of a body (the local test server; these
// cases run in the test unit_net_servers, which provides it).
#include <gtest/gtest.h>

#include <string>

#include "app/plugins/http/download.h"
#include "app/plugins/http/http_plugin.h"

namespace {

std::wstring TestServer() {
  wchar_t url[256];
  const DWORD n = GetEnvironmentVariableW(L"OMBREL_TEST_HTTP", url, 256);
  return n > 0 && n < 256 ? std::wstring(url, n) : std::wstring();
}

struct CountingProgress : IDownloadProgress {
  ULONGLONG last = 0;
  int calls = 0;
  HRESULT Progress(ULONGLONG received, ULONGLONG) noexcept override {
    last = received;
    ++calls;
    return S_OK;
  }
};

}  // namespace

TEST(Download, ContentLengthBeyondFourGigabytes) {
  EXPECT_EQ(ParseContentLength(L"5368709120"), 5368709120ull);
  EXPECT_EQ(ParseContentLength(L" 42"), 42ull);
  EXPECT_EQ(ParseContentLength(L"0"), std::nullopt);
  EXPECT_EQ(ParseContentLength(L"abc"), std::nullopt);
  EXPECT_EQ(ParseContentLength(L"99999999999999999999"), std::nullopt);
}

TEST(Download, ProgressCountsScriptCanUse) {
  VARIANT small = omb::ProgressCount(4294967295ull);
  EXPECT_EQ(small.vt, VT_UI4);
  EXPECT_EQ(small.ulVal, 4294967295u);
  VARIANT large = omb::ProgressCount(4294967296ull * 3 + 5);
  EXPECT_EQ(large.vt, VT_R8);
  EXPECT_EQ(large.dblVal, 12884901893.0);
}

TEST(DownloadServer, StallMidBodyEndsWithTimeoutAndNoFile) {
  const std::wstring server = TestServer();
  if (server.empty()) GTEST_SKIP() << "no local test server (run unit_net_servers)";
  const std::wstring path = L"stalled.bin";
  CountingProgress progress;
  const DWORD start = GetTickCount();
  EXPECT_EQ(DownloadToFile((server + L"/stall/300000").c_str(), path.c_str(), &progress, 1500),
            kDownloadTimedOut);
  EXPECT_LT(GetTickCount() - start, 15000u);
  EXPECT_EQ(progress.last, 65536u) << "the block that came was reported";
  EXPECT_EQ(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES)
      << "the partial file is gone";
}

TEST(DownloadServer, BodyCompleteBeforeAStallSucceeds) {
  const std::wstring server = TestServer();
  if (server.empty()) GTEST_SKIP() << "no local test server (run unit_net_servers)";
  CountingProgress progress;
  // The server stalls after the announced length: nothing more is waited for.
  EXPECT_EQ(DownloadToFile((server + L"/stall/65536").c_str(), L"whole.bin", &progress, 1500),
            S_OK) << "a body that is complete before the stall is a success";
  EXPECT_EQ(progress.calls, 1);
}
