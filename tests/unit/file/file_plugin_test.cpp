// The "file" plug-in as script calls it: its names, argument rules, results,
// deletion of trees, and the asynchronous members with the gtest thread as
// the user-interface thread (it pumps messages while workers call back).
#include "app/plugins/file/file_plugin.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/core/job.h"
#include "app/core/script_call.h"
#include "app/core/script_object.h"
#include "tests/unit/file/file_test_support.h"

namespace {

using filetest::Exists;
using filetest::MakeFolder;
using filetest::WriteBytes;

VARIANT Str(const omb::unique_bstr& s) { return ArgString(s.get()); }

class FilePluginTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(S_OK, com_.result());
    plugin_ = omb::Make<omb::CFilePlugin>();
    core_ = omb::Make<filetest::FakeCore>(dir.Path());
    // No browser here: Initialize refuses it but keeps the core for paths.
    EXPECT_EQ(E_INVALIDARG, plugin_->Initialize(core_.Get(), nullptr));
  }
  // A job has ended only when it has released what it holds in this
  // apartment, after its last call; the apartment must outlive that.
  void TearDown() override {
    EXPECT_TRUE(::WaitForJobs(10000)) << ::RunningJobs() << " job(s) still running";
  }

  DISPID Id(const wchar_t* name) {
    DISPID id = 0;
    LPOLESTR n = const_cast<LPOLESTR>(name);
    lastLookup_ = plugin_->GetIDsOfNames(IID_NULL, &n, 1, LOCALE_USER_DEFAULT, &id);
    return id;
  }
  // Calls name(args...) as script does (method + get), result into result_.
  HRESULT Call(const wchar_t* name, std::initializer_list<VARIANT> args,
               WORD flags = DISPATCH_METHOD | DISPATCH_PROPERTYGET) {
    std::vector<VARIANT> reversed(args.begin(), args.end());
    std::reverse(reversed.begin(), reversed.end());
    DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    return plugin_->Invoke(Id(name), IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result_.put(),
                           nullptr, nullptr);
  }
  omb::unique_bstr B(const std::wstring& s) { return omb::unique_bstr(SysAllocString(s.c_str())); }
  bool ResultIs(bool expected) {
    return result_.vt() == VT_BOOL && (result_->boolVal == VARIANT_TRUE) == expected;
  }

  filetest::ScratchFolder dir;
  omb::unique_coinit com_{COINIT_APARTMENTTHREADED};
  ComPtr<omb::CFilePlugin> plugin_;
  ComPtr<filetest::FakeCore> core_;
  omb::unique_variant result_;
  HRESULT lastLookup_ = S_OK;
};

TEST_F(FilePluginTest, NamesAreCaseSensitiveAndOnlyMethodCallsOfKnownMembersRun) {
  const std::pair<const wchar_t*, DISPID> names[] = {
      {L"isFileExist", -10000}, {L"deleteFile", -9999}, {L"copy", -9998},   {L"copyAsync", -9997},
      {L"move", -9996},         {L"moveAsync", -9995},  {L"mkDir", -9994},  {L"enumFiles", -9993},
      {L"getSize", -9992},      {L"isDir", -9991},      {L"isDirEmpty", -9990}};
  for (const auto& [name, id] : names) EXPECT_EQ(id, Id(name)) << name;
  Id(L"IsFileExist");
  EXPECT_EQ(DISP_E_UNKNOWNNAME, lastLookup_);

  auto path = B(L"x");
  EXPECT_EQ(E_NOTIMPL, Call(L"isFileExist", {Str(path)}, DISPATCH_PROPERTYGET));
  DISPPARAMS none{};
  EXPECT_EQ(E_NOTIMPL, plugin_->Invoke(-9989, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr,
                                       nullptr, nullptr));
  UINT count = 7;
  EXPECT_EQ(E_NOTIMPL, plugin_->GetTypeInfoCount(&count));
}

TEST_F(FilePluginTest, ArgumentCountsAndTypesAreChecked) {
  auto path = B(dir / L"p");
  // One string for the single-path members.
  for (const wchar_t* name : {L"isFileExist", L"mkDir", L"getSize", L"isDir", L"isDirEmpty"}) {
    EXPECT_EQ(E_NOTIMPL, Call(name, {})) << name;
    EXPECT_EQ(E_NOTIMPL, Call(name, {Str(path), Str(path)})) << name;
    EXPECT_EQ(E_INVALIDARG, Call(name, {ArgI4(1)})) << name;
  }
  EXPECT_EQ(E_NOTIMPL, Call(L"deleteFile", {}));
  EXPECT_EQ(E_NOTIMPL, Call(L"deleteFile", {Str(path), ArgBool(false), ArgBool(false)}));
  EXPECT_EQ(E_INVALIDARG, Call(L"deleteFile", {Str(path), ArgI4(1)}));
  EXPECT_EQ(E_INVALIDARG, Call(L"deleteFile", {ArgBool(true)}));
  EXPECT_EQ(E_NOTIMPL, Call(L"copy", {Str(path)}));
  EXPECT_EQ(E_INVALIDARG, Call(L"move", {Str(path), ArgI4(2)}));
  EXPECT_EQ(E_NOTIMPL, Call(L"copyAsync", {}));
  EXPECT_EQ(E_INVALIDARG, Call(L"moveAsync", {Str(path)}));
  EXPECT_EQ(E_NOTIMPL, Call(L"enumFiles", {}));
  EXPECT_EQ(E_INVALIDARG, Call(L"enumFiles", {ArgI4(3)}));
  // enumFiles uses its last argument: a number before a pattern is fine.
  EXPECT_EQ(S_OK, Call(L"enumFiles", {ArgI4(3), Str(path)}));
}

TEST_F(FilePluginTest, QueriesOnRelativeAndAbsolutePaths) {
  WriteBytes(dir / L"five.txt", 5);
  MakeFolder(dir / L"folder");
  auto relative = B(L"five.txt");
  auto folder = B(dir / L"folder");
  auto missing = B(L"missing");
  ASSERT_EQ(S_OK, Call(L"isFileExist", {Str(relative)}));
  EXPECT_TRUE(ResultIs(true)) << "a relative path is resolved through the core";
  ASSERT_EQ(S_OK, Call(L"isFileExist", {Str(missing)}));
  EXPECT_TRUE(ResultIs(false));
  ASSERT_EQ(S_OK, Call(L"isDir", {Str(folder)}));
  EXPECT_TRUE(ResultIs(true));
  ASSERT_EQ(S_OK, Call(L"isDir", {Str(relative)}));
  EXPECT_TRUE(ResultIs(false));

  ASSERT_EQ(S_OK, Call(L"getSize", {Str(relative)}));
  ASSERT_EQ(VT_UI8, result_.vt());
  EXPECT_EQ(5u, result_->ullVal);
  EXPECT_EQ(S_OK, Call(L"getSize", {Str(folder)}));
  EXPECT_EQ(VT_EMPTY, result_.vt()) << "a folder has no size";
  EXPECT_EQ(S_OK, Call(L"getSize", {Str(missing)}));
  EXPECT_EQ(VT_EMPTY, result_.vt());
}

TEST_F(FilePluginTest, MkDirAndIsDirEmpty) {
  auto fresh = B(dir / L"fresh");
  auto nested = B(dir / L"no\\parents");
  auto empty = B(L"");
  ASSERT_EQ(S_OK, Call(L"mkDir", {Str(fresh)}));
  EXPECT_TRUE(ResultIs(true));
  ASSERT_EQ(S_OK, Call(L"mkDir", {Str(fresh)}));
  EXPECT_TRUE(ResultIs(false)) << "it exists already";
  ASSERT_EQ(S_OK, Call(L"mkDir", {Str(nested)}));
  EXPECT_TRUE(ResultIs(false)) << "parents are not made";

  ASSERT_EQ(S_OK, Call(L"isDirEmpty", {Str(fresh)}));
  EXPECT_TRUE(ResultIs(true));
  ASSERT_EQ(S_OK, Call(L"isDirEmpty", {Str(empty)}));
  EXPECT_TRUE(ResultIs(false));
  WriteBytes(dir / L"fresh\\one", 1);
  ASSERT_EQ(S_OK, Call(L"isDirEmpty", {Str(fresh)}));
  EXPECT_TRUE(ResultIs(false));
  auto file = B(dir / L"fresh\\one");
  ASSERT_EQ(S_OK, Call(L"isDirEmpty", {Str(file)}));
  EXPECT_TRUE(ResultIs(false));
}

TEST_F(FilePluginTest, DeleteRemovesTreesWithReadOnlyAndNonAsciiEntries) {
  const std::wstring root = dir / L"tr\u00e9e \u6587";
  MakeFolder(root);
  MakeFolder(root + L"\\a");
  MakeFolder(root + L"\\a\\b");
  WriteBytes(root + L"\\a\\b\\deep \u00fc.txt", 3);
  WriteBytes(root + L"\\ro.txt", 2);
  SetFileAttributesW((root + L"\\ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  MakeFolder(root + L"\\rodir");
  WriteBytes(root + L"\\rodir\\in.txt", 1);
  SetFileAttributesW((root + L"\\rodir").c_str(), FILE_ATTRIBUTE_READONLY);
  MakeFolder(root + L"\\emptydir");

  auto path = B(root);
  ASSERT_EQ(S_OK, Call(L"deleteFile", {Str(path)}));
  EXPECT_TRUE(ResultIs(true));
  EXPECT_FALSE(Exists(root));

  // Files, empty folders and paths that do not exist.
  WriteBytes(dir / L"ro-file", 1);
  SetFileAttributesW((dir / L"ro-file").c_str(), FILE_ATTRIBUTE_READONLY);
  MakeFolder(dir / L"bare");
  for (const wchar_t* name : {L"ro-file", L"bare", L"never there"}) {
    auto p = B(dir / name);
    ASSERT_EQ(S_OK, Call(L"deleteFile", {Str(p), ArgBool(false)})) << name;
    EXPECT_TRUE(ResultIs(true)) << name;
    EXPECT_FALSE(Exists(dir / name)) << name;
  }
}

// The platform's list of removals pending for the next restart.
std::wstring PendingRemovals() {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"System\\CurrentControlSet\\Control\\Session Manager", 0,
                    KEY_READ, &key) != ERROR_SUCCESS)
    return {};
  DWORD bytes = 0;
  std::wstring text;
  if (RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, nullptr, nullptr, &bytes) ==
      ERROR_SUCCESS) {
    text.resize(bytes / sizeof(wchar_t));
    RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, nullptr,
                     reinterpret_cast<BYTE*>(text.data()), &bytes);
  }
  RegCloseKey(key);
  for (wchar_t& c : text) {
    if (c == 0) c = L'|';
  }
  return text;
}

TEST_F(FilePluginTest, DeleteAtRebootSchedulesEntriesThenTheFolder) {
  MakeFolder(dir / L"later");
  WriteBytes(dir / L"later\\inside.txt", 1);
  auto path = B(dir / L"later");
  ASSERT_EQ(S_OK, Call(L"deleteFile", {Str(path), ArgBool(true)}));
  if (ResultIs(false)) GTEST_SKIP() << "scheduling needs rights this account lacks";
  EXPECT_TRUE(Exists(dir / L"later\\inside.txt")) << "nothing is removed now";
  const std::wstring pending = PendingRemovals();
  const size_t file = pending.find(dir / L"later\\inside.txt");
  const size_t folder = pending.find(dir / L"later|");
  ASSERT_NE(std::wstring::npos, file) << pending;
  ASSERT_NE(std::wstring::npos, folder) << pending;
  EXPECT_LT(file, folder) << "the folder's contents are scheduled before it";
}

TEST_F(FilePluginTest, DeleteReportsAFileThatStaysOpen) {
  const std::wstring busy = dir / L"busy\\held.txt";
  MakeFolder(dir / L"busy");
  WriteBytes(busy, 1);
  omb::unique_file held(CreateFileW(busy.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(held);
  auto path = B(dir / L"busy");
  ASSERT_EQ(S_OK, Call(L"deleteFile", {Str(path)}));
  EXPECT_TRUE(ResultIs(false)) << "the folder cannot go while a file in it stays";
  EXPECT_TRUE(Exists(busy));
}

TEST_F(FilePluginTest, ShellCopyAndMove) {
  MakeFolder(dir / L"src");
  WriteBytes(dir / L"src\\f.txt", 4);
  auto src = B(dir / L"src");
  auto copied = B(dir / L"copied");
  auto moved = B(dir / L"moved");
  auto missing = B(dir / L"missing");
  ASSERT_EQ(S_OK, Call(L"copy", {Str(src), Str(copied)}));
  EXPECT_TRUE(ResultIs(true));
  EXPECT_TRUE(Exists(dir / L"copied\\f.txt"));
  ASSERT_EQ(S_OK, Call(L"move", {Str(copied), Str(moved)}));
  EXPECT_TRUE(ResultIs(true));
  EXPECT_TRUE(Exists(dir / L"moved\\f.txt"));
  EXPECT_FALSE(Exists(dir / L"copied"));
  ASSERT_EQ(S_OK, Call(L"copy", {Str(missing), Str(copied)}));
  EXPECT_TRUE(ResultIs(false));
}

// Async members: options {srcPath, destPath, success, fail, progress, context}.
class FileAsyncTest : public FilePluginTest {
 protected:
  ComPtr<CObject> Options(const std::wstring& src, const std::wstring& dst) {
    auto options = omb::Make<CObject>();
    auto s = B(src), d = B(dst), c = B(L"ctx");
    if (!src.empty()) {
      EXPECT_EQ(S_OK, options->SetMember(L"srcPath", Str(s)));
    }
    if (!dst.empty()) {
      EXPECT_EQ(S_OK, options->SetMember(L"destPath", Str(d)));
    }
    EXPECT_EQ(S_OK, options->SetMember(L"success", ArgObject(success.Get())));
    EXPECT_EQ(S_OK, options->SetMember(L"fail", ArgObject(fail.Get())));
    EXPECT_EQ(S_OK, options->SetMember(L"progress", ArgObject(progress.Get())));
    EXPECT_EQ(S_OK, options->SetMember(L"context", Str(c)));
    return options;
  }
  bool Finished() { return !success->calls.empty() || !fail->calls.empty(); }

  ComPtr<filetest::FakeFunction> success = filetest::NewFunction();
  ComPtr<filetest::FakeFunction> fail = filetest::NewFunction();
  ComPtr<filetest::FakeFunction> progress = filetest::NewFunction();
};

TEST_F(FileAsyncTest, AStartWithoutPathsCallsFailBeforeReturningFalse) {
  auto options = Options(L"", dir / L"x");
  ASSERT_EQ(S_OK, Call(L"copyAsync", {ArgObject(options.Get())}));
  EXPECT_TRUE(ResultIs(false));
  ASSERT_EQ(1u, fail->calls.size());
  EXPECT_EQ((std::vector<std::wstring>{L"3:-2147024809", L"8:ctx"}), fail->calls[0]);
  auto noDest = Options(dir / L"x", L"");
  ASSERT_EQ(S_OK, Call(L"moveAsync", {ArgObject(noDest.Get())}));
  EXPECT_TRUE(ResultIs(false));
  EXPECT_EQ(2u, fail->calls.size());
}

TEST_F(FileAsyncTest, AMissingSourceFailsLaterOnTheUiThread) {
  auto options = Options(dir / L"nothing", dir / L"x");
  ASSERT_EQ(S_OK, Call(L"copyAsync", {ArgObject(options.Get())}));
  EXPECT_TRUE(ResultIs(true));
  ASSERT_TRUE(filetest::PumpUntil([&] { return Finished(); }));
  ASSERT_EQ(1u, fail->calls.size());
  EXPECT_EQ((std::vector<std::wstring>{L"3:-2147024894", L"8:ctx"}), fail->calls[0]);
  EXPECT_EQ(GetCurrentThreadId(), fail->threads[0]);
  EXPECT_TRUE(success->calls.empty());
}

TEST_F(FileAsyncTest, CopyAndRenameSucceedWithTheContext) {
  MakeFolder(dir / L"src");
  WriteBytes(dir / L"src\\f.txt", 6);
  auto copy = Options(L"src", L"dst");  // relative: resolved through the core
  ASSERT_EQ(S_OK, Call(L"copyAsync", {ArgObject(copy.Get())}));
  EXPECT_TRUE(ResultIs(true));
  ASSERT_TRUE(filetest::PumpUntil([&] { return Finished(); }));
  ASSERT_EQ(1u, success->calls.size()) << (fail->calls.empty() ? L"" : fail->calls[0][0]);
  EXPECT_EQ(std::vector<std::wstring>{L"8:ctx"}, success->calls[0]);
  EXPECT_EQ(6u, filetest::SizeOf(dir / L"dst\\f.txt"));

  success->calls.clear();
  auto move = Options(dir / L"dst", dir / L"renamed");
  ASSERT_EQ(S_OK, Call(L"moveAsync", {ArgObject(move.Get())}));
  ASSERT_TRUE(filetest::PumpUntil([&] { return Finished(); }));
  EXPECT_EQ(1u, success->calls.size());
  EXPECT_TRUE(Exists(dir / L"renamed\\f.txt"));
  EXPECT_FALSE(Exists(dir / L"dst"));
  EXPECT_TRUE(progress->calls.empty()) << "a rename reports no progress";
}

TEST_F(FileAsyncTest, EnumFilesWalksOnAWorkerAndStopsOnFalse) {
  MakeFolder(dir / L"w");
  MakeFolder(dir / L"w\\sub");
  WriteBytes(dir / L"w\\sub\\in.txt", 3);
  WriteBytes(dir / L"w\\top.txt", 2);
  auto callback = filetest::NewFunction();
  auto completed = filetest::NewFunction();
  auto options = omb::Make<CObject>();
  auto path = B(dir / L"w");
  auto context = B(L"unused");
  ASSERT_EQ(S_OK, options->SetMember(L"path", Str(path)));
  ASSERT_EQ(S_OK, options->SetMember(L"callback", ArgObject(callback.Get())));
  ASSERT_EQ(S_OK, options->SetMember(L"completed", ArgObject(completed.Get())));
  ASSERT_EQ(S_OK, options->SetMember(L"context", Str(context)));

  ASSERT_EQ(S_OK, Call(L"enumFiles", {ArgObject(options.Get())}));
  EXPECT_EQ(VT_EMPTY, result_.vt());
  ASSERT_TRUE(filetest::PumpUntil([&] { return !completed->calls.empty(); }));
  EXPECT_EQ(std::vector<std::wstring>{}, completed->calls[0]) << "completed() takes nothing";
  ASSERT_EQ(3u, callback->calls.size());
  std::vector<std::wstring> paths;
  for (const auto& call : callback->calls) {
    ASSERT_EQ(3u, call.size()) << "fullPath, attributes, size and no context";
    paths.push_back(call[0]);
    if (call[0] == L"8:" + dir / L"w\\sub\\in.txt") {
      EXPECT_EQ(L"5:3", call[2]);
    }
    if (call[0] == L"8:" + dir / L"w\\sub") {
      EXPECT_EQ(L"19:16", call[1].substr(0, 5));
    }
  }
  const auto in = std::find(paths.begin(), paths.end(), L"8:" + dir / L"w\\sub\\in.txt");
  const auto sub = std::find(paths.begin(), paths.end(), L"8:" + dir / L"w\\sub");
  EXPECT_LT(in, sub) << "a folder comes after its contents";

  // Not recursive, and stopped by the first answer of false.
  callback->calls.clear();
  completed->calls.clear();
  omb::SetBool(callback->answer.put(), false);
  ASSERT_EQ(S_OK, options->SetMember(L"recursive", ArgBool(false)));
  ASSERT_EQ(S_OK, Call(L"enumFiles", {ArgObject(options.Get())}));
  ASSERT_TRUE(filetest::PumpUntil([&] { return !completed->calls.empty(); }));
  EXPECT_EQ(1u, callback->calls.size());
  EXPECT_EQ(1u, completed->calls.size());
}

TEST_F(FilePluginTest, EnumFilesPatternWithoutAPageGivesNull) {
  WriteBytes(dir / L"a.txt", 1);
  auto pattern = B(dir / L"*");
  ASSERT_EQ(S_OK, Call(L"enumFiles", {Str(pattern)}));
  EXPECT_EQ(VT_NULL, result_.vt());
}

}  // namespace
