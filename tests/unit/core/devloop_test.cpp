// The terminal mirror's output, the message loop's handle waits and the live
// reload watch (debounce, ignored files, sub-folders, stop) on real folders.
#include <gtest/gtest.h>

#include <string>

#include "app/core/live_reload.h"
#include "app/core/message_loop.h"
#include "app/core/terminal.h"
#include "sdk/com.h"

using omb::CLiveReload;
using omb::CMessageLoop;
using omb::CTerminal;

namespace {

std::string ReadAll(const wchar_t* path) {
  omb::unique_file file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, 0, nullptr));
  std::string bytes(1 << 16, '\0');
  DWORD read = 0;
  if (!file || !ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr))
    return "<unreadable>";
  bytes.resize(read);
  return bytes;
}

void WriteFileText(const std::wstring& path, const char* text) {
  omb::unique_file file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                    CREATE_ALWAYS, 0, nullptr));
  ASSERT_TRUE(file) << "cannot write " << std::string(path.begin(), path.end());
  DWORD written = 0;
  WriteFile(file.get(), text, static_cast<DWORD>(strlen(text)), &written, nullptr);
}

void CALLBACK QuitLoop(HWND, UINT, UINT_PTR, DWORD) { PostQuitMessage(0); }

// Runs the loop until the bound passes (a thread timer posts WM_QUIT).
void RunLoopFor(CMessageLoop& loop, UINT milliseconds) {
  const UINT_PTR timer = SetTimer(nullptr, 0, milliseconds, &QuitLoop);
  loop.Run();
  KillTimer(nullptr, timer);
}

TEST(Terminal, WritesEachLineAsUtf8WithALineBreak) {
  {
    CTerminal terminal;
    terminal.Use(CreateFileW(L"terminal.txt", GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                             CREATE_ALWAYS, 0, nullptr),
                 true);
    ASSERT_TRUE(terminal.IsOpen());
    terminal.WriteLine(L"caf\u00e9 \xD83D\xDE00");
    terminal.WriteLine(L"lone \xD800.");  // not UTF-16: the replacement character
    terminal.WriteLine(L"");
    // Long text goes out in pieces; a surrogate pair across a piece boundary
    // must stay whole.
    std::wstring longText(9000, L'a');
    longText[4095] = 0xD83D;
    longText[4096] = 0xDE00;
    terminal.WriteLine(longText);
  }
  std::string expected =
      "caf\xC3\xA9 \xF0\x9F\x98\x80\r\n"
      "lone \xEF\xBF\xBD.\r\n"
      "\r\n";
  expected += std::string(4095, 'a') + "\xF0\x9F\x98\x80" + std::string(9000 - 4097, 'a') + "\r\n";
  EXPECT_EQ(ReadAll(L"terminal.txt"), expected);
}

TEST(Terminal, AFailedWriteClosesTheTerminal) {
  WriteFileText(L"readonly.txt", "");
  CTerminal terminal;
  terminal.Use(CreateFileW(L"readonly.txt", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           0, nullptr),
               true);
  terminal.WriteLine(L"refused");
  EXPECT_FALSE(terminal.IsOpen());
  terminal.WriteLine(L"dropped");  // no attempt, no crash
}

class CountingHandler : public omb::IWaitHandler {
 public:
  void OnSignaled(HANDLE) noexcept override {
    if (++calls == quitAfter) PostQuitMessage(42);
  }
  int calls = 0;
  int quitAfter = 1;
};

TEST(MessageLoop, WaitHandlersRunFromTheLoopWithoutStarvingMessages) {
  CMessageLoop loop;
  omb::unique_handle signalled(CreateEventW(nullptr, FALSE, TRUE, nullptr));
  CountingHandler handler;
  ASSERT_TRUE(loop.AddWaitHandle(signalled.get(), &handler));
  EXPECT_EQ(loop.Run(), 42);
  EXPECT_EQ(handler.calls, 1);

  // A handle that stays signalled must not keep messages (here WM_QUIT) out.
  omb::unique_handle always(CreateEventW(nullptr, TRUE, TRUE, nullptr));
  CountingHandler busy;
  busy.quitAfter = -1;
  loop.RemoveWaitHandle(signalled.get());
  ASSERT_TRUE(loop.AddWaitHandle(always.get(), &busy));
  PostQuitMessage(7);
  EXPECT_EQ(loop.Run(), 7);
  loop.RemoveWaitHandle(always.get());
}

TEST(LiveReload, OnlyPageFilesCountAndTheFragmentIsDropped) {
  EXPECT_TRUE(omb::IsPageChange(L"index.html"));
  EXPECT_TRUE(omb::IsPageChange(L"js\\app.js"));
  EXPECT_TRUE(omb::IsPageChange(L"js"));
  EXPECT_FALSE(omb::IsPageChange(L".index.html.swp"));
  EXPECT_FALSE(omb::IsPageChange(L"js\\app.js~"));
  EXPECT_FALSE(omb::IsPageChange(L"js\\VS1A2B.TMP"));
  EXPECT_EQ(omb::ReloadAddress(L"file:///C:/app/resource/index.html#settings"),
            L"file:///C:/app/resource/index.html");
  EXPECT_EQ(omb::ReloadAddress(L"http://localhost/a?b=c"), L"http://localhost/a?b=c");
}

void CountReload(void* count) noexcept { ++*static_cast<int*>(count); }

TEST(LiveReload, ABurstOfChangesReloadsOnceAndStopEndsTheWatch) {
  ASSERT_TRUE(CreateDirectoryW(L"pages", nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
  ASSERT_TRUE(CreateDirectoryW(L"pages\\js", nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
  CMessageLoop loop;
  CLiveReload reload;
  int reloads = 0;
  wchar_t folder[MAX_PATH];
  ASSERT_NE(GetFullPathNameW(L"pages", MAX_PATH, folder, nullptr), 0u);
  ASSERT_EQ(reload.Start(folder, loop, &CountReload, &reloads), S_OK);

  // Files in a sub-folder that existed before the watch began.
  for (int i = 0; i < 10; ++i)
    WriteFileText(L"pages\\js\\part" + std::to_wstring(i) + L".js", "var x;");
  RunLoopFor(loop, 1500);
  EXPECT_EQ(reloads, 1) << "a burst of changes reloads exactly once, within the bound";

  WriteFileText(L"pages\\js\\.part0.js.swp", "swap");
  RunLoopFor(loop, 600);
  EXPECT_EQ(reloads, 1) << "an editor's swap file reloads nothing";

  WriteFileText(L"pages\\index.html", "<p>");
  reload.Stop();
  WriteFileText(L"pages\\index.html", "<p>again");
  RunLoopFor(loop, 600);
  EXPECT_EQ(reloads, 1) << "no reload after Stop";
}

TEST(LiveReload, AMissingFolderIsReportedAndNothingIsWatched) {
  CMessageLoop loop;
  CLiveReload reload;
  EXPECT_TRUE(FAILED(reload.Start(L"no such folder", loop)));
}

}  // namespace
