#include "app/core/walk.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

struct Visit {
  std::wstring path;
  DWORD attributes;
  ULONGLONG size;
};

// Records every visit; answers E_ABORT for the first path containing abortOn.
struct Recorder {
  std::vector<Visit> visits;
  HRESULT answer = S_OK;
  std::wstring abortOn;

  static HRESULT Record(void* data, const wchar_t* path, DWORD attributes, ULONGLONG size) {
    auto* self = static_cast<Recorder*>(data);
    self->visits.push_back({path, attributes, size});
    if (!self->abortOn.empty() &&
        self->visits.back().path.find(self->abortOn) != std::wstring::npos)
      return E_ABORT;
    return self->answer;
  }

  std::vector<std::wstring> SortedPaths() const {
    std::vector<std::wstring> paths;
    for (const Visit& v : visits) paths.push_back(v.path);
    std::sort(paths.begin(), paths.end());
    return paths;
  }

  const Visit* Find(const std::wstring& path) const {
    for (const Visit& v : visits)
      if (v.path == path) return &v;
    return nullptr;
  }

  ptrdiff_t IndexOf(const std::wstring& path) const {
    const Visit* v = Find(path);
    return v ? v - visits.data() : -1;
  }
};

// Removes a tree through "\\?\" paths, so that depth is no obstacle; links
// are removed, not entered.
void RemoveTree(const std::wstring& folder) {
  WIN32_FIND_DATAW entry;
  HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &entry);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = entry.cFileName;
      const std::wstring path = folder + L"\\" + name;
      if (name == L"." || name == L"..") continue;
      if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        DeleteFileW(path.c_str());
      } else if (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        RemoveDirectoryW(path.c_str());
      } else {
        RemoveTree(path);
      }
    } while (FindNextFileW(find, &entry));
    FindClose(find);
  }
  RemoveDirectoryW(folder.c_str());
}

class WalkDirectoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH + 1];
    ASSERT_NE(GetTempPathW(MAX_PATH + 1, temp), 0u);
    static int counter = 0;
    root_ = std::wstring(temp) + L"ombrel-walk-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(GetTickCount64()) + L"-" + std::to_wstring(++counter);
    ASSERT_TRUE(CreateDirectoryW(root_.c_str(), nullptr));
  }

  void TearDown() override {
    if (!root_.empty()) RemoveTree(L"\\\\?\\" + root_);
  }

  std::wstring Path(const std::wstring& relative) const { return root_ + L"\\" + relative; }

  void MakeFolder(const std::wstring& relative) {
    ASSERT_TRUE(CreateDirectoryW(Path(relative).c_str(), nullptr)) << relative;
  }

  void MakeFile(const std::wstring& relative, DWORD size = 0) {
    HANDLE file = CreateFileW(Path(relative).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << relative;
    const std::string bytes(size, 'x');
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(file, bytes.data(), size, &written, nullptr));
    CloseHandle(file);
  }

  HRESULT Walk(Recorder& recorder, const wchar_t* filter, bool recursive) {
    return WalkDirectory(root_.c_str(), filter, recursive, &Recorder::Record, &recorder);
  }

  std::vector<std::wstring> Paths(std::vector<std::wstring> relative) const {
    for (std::wstring& p : relative) p = Path(p);
    std::sort(relative.begin(), relative.end());
    return relative;
  }

  std::wstring root_;
};

TEST_F(WalkDirectoryTest, RecursiveWalkReportsEverythingWithContentsBeforeTheirFolder) {
  MakeFolder(L"a");
  MakeFolder(L"a\\b");
  MakeFile(L"a\\b\\c.txt", 3);
  MakeFile(L"a\\d.txt", 5);
  MakeFolder(L"a\\e");
  MakeFile(L"top.txt");

  Recorder r;
  EXPECT_EQ(Walk(r, nullptr, true), S_OK);
  EXPECT_EQ(r.SortedPaths(),
            Paths({L"a", L"a\\b", L"a\\b\\c.txt", L"a\\d.txt", L"a\\e", L"top.txt"}));
  EXPECT_LT(r.IndexOf(Path(L"a\\b\\c.txt")), r.IndexOf(Path(L"a\\b")));
  EXPECT_LT(r.IndexOf(Path(L"a\\b")), r.IndexOf(Path(L"a")));
  EXPECT_LT(r.IndexOf(Path(L"a\\d.txt")), r.IndexOf(Path(L"a")));
  EXPECT_LT(r.IndexOf(Path(L"a\\e")), r.IndexOf(Path(L"a")));

  const Visit* file = r.Find(Path(L"a\\d.txt"));
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(file->size, 5u);
  EXPECT_EQ(file->attributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
  EXPECT_EQ(r.Find(Path(L"a\\b\\c.txt"))->size, 3u);
  const Visit* folder = r.Find(Path(L"a"));
  EXPECT_EQ(folder->size, 0u);
  EXPECT_NE(folder->attributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
}

TEST_F(WalkDirectoryTest, NonRecursiveWalkReportsSubFoldersWithoutEnteringThem) {
  MakeFolder(L"sub");
  MakeFile(L"sub\\inner.txt");
  MakeFile(L"top.txt");

  Recorder r;
  EXPECT_EQ(Walk(r, nullptr, false), S_OK);
  EXPECT_EQ(r.SortedPaths(), Paths({L"sub", L"top.txt"}));
}

TEST_F(WalkDirectoryTest, TrailingBackslashIsOptional) {
  MakeFile(L"x.txt");
  Recorder r;
  EXPECT_EQ(WalkDirectory((root_ + L"\\").c_str(), nullptr, false, &Recorder::Record, &r), S_OK);
  EXPECT_EQ(r.SortedPaths(), Paths({L"x.txt"}));
}

TEST_F(WalkDirectoryTest, ResultComesFromTheLastVisitOrInnerWalkAndIsEFailWhenNothingWasVisited) {
  Recorder empty;
  EXPECT_EQ(Walk(empty, nullptr, true), E_FAIL);
  EXPECT_TRUE(empty.visits.empty());

  MakeFolder(L"sub");
  Recorder filteredOut;
  EXPECT_EQ(Walk(filteredOut, L"\\.txt$", true), E_FAIL) << "an empty inner walk answers E_FAIL";
  EXPECT_TRUE(filteredOut.visits.empty());

  MakeFile(L"sub\\x.txt");
  Recorder inner;
  EXPECT_EQ(Walk(inner, L"\\.txt$", true), S_OK) << "the inner walk's result carries out";
  EXPECT_EQ(inner.SortedPaths(), Paths({L"sub\\x.txt"}));

  Recorder answering;
  answering.answer = S_FALSE;
  EXPECT_EQ(Walk(answering, nullptr, true), S_FALSE);
}

TEST_F(WalkDirectoryTest, EAbortStopsTheWholeWalkAtOnce) {
  for (int i = 0; i < 5; ++i) MakeFile(L"f" + std::to_wstring(i));
  MakeFolder(L"sub");
  for (int i = 0; i < 3; ++i) MakeFile(L"sub\\g" + std::to_wstring(i));

  Recorder first;
  first.abortOn = root_;
  EXPECT_EQ(Walk(first, nullptr, true), E_ABORT);
  EXPECT_EQ(first.visits.size(), 1u);

  Recorder nested;
  nested.abortOn = L"\\sub\\";
  EXPECT_EQ(Walk(nested, nullptr, true), E_ABORT);
  ASSERT_FALSE(nested.visits.empty());
  EXPECT_NE(nested.visits.back().path.find(L"\\sub\\"), std::wstring::npos);
  EXPECT_EQ(
      std::count_if(nested.visits.begin(), nested.visits.end(),
                    [](const Visit& v) { return v.path.find(L"\\sub") != std::wstring::npos; }),
      1);
}

TEST_F(WalkDirectoryTest, DllFilterIsCaseSensitiveAnchoredAndAppliesToFolders) {
  MakeFile(L"x.dll");
  MakeFile(L"y.DLL");
  MakeFile(L"z.dll.bak");
  MakeFile(L"readme.txt");
  MakeFolder(L"lib.dll");

  Recorder r;
  EXPECT_EQ(Walk(r, L"\\.dll$", false), S_OK);
  EXPECT_EQ(r.SortedPaths(), Paths({L"lib.dll", L"x.dll"}));
}

TEST_F(WalkDirectoryTest, FilterMatchesTheFullPath) {
  MakeFolder(L"sub");
  MakeFile(L"sub\\a.txt");
  MakeFile(L"top.txt");

  Recorder r;
  EXPECT_EQ(Walk(r, L"\\\\sub\\\\", true), S_OK);
  EXPECT_EQ(r.SortedPaths(), Paths({L"sub\\a.txt"}));
}

TEST_F(WalkDirectoryTest, UncompilableFilterLetsEveryEntryPass) {
  MakeFolder(L"sub");
  MakeFile(L"sub\\a.txt");
  MakeFile(L"b.bin");
  for (const wchar_t* filter : {L"(", L"[abc", L"*"}) {
    Recorder r;
    EXPECT_EQ(Walk(r, filter, true), S_OK) << filter;
    EXPECT_EQ(r.SortedPaths(), Paths({L"b.bin", L"sub", L"sub\\a.txt"})) << filter;
  }
}

TEST_F(WalkDirectoryTest, NonAsciiNamesAreReportedAndFilteredExactly) {
  MakeFolder(L"Ünïcødé文件");
  MakeFile(L"Ünïcødé文件\\数据.txt", 2);
  MakeFile(L"Ünïcødé文件.txt");

  Recorder all;
  EXPECT_EQ(Walk(all, nullptr, true), S_OK);
  EXPECT_EQ(all.SortedPaths(),
            Paths({L"Ünïcødé文件", L"Ünïcødé文件.txt", L"Ünïcødé文件\\数据.txt"}));
  EXPECT_EQ(all.Find(Path(L"Ünïcødé文件\\数据.txt"))->size, 2u);

  Recorder filtered;
  EXPECT_EQ(Walk(filtered, L"文件\\.txt$", true), S_OK);
  EXPECT_EQ(filtered.SortedPaths(), Paths({L"Ünïcødé文件.txt"}));
}

TEST_F(WalkDirectoryTest, FolderThatCannotBeListedAnswersItsLastErrorResult) {
  Recorder r;
  EXPECT_EQ(WalkDirectory(Path(L"missing").c_str(), nullptr, true, &Recorder::Record, &r),
            static_cast<HRESULT>(0x80070003));
  EXPECT_TRUE(r.visits.empty());
  EXPECT_EQ(WalkDirectory(nullptr, nullptr, true, &Recorder::Record, &r), E_INVALIDARG);
  EXPECT_EQ(WalkDirectory(root_.c_str(), nullptr, true, nullptr, nullptr), E_INVALIDARG);
}

TEST_F(WalkDirectoryTest, TreesDeeperThanMaxPathAreWalked) {
  const std::wstring longRoot = L"\\\\?\\" + root_;
  std::wstring folder = longRoot;
  const int depth = 40;
  for (int i = 0; i < depth; ++i) {
    folder += L"\\a-rather-long-folder-name-" + std::to_wstring(i);
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr)) << GetLastError();
  }
  const std::wstring deepest = folder + L"\\deepest.txt";
  HANDLE file = CreateFileW(deepest.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  CloseHandle(file);
  ASSERT_GT(deepest.size(), 1000u);

  Recorder r;
  EXPECT_EQ(WalkDirectory(longRoot.c_str(), nullptr, true, &Recorder::Record, &r), S_OK);
  ASSERT_EQ(r.visits.size(), static_cast<size_t>(depth + 1));
  EXPECT_EQ(r.visits.front().path, deepest);
}

TEST_F(WalkDirectoryTest, LinkedFoldersAreReportedButNotEntered) {
  MakeFolder(L"target");
  MakeFile(L"target\\inside.txt");
  // Needs the privilege (or developer mode) on Windows; Wine answers success
  // without making a link, hence the attribute check.
  CreateSymbolicLinkW(Path(L"link").c_str(), Path(L"target").c_str(),
                      SYMBOLIC_LINK_FLAG_DIRECTORY | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE);
  const DWORD attributes = GetFileAttributesW(Path(L"link").c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    GTEST_SKIP() << "folder links cannot be made here";
  }
  Recorder r;
  EXPECT_EQ(Walk(r, nullptr, true), S_OK);
  EXPECT_EQ(r.SortedPaths(), Paths({L"link", L"target", L"target\\inside.txt"}));
}

// Windows folder links cannot be made under Wine; what counts as one is
// checked on the attribute and tag values the platform reports.
TEST(FolderLink, IsANameSurrogateReparsePointOrOneWithoutTag) {
  const DWORD folder = FILE_ATTRIBUTE_DIRECTORY, reparse = folder | FILE_ATTRIBUTE_REPARSE_POINT;
  EXPECT_TRUE(IsFolderLink(reparse, IO_REPARSE_TAG_SYMLINK));
  EXPECT_TRUE(IsFolderLink(reparse, IO_REPARSE_TAG_MOUNT_POINT));  // a junction
  EXPECT_TRUE(IsFolderLink(reparse, 0));  // how Wine shows a Unix symbolic link
  EXPECT_FALSE(IsFolderLink(reparse, 0x9000701A));  // a cloud-file placeholder
  EXPECT_FALSE(IsFolderLink(folder, IO_REPARSE_TAG_SYMLINK));
}

}  // namespace
