// Packaged applications: the host with an application archive appended runs
// without "d" from a new temporary folder, which is gone after it exits; an
// executable without an archive leaves no folder behind.
#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <set>

#include "app/core/package.h"
#include "app/core/paths.h"
#include "app/plugins/zip/zip_writer.h"
#include "tests/unit/zip/zip_test_support.h"

using namespace ziptest;

namespace {

std::set<std::wstring> PackageFolders() {
  std::set<std::wstring> out;
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((Env(L"temp") + L"\\OM*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return out;
  do {
    out.insert(data.cFileName);
  } while (FindNextFileW(find, &data));
  FindClose(find);
  return out;
}

// Runs the program and collects its standard output; the exit code, or -1
// when it did not end within the time.
int RunProgram(const std::wstring& exe, std::string* output) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE readPipe = nullptr, writePipe = nullptr;
  if (!CreatePipe(&readPipe, &writePipe, &inherit, 0)) return -2;
  SetHandleInformation(readPipe, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = writePipe;
  si.hStdError = writePipe;
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION pi = {};
  std::wstring command = L"\"" + exe + L"\"";
  const BOOL started = CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, TRUE, 0,
                                      nullptr, nullptr, &si, &pi);
  CloseHandle(writePipe);
  if (!started) {
    CloseHandle(readPipe);
    return -3;
  }
  char buffer[4096];
  DWORD read = 0;
  while (ReadFile(readPipe, buffer, sizeof buffer, &read, nullptr) && read > 0) output->append(buffer, read);
  CloseHandle(readPipe);
  DWORD code = 0;
  if (WaitForSingleObject(pi.hProcess, 30000) != WAIT_OBJECT_0) {
    TerminateProcess(pi.hProcess, 99);
    code = static_cast<DWORD>(-1);
  } else {
    GetExitCodeProcess(pi.hProcess, &code);
  }
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return static_cast<int>(code);
}

class PackageTest : public ScratchTest {};

TEST_F(PackageTest, AnExecutableWithoutArchiveLeavesNoFolder) {
  const std::set<std::wstring> before = PackageFolders();
  wchar_t cwd[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, cwd);
  std::wstring folder = L"stale";
  EXPECT_EQ(E_FAIL, omb::ExtractPackage(folder));
  EXPECT_TRUE(folder.empty());
  EXPECT_EQ(before, PackageFolders());
  wchar_t after[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, after);
  EXPECT_STREQ(cwd, after);
}

TEST_F(PackageTest, ExistingFoldersAreNeverReusedOrDeleted) {
  // The folders the tick count will name a second from now, each with a
  // file; then start exactly at that tick.
  const std::wstring temp = Env(L"temp");
  const DWORD start = GetTickCount() + 1000;
  std::vector<std::wstring> taken;
  for (DWORD tick = start; tick < start + 300; ++tick) {
    wchar_t name[32];
    swprintf(name, 32, L"\\OM%08X", static_cast<unsigned>(tick));
    const std::wstring folder = temp + name;
    if (!CreateDirectoryW(folder.c_str(), nullptr)) continue;
    taken.push_back(folder);
    WriteText(folder + L"\\keep.txt", "keep");
  }
  if (GetTickCount() >= start) {
    for (const std::wstring& f : taken) omb::ShellDeleteTree(f);
    GTEST_SKIP() << "preparing the folders took too long";
  }
  while (GetTickCount() < start) Sleep(0);
  std::wstring folder;
  EXPECT_TRUE(FAILED(omb::ExtractPackage(folder)));
  EXPECT_TRUE(folder.empty());
  size_t kept = 0;
  for (const std::wstring& f : taken) {
    kept += ReadText(f + L"\\keep.txt") == "keep" && List(f).size() == 1;
    omb::ShellDeleteTree(f);
  }
  EXPECT_EQ(300u, kept);
}

TEST_F(PackageTest, PackagedHostRunsFromATemporaryFolderAndRemovesIt) {
  const std::wstring host = Env(L"OMBREL_BUILD_DIR") + L"\\Ombrel.exe";
  const std::wstring reporter = Env(L"OMBREL_SUPPORT_DIR") + L"\\reporter.dll";
  if (!Exists(host) || !Exists(reporter)) GTEST_SKIP() << "needs the built host and reporter.dll";

  ASSERT_TRUE(CreateDirectoryW(Path(L"resource").c_str(), nullptr));
  ASSERT_TRUE(WriteText(Path(L"resource\\index.html"),
                        "<html><body><script>\n"
                        "var t = window.external.test;\n"
                        "t.log('page=' + location.href);\n"
                        "t.ok(true, 'the packaged page runs');\n"
                        "t.done();\n"
                        "</script></body></html>\n"));
  Bytes archive;
  omb::zip::CZipWriter writer([&](uint64_t offset, const BYTE* data, size_t size) {
    if (offset + size > archive.size()) archive.resize(static_cast<size_t>(offset + size));
    std::copy(data, data + size, archive.begin() + static_cast<ptrdiff_t>(offset));
    return S_OK;
  });
  ASSERT_EQ(S_OK, writer.AddFile(L"resource/index.html", Path(L"resource\\index.html")));
  ASSERT_EQ(S_OK, writer.AddFile(L"plugins/reporter.dll", reporter));
  ASSERT_EQ(S_OK, writer.Finish());
  Bytes packaged = ReadBytes(host);
  ASSERT_FALSE(packaged.empty());
  packaged.insert(packaged.end(), archive.begin(), archive.end());
  const std::wstring exe = Path(L"Packaged.exe");
  ASSERT_TRUE(WriteBytes(exe, packaged));

  const std::set<std::wstring> before = PackageFolders();
  std::string output;
  EXPECT_EQ(0, RunProgram(exe, &output)) << output;
  std::smatch match;
  ASSERT_TRUE(std::regex_search(output, match, std::regex("page=.*[\\\\/](OM[0-9A-F]{8})[\\\\/]resource")))
      << output;
  const std::string name = match[1];
  const std::wstring folder(name.begin(), name.end());
  EXPECT_EQ(0u, before.count(folder)) << "a new folder, not an old one reused";
  const std::wstring full = Env(L"temp") + L"\\" + folder;
  EXPECT_EQ(std::vector<std::wstring>{}, List(full)) << "the package's files are deleted at exit";
  EXPECT_FALSE(Exists(full)) << "the package folder itself is deleted at exit";
  if (Exists(full)) RemoveDirectoryW(full.c_str());
  EXPECT_EQ(before, PackageFolders());
}

}  // namespace
