#include "app/engine/page_url.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

namespace omb::engine {
namespace {

TEST(FileUrl, EncodesLikeABrowser) {
  EXPECT_EQ(FileUrlFromPath(L"C:\\My Apps\\app\\index.html"),
            L"file:///C:/My%20Apps/app/index.html");
  EXPECT_EQ(FileUrlFromPath(L"C:\\d\\caf\u00E9 #1%.html"),
            L"file:///C:/d/caf%C3%A9%20%231%25.html");
  EXPECT_EQ(FileUrlFromPath(L"\\\\server\\share\\a.html"), L"file://server/share/a.html");
}

TEST(FileUrl, DecodesBackToPaths) {
  std::wstring path;
  ASSERT_TRUE(PathFromFileUrl(L"file:///C:/d/caf%C3%A9%20%231%25.html?x#y", &path));
  EXPECT_EQ(path, L"C:\\d\\caf\u00E9 #1%.html");
  ASSERT_TRUE(PathFromFileUrl(L"FILE://localhost/C:/a.html", &path));
  EXPECT_EQ(path, L"C:\\a.html");
  ASSERT_TRUE(PathFromFileUrl(L"file://server/share/a.html", &path));
  EXPECT_EQ(path, L"\\\\server\\share\\a.html");
  ASSERT_TRUE(PathFromFileUrl(L"file:///C|/a.html", &path));
  EXPECT_EQ(path, L"C:\\a.html");
  EXPECT_FALSE(PathFromFileUrl(L"http://example/a.html", &path));
  EXPECT_EQ(PercentDecode(L"100%zz%4"), L"100%zz%4");
}

TEST(PageLocation, PathsURLsAndFragments) {
  PageLocation a = ResolvePageLocation(L"C:\\no such dir\\a.html#top");
  EXPECT_EQ(a.path, L"C:\\no such dir\\a.html");
  EXPECT_EQ(a.url, L"file:///C:/no%20such%20dir/a.html#top");
  PageLocation b = ResolvePageLocation(L"file:///C:/x%20y/b.html?q=1 2#f");
  EXPECT_EQ(b.path, L"C:\\x y\\b.html");
  EXPECT_EQ(b.url, L"file:///C:/x%20y/b.html?q=1%202#f");
  PageLocation c = ResolvePageLocation(L"about:blank");
  EXPECT_EQ(c.url, L"about:blank");
  EXPECT_TRUE(c.path.empty());
}

TEST(PageLocation, ReferencesResolveAgainstThePageFolder) {
  const PageLocation page = ResolvePageLocation(L"C:\\app\\resource\\index.html");
  EXPECT_EQ(ResolveReference(page, L"js/a%20b.js?v=2").path, L"C:\\app\\resource\\js\\a b.js");
  EXPECT_EQ(ResolveReference(page, L"js/a%20b.js?v=2").url,
            L"file:///C:/app/resource/js/a%20b.js?v=2");
  EXPECT_EQ(ResolveReference(page, L"../lib/x.js").path, L"C:\\app\\lib\\x.js");
  EXPECT_EQ(ResolveReference(page, L"/root.js").path, L"C:\\root.js");
  EXPECT_EQ(ResolveReference(page, L"D:\\other\\y.js").path, L"D:\\other\\y.js");
  EXPECT_EQ(ResolveReference(page, L"file:///E:/z.js").path, L"E:\\z.js");
  EXPECT_EQ(ResolveReference(page, L"http://host/p").url, L"http://host/p");
  EXPECT_TRUE(ResolveReference(page, L"http://host/p").path.empty());
}

class TextFile : public ::testing::Test {
 protected:
  void Write(const std::string& bytes) {
    wchar_t dir[MAX_PATH];
    GetTempPathW(MAX_PATH, dir);
    path_ = std::wstring(dir) + L"engine_text_test.txt";
    HANDLE f = CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(f);
  }
  void TearDown() override { DeleteFileW(path_.c_str()); }
  std::wstring path_;
};

TEST_F(TextFile, ReadsUtf8WithAndWithoutSignatureAndUtf16) {
  std::wstring text;
  Write(
      "\xEF\xBB\xBF"
      "caf\xC3\xA9");
  ASSERT_TRUE(ReadTextFile(path_, &text));
  EXPECT_EQ(text, L"caf\u00E9");
  Write("\xE2\x82\xAC");
  ASSERT_TRUE(ReadTextFile(path_, &text));
  EXPECT_EQ(text, L"\u20AC");
  Write(
      std::string("\xFF\xFE"
                  "A\0B\0",
                  6));
  ASSERT_TRUE(ReadTextFile(path_, &text));
  EXPECT_EQ(text, L"AB");
  EXPECT_FALSE(ReadTextFile(path_ + L".missing", &text));
}

}  // namespace
}  // namespace omb::engine
