// The copy/move work without threads or script: item order, totals,
// outcomes, and the progress routine's decisions (called directly, since the
// platform's copy calls do not call it everywhere).
#include "app/plugins/file/copy_operation.h"

#include <gtest/gtest.h>

#include <malloc.h>

#include <string>
#include <utility>
#include <vector>

#include "sdk/com.h"
#include "tests/unit/file/file_test_support.h"

namespace {

using filetest::Exists;
using filetest::MakeFolder;
using filetest::SizeOf;
using filetest::WriteBytes;

class RecordingSink : public omb::CProgressSink {
 public:
  bool wanted = true;
  HRESULT callResult = S_OK;
  omb::unique_variant answer;
  std::vector<std::pair<double, double>> reports;

  bool Wanted() noexcept override { return wanted; }
  HRESULT Report(double done, double total, VARIANT* out) noexcept override {
    reports.emplace_back(done, total);
    VariantCopy(out, answer.get());
    return callResult;
  }
};

DWORD Progress(omb::CCopyOperation& op, LONGLONG transferred) {
  LARGE_INTEGER t, zero{};
  t.QuadPart = transferred;
  return omb::CCopyOperation::ProgressRoutine(zero, t, zero, zero, 1, 0, nullptr, nullptr, &op);
}

class CopyOperationTest : public testing::Test {
 protected:
  // src: a.txt (3 bytes), sub\b.txt (5), sub\deep\c.txt (7) and an empty folder.
  void MakeTree() {
    MakeFolder(dir / L"src");
    WriteBytes(dir / L"src\\a.txt", 3);
    MakeFolder(dir / L"src\\sub");
    WriteBytes(dir / L"src\\sub\\b.txt", 5);
    MakeFolder(dir / L"src\\sub\\deep");
    WriteBytes(dir / L"src\\sub\\deep\\c.txt", 7);
    MakeFolder(dir / L"src\\empty");
  }
  static ptrdiff_t IndexOf(const std::vector<std::wstring>& items, const std::wstring& item) {
    for (size_t i = 0; i < items.size(); ++i)
      if (items[i] == item) return static_cast<ptrdiff_t>(i);
    return -1;
  }

  filetest::ScratchFolder dir;
};

TEST_F(CopyOperationTest, CopyListsFoldersBeforeTheirContentsAndMoveAfter) {
  MakeTree();
  omb::CCopyOperation copy(dir / L"src", dir / L"dst", false, false, nullptr);
  ASSERT_EQ(S_OK, copy.CollectItems());
  const auto& c = copy.Items();
  ASSERT_EQ(7u, c.size());
  EXPECT_EQ(L"", c.front());
  EXPECT_LT(IndexOf(c, L"sub"), IndexOf(c, L"sub\\b.txt"));
  EXPECT_LT(IndexOf(c, L"sub"), IndexOf(c, L"sub\\deep"));
  EXPECT_LT(IndexOf(c, L"sub\\deep"), IndexOf(c, L"sub\\deep\\c.txt"));
  EXPECT_GE(IndexOf(c, L"empty"), 0);
  EXPECT_EQ(15u, copy.Total());

  omb::CCopyOperation move(dir / L"src", dir / L"dst", true, false, nullptr);
  ASSERT_EQ(S_OK, move.CollectItems());
  const auto& m = move.Items();
  ASSERT_EQ(7u, m.size());
  EXPECT_EQ(L"", m.back());
  EXPECT_GT(IndexOf(m, L"sub"), IndexOf(m, L"sub\\b.txt"));
  EXPECT_GT(IndexOf(m, L"sub"), IndexOf(m, L"sub\\deep"));
  EXPECT_GT(IndexOf(m, L"sub\\deep"), IndexOf(m, L"sub\\deep\\c.txt"));
  EXPECT_EQ(15u, move.Total());
}

TEST_F(CopyOperationTest, LinkedFoldersAreNotEntered) {
  MakeTree();
  MakeFolder(dir / L"outside");
  WriteBytes(dir / L"outside\\far.txt", 2);
  // Wine answers success without making a link, hence the attribute check.
  CreateSymbolicLinkW((dir / L"src\\link").c_str(), (dir / L"outside").c_str(),
                      SYMBOLIC_LINK_FLAG_DIRECTORY | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE);
  const DWORD attributes = GetFileAttributesW((dir / L"src\\link").c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    GTEST_SKIP() << "folder links cannot be made here";
  }
  omb::CCopyOperation op(dir / L"src", dir / L"dst", true, false, nullptr);
  ASSERT_EQ(S_OK, op.CollectItems());
  EXPECT_GE(IndexOf(op.Items(), L"link"), 0);
  EXPECT_LT(IndexOf(op.Items(), L"link\\far.txt"), 0);
}

TEST_F(CopyOperationTest, ASingleFileIsTheOneEmptyItem) {
  WriteBytes(dir / L"one.bin", 10);
  omb::CCopyOperation op(dir / L"one.bin", dir / L"two.bin", false, false, nullptr);
  ASSERT_EQ(S_OK, op.CollectItems());
  EXPECT_EQ(std::vector<std::wstring>{L""}, op.Items());
  EXPECT_EQ(10u, op.Total());
}

TEST_F(CopyOperationTest, CopiesATreeAndCountsTheBytesDone) {
  MakeTree();
  omb::CCopyOperation op(dir / L"src", dir / L"dst", false, false, nullptr);
  ASSERT_EQ(S_OK, op.Run());
  EXPECT_EQ(5u, SizeOf(dir / L"dst\\sub\\b.txt"));
  EXPECT_EQ(7u, SizeOf(dir / L"dst\\sub\\deep\\c.txt"));
  EXPECT_TRUE(Exists(dir / L"dst\\empty"));
  EXPECT_TRUE(Exists(dir / L"src\\a.txt")) << "a copy leaves the source";
  EXPECT_EQ(15u, op.Done());
}

TEST_F(CopyOperationTest, ExistingFilesAreKeptUnlessReplacing) {
  WriteBytes(dir / L"from.txt", 4);
  WriteBytes(dir / L"to.txt", 9);
  omb::CCopyOperation keep(dir / L"from.txt", dir / L"to.txt", false, false, nullptr);
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_EXISTS), keep.Run());
  EXPECT_EQ(9u, SizeOf(dir / L"to.txt"));
  omb::CCopyOperation replace(dir / L"from.txt", dir / L"to.txt", false, true, nullptr);
  EXPECT_EQ(S_OK, replace.Run());
  EXPECT_EQ(4u, SizeOf(dir / L"to.txt"));
}

TEST_F(CopyOperationTest, FailuresBeforeAndDuringTheWork) {
  omb::CCopyOperation missing(dir / L"nothing", dir / L"dst", false, false, nullptr);
  EXPECT_EQ(static_cast<HRESULT>(0x80070002), missing.Run());
  omb::CCopyOperation empty(L"", dir / L"dst", true, false, nullptr);
  EXPECT_EQ(static_cast<HRESULT>(0x80070002), empty.Run());

  // A file where the copy needs a sub-folder.
  MakeTree();
  MakeFolder(dir / L"dst");
  WriteBytes(dir / L"dst\\sub", 1);
  omb::CCopyOperation blocked(dir / L"src", dir / L"dst", false, false, nullptr);
  EXPECT_EQ(E_FAIL, blocked.Run());
}

// A move to another drive goes item by item: parents are created, files
// moved, and the emptied source folders removed.
TEST_F(CopyOperationTest, MoveToAnotherRootMovesItemByItem) {
  MakeTree();
  wchar_t unixTemp[MAX_PATH] = L"Z:\\tmp";
  if (!Exists(unixTemp) || dir.Path()[0] == L'Z') GTEST_SKIP() << "no second drive here";
  filetest::ScratchFolder other;  // same drive as dir; the destination is on Z:
  const std::wstring destination =
      std::wstring(unixTemp) + L"\\omb-move-" + std::to_wstring(GetCurrentProcessId());
  filetest::RemoveTree(destination);
  omb::CCopyOperation op(dir / L"src", destination, true, false, nullptr);
  EXPECT_EQ(S_OK, op.Run());
  EXPECT_EQ(7u, SizeOf(destination + L"\\sub\\deep\\c.txt"));
  EXPECT_TRUE(Exists(destination + L"\\empty"));
  EXPECT_FALSE(Exists(dir / L"src"));
  filetest::RemoveTree(destination);
}

TEST_F(CopyOperationTest, MoveOnOneRootIsOneRename) {
  MakeTree();
  RecordingSink sink;
  omb::CCopyOperation op(dir / L"src", dir / L"moved", true, false, &sink);
  EXPECT_EQ(S_OK, op.Run());
  EXPECT_TRUE(op.Items().empty()) << "nothing is collected for a rename";
  EXPECT_EQ(5u, SizeOf(dir / L"moved\\sub\\b.txt"));
  EXPECT_FALSE(Exists(dir / L"src"));
  EXPECT_TRUE(sink.reports.empty());
}

TEST_F(CopyOperationTest, ProgressReportsDoneAndTotalAndCancelsOnFalse) {
  WriteBytes(dir / L"a.bin", 4);
  WriteBytes(dir / L"b.bin", 6);
  RecordingSink sink;
  omb::CCopyOperation op(dir / L"a.bin", dir / L"c.bin", false, false, &sink);
  ASSERT_EQ(S_OK, op.CollectItems());

  EXPECT_EQ(static_cast<DWORD>(PROGRESS_CONTINUE), Progress(op, 3));
  EXPECT_EQ(static_cast<DWORD>(PROGRESS_CONTINUE), Progress(op, 50));  // clamped to the total
  ASSERT_EQ(2u, sink.reports.size());
  EXPECT_EQ(std::make_pair(3.0, 4.0), sink.reports[0]);
  EXPECT_EQ(std::make_pair(4.0, 4.0), sink.reports[1]);

  omb::SetBool(sink.answer.put(), false);
  EXPECT_EQ(static_cast<DWORD>(PROGRESS_CANCEL), Progress(op, 1));
  omb::SetBool(sink.answer.put(), true);
  EXPECT_EQ(static_cast<DWORD>(PROGRESS_CONTINUE), Progress(op, 1));
  omb::SetI4(sink.answer.put(), 0);  // only the boolean false cancels
  EXPECT_EQ(static_cast<DWORD>(PROGRESS_CONTINUE), Progress(op, 1));
  sink.answer.put();
  sink.callResult = DISP_E_EXCEPTION;  // the function threw, or the window is gone
  EXPECT_EQ(static_cast<DWORD>(PROGRESS_CANCEL), Progress(op, 1));
}

TEST_F(CopyOperationTest, ProgressWithoutAFunctionContinuesSilently) {
  RecordingSink sink;
  sink.wanted = false;
  omb::SetBool(sink.answer.put(), false);
  omb::CCopyOperation op(dir / L"x", dir / L"y", false, false, &sink);
  EXPECT_EQ(static_cast<DWORD>(PROGRESS_CONTINUE), Progress(op, 1));
  EXPECT_TRUE(sink.reports.empty());
  omb::CCopyOperation none(dir / L"x", dir / L"y", false, false, nullptr);
  EXPECT_EQ(static_cast<DWORD>(PROGRESS_CONTINUE), Progress(none, 1));
}

struct Collection {
  omb::CCopyOperation operation;
  HRESULT result = E_PENDING;
};

// Collects with only about 48 KiB of the thread's stack left (the platform
// gives a thread at least 1 MiB, and a tree deep enough to fill that by
// recursion takes minutes to make under Wine).
DWORD WINAPI CollectWithLittleStack(void* data) {
  MEMORY_BASIC_INFORMATION stack{};
  VirtualQuery(&stack, &stack, sizeof(stack));
  const size_t free = reinterpret_cast<char*>(&stack) - static_cast<char*>(stack.AllocationBase);
  volatile char* used = static_cast<char*>(_alloca(free - 48 * 1024));
  used[0] = 0;
  auto* collection = static_cast<Collection*>(data);
  collection->result = collection->operation.CollectItems();
  return 0;
}

// Collection keeps its place on the heap: a deep tree needs no more stack
// than a flat one.
TEST_F(CopyOperationTest, CollectsDeepTreesWithLittleStack) {
  constexpr int kDepth = 100;
  std::wstring folder = dir / L"deep";
  MakeFolder(folder);
  for (int i = 0; i < kDepth; ++i) MakeFolder(folder += L"\\d");
  WriteBytes(folder + L"\\f.txt", 4);
  ASSERT_TRUE(Exists(folder + L"\\f.txt"));

  Collection run{omb::CCopyOperation(dir / L"deep", dir / L"dst", false, false, nullptr)};
  HANDLE thread = CreateThread(nullptr, 0, &CollectWithLittleStack, &run, 0, nullptr);
  ASSERT_NE(nullptr, thread);
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 60000));
  CloseHandle(thread);
  EXPECT_EQ(S_OK, run.result);
  EXPECT_EQ(static_cast<size_t>(kDepth) + 2, run.operation.Items().size());
  EXPECT_EQ(4u, run.operation.Total());
}

TEST(CreateParentFolders, CreatesTheMissingChainOutermostFirst) {
  filetest::ScratchFolder dir;
  omb::CreateParentFolders(dir / L"a\\b\\c\\file.txt");
  EXPECT_TRUE(Exists(dir / L"a\\b\\c"));
  EXPECT_FALSE(Exists(dir / L"a\\b\\c\\file.txt"));
}

}  // namespace
