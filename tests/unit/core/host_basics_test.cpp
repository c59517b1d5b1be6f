// The trace logger, the message loop's filters and the package-folder clean-up.
#include <gtest/gtest.h>
#include <shlwapi.h>

#include <string>

#include "app/core/message_loop.h"
#include "app/core/startup.h"
#include "sdk/trace.h"

namespace {

std::wstring TempName(const wchar_t* stem) {
  wchar_t dir[MAX_PATH];
  GetTempPathW(MAX_PATH, dir);
  return std::wstring(dir) + stem + std::to_wstring(GetCurrentProcessId());
}

std::wstring ReadUtf16(const std::wstring& path) {
  HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return L"<missing>";
  std::wstring text(GetFileSize(f, nullptr) / sizeof(wchar_t), L'\0');
  DWORD read = 0;
  ReadFile(f, text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), &read, nullptr);
  CloseHandle(f);
  return text;
}

// Points the logger at a fresh file for one test and restores it afterwards.
class TraceFile {
 public:
  explicit TraceFile(unsigned flags) : path_(TempName(L"omb-trace-")) {
    saved_ = omb::Logger();
    file_ = CreateFileW(path_.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0,
                        nullptr);
    omb::Logger().flags = flags | omb::kTraceToFile;
    omb::Logger().file = file_;
  }
  ~TraceFile() {
    omb::Logger() = saved_;
    CloseHandle(file_);
    DeleteFileW(path_.c_str());
  }
  std::wstring Text() const { return ReadUtf16(path_); }

 private:
  std::wstring path_;
  HANDLE file_;
  omb::TraceLogger saved_;
};

TEST(TraceLogger, WritesOnlyCategoriesWhoseBitIsSet) {
  TraceFile trace(omb::kTraceErrors);
  omb::Trace(omb::kTraceCalls, 12, "CThing::Call", L"hidden");
  omb::Trace(omb::kTraceErrors, 34, "CThing::Fail", L"Not implement name: %s", L"frob");
  omb::Trace(omb::kTraceErrors, 5, "CThing::Bare", nullptr);
  EXPECT_EQ(trace.Text(), L"(0034) CThing::Fail Not implement name: frob\n(0005) CThing::Bare\n");
}

TEST(TraceLogger, DefaultFlagsWriteNothing) {
  omb::TraceLogger fresh;
  EXPECT_EQ(fresh.flags, 0u);
}

TEST(TraceLogger, TimestampPrefixAndFurtherArguments) {
  TraceFile trace(omb::kTraceCalls | omb::kTraceTimestamp);
  OMB_TRACE(omb::kTraceCalls, "CSite::MapUrlToZone", L"%s %08X", L"file:///C:/a.html", 0x10u);
  const std::wstring text = trace.Text();
  ASSERT_GE(text.size(), 22u);
  EXPECT_EQ(text[0], L'[');
  EXPECT_EQ(text[5], L'-');
  EXPECT_EQ(text.substr(20, 2), L"] ");
  EXPECT_NE(text.find(L") CSite::MapUrlToZone file:///C:/a.html 00000010\n"), std::wstring::npos);
}

TEST(TraceLogger, FormatUsesWideStringsForPercentS) {
  EXPECT_EQ(omb::Format(L"%s|%hs|%04d", L"wide", "narrow", 7), L"wide|narrow|0007");
  const std::wstring big(5000, L'x');
  EXPECT_EQ(omb::Format(L"<%s>", big.c_str()).size(), 5002u);
}

struct RecordingFilter : omb::IMessageFilter {
  UINT swallow = 0;
  int seen = 0;
  omb::CMessageLoop* loop = nullptr;
  bool removeSelf = false;
  BOOL PreTranslateMessage(MSG* msg) noexcept override {
    ++seen;
    if (removeSelf && loop) loop->RemoveMessageFilter(this);
    return msg->message == swallow;
  }
};

TEST(MessageLoop, FiltersSeeMessagesFirstAndMayRemoveThemselves) {
  omb::CMessageLoop loop;
  RecordingFilter older, newer;
  newer.loop = &loop;
  newer.removeSelf = true;
  older.swallow = WM_USER + 1;
  loop.AddMessageFilter(&older);
  loop.AddMessageFilter(&newer);
  MSG msg = {};
  msg.message = WM_USER + 1;
  EXPECT_TRUE(loop.PreTranslateMessage(&msg));
  EXPECT_EQ(newer.seen, 1);
  EXPECT_EQ(older.seen, 1);
  msg.message = WM_USER + 2;
  EXPECT_FALSE(loop.PreTranslateMessage(&msg));
  EXPECT_EQ(newer.seen, 1);  // removed itself
  EXPECT_EQ(older.seen, 2);
}

TEST(MessageLoop, RunAnswersTheQuitCodeAndSkipsSwallowedMessages) {
  omb::CMessageLoop loop;
  RecordingFilter filter;
  filter.swallow = WM_USER + 7;
  loop.AddMessageFilter(&filter);
  PostThreadMessageW(GetCurrentThreadId(), WM_USER + 7, 0, 0);
  PostQuitMessage(42);
  EXPECT_EQ(loop.Run(), 42);
  EXPECT_EQ(filter.seen, 1);
}

TEST(MessageLoop, ModuleKnowsTheLoopOfTheCallingThread) {
  omb::CAppModule module;
  omb::CMessageLoop loop;
  EXPECT_EQ(module.GetMessageLoop(), nullptr);
  module.AddMessageLoop(&loop);
  EXPECT_EQ(module.GetMessageLoop(), &loop);
  module.RemoveMessageLoop();
  EXPECT_EQ(module.GetMessageLoop(), nullptr);
}

TEST(PackageFolder, DeletedWithItsContentsWhenItExists) {
  const std::wstring folder = TempName(L"omb-pkg-\u00E9\u6587-");
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW((folder + L"\\resource").c_str(), nullptr));
  HANDLE f = CreateFileW((folder + L"\\resource\\index.html").c_str(), GENERIC_WRITE, 0, nullptr,
                         CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(f, INVALID_HANDLE_VALUE);
  CloseHandle(f);
  // At exit the package folder is still the current directory.
  wchar_t saved[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, saved);
  SetCurrentDirectoryW(folder.c_str());
  omb::DeletePackageFolder(folder + L"\\");
  SetCurrentDirectoryW(saved);
  EXPECT_FALSE(PathFileExistsW(folder.c_str()));
}

TEST(PackageFolder, EmptyPathDeletesNothingInTheCurrentDirectory) {
  const std::wstring folder = TempName(L"omb-cwd-");
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  const std::wstring file = folder + L"\\keep.txt";
  HANDLE f = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(f, INVALID_HANDLE_VALUE);
  CloseHandle(f);
  wchar_t saved[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, saved);
  SetCurrentDirectoryW(folder.c_str());
  omb::DeletePackageFolder(L"");
  omb::DeletePackageFolder(L"never-made");
  SetCurrentDirectoryW(saved);
  EXPECT_TRUE(PathFileExistsW(file.c_str()));
  DeleteFileW(file.c_str());
  RemoveDirectoryW(folder.c_str());
}

}  // namespace
