// Archives written by CZipWriter read back with their names, contents, flags
// and times; a failing output stops the archive.
#include <gtest/gtest.h>

#include <map>

#include "app/plugins/zip/zip_reader.h"
#include "app/plugins/zip/zip_writer.h"
#include "tests/unit/zip/zip_test_support.h"

using namespace ziptest;
using omb::zip::CZipReader;
using omb::zip::CZipWriter;

namespace {

// An archive collected in memory through the writer's positioned output.
struct MemoryOutput {
  Bytes bytes;
  size_t writes = 0;
  HRESULT operator()(uint64_t offset, const BYTE* data, size_t size) {
    if (offset + size > bytes.size()) bytes.resize(static_cast<size_t>(offset + size));
    std::copy(data, data + size, bytes.begin() + static_cast<ptrdiff_t>(offset));
    ++writes;
    return S_OK;
  }
};

Bytes Pseudorandom(size_t size) {
  Bytes b(size);
  uint32_t x = 12345;
  for (auto& v : b) {
    x = x * 1103515245 + 12345;
    v = static_cast<BYTE>(x >> 16);
  }
  return b;
}

class ZipWriterTest : public ScratchTest {};

TEST_F(ZipWriterTest, RoundTripKeepsNamesContentsFlagsAndTimes) {
  const Bytes big = Pseudorandom(300000);
  ASSERT_TRUE(WriteBytes(Path(L"big.bin"), big));
  ASSERT_TRUE(WriteText(Path(L"text.txt"), std::string(100000, 'a')));
  ASSERT_TRUE(WriteText(Path(L"empty.txt"), ""));
  ASSERT_TRUE(WriteText(Path(L"\u00e9t\u00e9.txt"), "summer"));
  FILETIME stamp = {};
  SYSTEMTIME st = {2019, 7, 0, 14, 8, 9, 10, 0};
  SystemTimeToFileTime(&st, &stamp);
  HANDLE h = CreateFileW(Path(L"text.txt").c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  SetFileTime(h, nullptr, nullptr, &stamp);
  CloseHandle(h);

  MemoryOutput out;
  CZipWriter writer(std::ref(out));
  ASSERT_EQ(S_OK, writer.AddFile(L"big.bin", Path(L"big.bin")));
  ASSERT_EQ(S_OK, writer.AddFile(L"dir/text.txt", Path(L"text.txt")));
  ASSERT_EQ(S_OK, writer.AddFile(L"empty.txt", Path(L"empty.txt")));
  ASSERT_EQ(S_OK, writer.AddFile(L"\u00e9t\u00e9.txt", Path(L"\u00e9t\u00e9.txt")));
  ASSERT_EQ(S_OK, writer.AddFolder(L"dir/", stamp));
  ASSERT_EQ(S_OK, writer.Finish());
  EXPECT_EQ(300000u + 100000u + 6u, writer.SourceBytesDone());
  EXPECT_EQ(out.bytes.size(), writer.ArchiveBytes());
  EXPECT_LT(out.bytes.size(), 300000u + 2000u) << "text is compressed";

  CZipReader reader;
  ASSERT_EQ(S_OK, reader.Open(out.bytes.data(), out.bytes.size()));
  std::map<std::wstring, std::string> contents;
  for (const auto& entry : reader.Entries()) {
    std::string data;
    ASSERT_EQ(S_OK, reader.Extract(entry, [&](const BYTE* b, size_t n) {
      data.append(reinterpret_cast<const char*>(b), n);
      return S_OK;
    }));
    contents[entry.name] = data;
    EXPECT_EQ(entry.name == L"\u00e9t\u00e9.txt", (entry.flags & 0x0800) != 0) << entry.name;
    EXPECT_EQ(entry.name == L"dir/", entry.isFolder);
    if (entry.name == L"dir/text.txt" || entry.name == L"dir/") {
      EXPECT_EQ(stamp.dwLowDateTime, entry.time.dwLowDateTime);
      EXPECT_EQ(stamp.dwHighDateTime, entry.time.dwHighDateTime);
    }
  }
  EXPECT_EQ(5u, contents.size());
  EXPECT_EQ(std::string(big.begin(), big.end()), contents[L"big.bin"]);
  EXPECT_EQ(std::string(100000, 'a'), contents[L"dir/text.txt"]);
  EXPECT_EQ("", contents[L"empty.txt"]);
  EXPECT_EQ("summer", contents[L"\u00e9t\u00e9.txt"]);
}

TEST_F(ZipWriterTest, OutputFailureAndMissingSourcesStopTheArchive) {
  ASSERT_TRUE(WriteBytes(Path(L"big.bin"), Pseudorandom(200000)));
  size_t writes = 0;
  CZipWriter failing([&](uint64_t, const BYTE*, size_t) -> HRESULT {
    return ++writes == 2 ? E_ABORT : S_OK;
  });
  EXPECT_EQ(E_ABORT, failing.AddFile(L"big.bin", Path(L"big.bin")));
  EXPECT_EQ(2u, writes);

  MemoryOutput out;
  CZipWriter writer(std::ref(out));
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), writer.AddFile(L"x", Path(L"missing")));
  EXPECT_EQ(E_FAIL, writer.AddFolder(L"", FILETIME{}));
}

}  // namespace
