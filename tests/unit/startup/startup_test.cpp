// The host's start and end as a user meets them, by running the built
// Ombrel.exe: a host that cannot open its first window (a wrong "d", a package
// without a start page) ends at once with a non-zero exit code and leaves no
// package folder; a host told to quit while a job writes a file stops the job
// and leaves no partial file.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "app/core/startup.h"
#include "app/plugins/zip/zip_writer.h"

namespace {

constexpr DWORD kHostBoundMs = 30000;

std::wstring Env(const wchar_t* name) {
  wchar_t value[MAX_PATH] = L"";
  const DWORD n = GetEnvironmentVariableW(name, value, MAX_PATH);
  return n && n < MAX_PATH ? value : L"";
}

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool MakeFolder(const std::wstring& path) {
  return CreateDirectoryW(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

bool WriteBytes(const std::wstring& path, const std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == bytes.size();
}

std::string ReadBytes(const std::wstring& path) {
  std::string out;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return out;
  char buffer[65536];
  DWORD read = 0;
  while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read) out.append(buffer, read);
  CloseHandle(file);
  return out;
}

std::set<std::wstring> PackageFolders() {
  std::set<std::wstring> out;
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((Env(L"TEMP") + L"\\OM*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return out;
  do {
    out.insert(data.cFileName);
  } while (FindNextFileW(find, &data));
  FindClose(find);
  return out;
}

// Runs exe with the arguments in folder; its exit code, or a test failure
// when it does not end within the bound.
::testing::AssertionResult RunsToEnd(const std::wstring& exe, const std::wstring& arguments,
                                     const std::wstring& folder, DWORD* exitCode) {
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  std::wstring command = L"\"" + exe + L"\" " + arguments;
  if (!CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      folder.c_str(), &si, &pi))
    return ::testing::AssertionFailure() << "cannot start " << ::testing::PrintToString(exe);
  CloseHandle(pi.hThread);
  const DWORD wait = WaitForSingleObject(pi.hProcess, kHostBoundMs);
  if (wait != WAIT_OBJECT_0) {
    TerminateProcess(pi.hProcess, 99);
    WaitForSingleObject(pi.hProcess, 5000);
    CloseHandle(pi.hProcess);
    return ::testing::AssertionFailure()
           << "the host did not end within " << kHostBoundMs << " ms: " << ::testing::PrintToString(command);
  }
  GetExitCodeProcess(pi.hProcess, exitCode);
  CloseHandle(pi.hProcess);
  return ::testing::AssertionSuccess();
}

class StartupTest : public testing::Test {
 protected:
  void SetUp() override {
    host_ = Env(L"OMBREL_BUILD_DIR") + L"\\Ombrel.exe";
    if (!Exists(host_)) GTEST_SKIP() << "needs the built host";
    wchar_t cwd[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, cwd);
    dir_ = cwd;  // the harness empties it before every run
  }
  std::wstring Path(const std::wstring& relative) const { return dir_ + L"\\" + relative; }

  std::wstring host_;
  std::wstring dir_;
};

TEST_F(StartupTest, AMissingStartPageEndsTheHostWithAFailureCode) {
  DWORD code = 0;
  ASSERT_TRUE(RunsToEnd(host_, L"d=" + Path(L"no-such-app"), dir_, &code));
  EXPECT_EQ(static_cast<DWORD>(omb::kExitNoFirstWindow), code);
}

TEST_F(StartupTest, APackageWithoutStartPageEndsAndLeavesNoFolder) {
  ASSERT_TRUE(WriteBytes(Path(L"readme.txt"), "no start page here\n"));
  std::string archive;
  omb::zip::CZipWriter writer([&](uint64_t offset, const BYTE* data, size_t size) {
    if (offset + size > archive.size()) archive.resize(static_cast<size_t>(offset + size));
    archive.replace(static_cast<size_t>(offset), size, reinterpret_cast<const char*>(data), size);
    return S_OK;
  });
  ASSERT_EQ(S_OK, writer.AddFile(L"readme.txt", Path(L"readme.txt")));
  ASSERT_EQ(S_OK, writer.Finish());
  const std::wstring packaged = Path(L"Broken.exe");
  ASSERT_TRUE(WriteBytes(packaged, ReadBytes(host_) + archive));

  const std::set<std::wstring> before = PackageFolders();
  DWORD code = 0;
  ASSERT_TRUE(RunsToEnd(packaged, L"", dir_, &code));
  EXPECT_EQ(static_cast<DWORD>(omb::kExitNoFirstWindow), code);
  EXPECT_EQ(before, PackageFolders()) << "the extracted package folder is deleted";
}

// The page zips a folder and quits from the job's first progress call: the
// exit stops the job, which removes its unfinished archive, before the
// process ends.
TEST_F(StartupTest, QuittingWhileAJobWritesLeavesNoPartialFile) {
  ASSERT_TRUE(MakeFolder(Path(L"app")));
  ASSERT_TRUE(MakeFolder(Path(L"app\\resource")));
  ASSERT_TRUE(MakeFolder(Path(L"app\\resource\\data")));
  DeleteFileW(Path(L"app\\out.zip").c_str());
  for (int i = 0; i < 8; ++i)
    ASSERT_TRUE(WriteBytes(Path(L"app\\resource\\data\\f" + std::to_wstring(i) + L".txt"),
                           std::string(100000 + i, static_cast<char>('a' + i))));
  ASSERT_TRUE(WriteBytes(Path(L"app\\resource\\index.html"),
                         "<html><body><script>\n"
                         "queryModule('minizip').zip({src: ['data'], dest: '..\\\\out.zip',\n"
                         "  progress: function () { queryModule('window').quit(7); }});\n"
                         "</script></body></html>\n"));
  DWORD code = 0;
  ASSERT_TRUE(RunsToEnd(host_, L"d=" + Path(L"app"), Path(L"app"), &code));
  EXPECT_EQ(7u, code) << "the exit code quit gave";
  EXPECT_FALSE(Exists(Path(L"app\\out.zip"))) << "the stopped job's unfinished archive";
}

}  // namespace
