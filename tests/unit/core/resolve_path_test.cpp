#include "app/core/resolve_path.h"

#include <gtest/gtest.h>

#include <string>

#include "sdk/com.h"

namespace {

std::wstring Resolve(const wchar_t* path, const wchar_t* location) {
  omb::unique_bstr result;
  const HRESULT hr = omb::ResolvePathFromLocation(path, location, result.put());
  if (hr != S_OK) return L"<failed>";
  return std::wstring(result.get(), SysStringLen(result.get()));
}

TEST(ResolvePath, RelativePathIsTakenFromThePagesFolder) {
  const wchar_t* page = L"file:///C:/app/resource/a.html";
  EXPECT_EQ(Resolve(L"b.html", page), L"C:\\app\\resource\\b.html");
  EXPECT_EQ(Resolve(L"img\\x.png", page), L"C:\\app\\resource\\img\\x.png");
  EXPECT_EQ(Resolve(L"..\\data.txt", page), L"C:\\app\\resource\\..\\data.txt");
  EXPECT_EQ(Resolve(L"b.html", L"FILE:///C:/app/a.html"), L"C:\\app\\b.html");
  EXPECT_EQ(Resolve(L"b.html", L"file:///C:/app/sub/../a.html"), L"C:\\app\\b.html");
}

TEST(ResolvePath, PageAtADriveRootGivesTheRoot) {
  EXPECT_EQ(Resolve(L"b.html", L"file:///C:/a.html"), L"C:\\b.html");
  EXPECT_EQ(Resolve(L"b.html", L"file:///C:/../a.html"), L"C:\\b.html");
}

TEST(ResolvePath, LocationIsPercentDecoded) {
  EXPECT_EQ(Resolve(L"b", L"file:///C:/my%20app/a.html"), L"C:\\my app\\b");
  // UTF-8 escapes give the characters; other escaped bytes stay one character each.
  EXPECT_EQ(Resolve(L"b", L"file:///C:/%E4%B8%AD%E6%96%87/%C3%A9/a.html"),
            L"C:\\\u4E2D\u6587\\\u00E9\\b");
  EXPECT_EQ(Resolve(L"b", L"file:///C:/caf%E9/a.html"), L"C:\\caf\u00E9\\b");
  // Characters that arrive unescaped are kept.
  EXPECT_EQ(Resolve(L"b", L"file:///C:/\u4E2D/a.html"), L"C:\\\u4E2D\\b");
}

TEST(ResolvePath, QueryOrFragmentIsCutBeforeDecoding) {
  EXPECT_EQ(Resolve(L"b", L"file:///C:/app/a.html?x=1/2/3"), L"C:\\app\\b");
  EXPECT_EQ(Resolve(L"b", L"file:///C:/app/a.html#top/more"), L"C:\\app\\b");
  EXPECT_EQ(Resolve(L"b", L"file:///C:/app/a.html?q=1#f/g"), L"C:\\app\\b");
  // An escaped '#' or '?' is part of a folder name.
  EXPECT_EQ(Resolve(L"b", L"file:///C:/src/C%23/app/a.html"), L"C:\\src\\C#\\app\\b");
  EXPECT_EQ(Resolve(L"b", L"file:///C:/what%3F/a.html"), L"C:\\what?\\b");
}

TEST(ResolvePath, UrlsAndAbsolutePathsAreKept) {
  for (const wchar_t* page : {L"file:///C:/app/a.html", L"http://host/a.html", L"about:blank", L""}) {
    EXPECT_EQ(Resolve(L"http://example.org/x?y", page), L"http://example.org/x?y");
    EXPECT_EQ(Resolve(L"file:///D:/x.txt", page), L"file:///D:/x.txt");
    EXPECT_EQ(Resolve(L"D:\\data\\x.txt", page), L"D:\\data\\x.txt");
    EXPECT_EQ(Resolve(L"\\\\server\\share\\x", page), L"\\\\server\\share\\x");
  }
  EXPECT_EQ(Resolve(L"b.html", L"about:blank"), L"b.html");
  EXPECT_EQ(Resolve(L"b.html", nullptr), L"b.html");
}

TEST(ResolvePath, RelativePathOnAWebPageGivesAnAbsoluteUrl) {
  EXPECT_EQ(Resolve(L"img\\a.png", L"http://host/app/index.html?q=1#f"),
            L"http://host/app/img/a.png");
  EXPECT_EQ(_wcsicmp(Resolve(L"../b.html", L"HTTPS://host/app/index.html").c_str(),
                     L"https://host/b.html"),
            0);
  EXPECT_EQ(Resolve(L"data.json", L"http://host"), L"http://host/data.json");
}

TEST(ResolvePath, LongLocationsAreNotCut) {
  const std::wstring folder(400, L'd');
  const std::wstring page = L"file:///C:/" + folder + L"/a.html";
  EXPECT_EQ(Resolve(L"b.html", page.c_str()), L"C:\\" + folder + L"\\b.html");
}

TEST(ResolvePath, NullResultIsRefused) {
  EXPECT_EQ(omb::ResolvePathFromLocation(L"b", L"file:///C:/a.html", nullptr), E_POINTER);
}

}  // namespace
