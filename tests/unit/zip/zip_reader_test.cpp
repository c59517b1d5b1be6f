// Reading archives made by Python's zipfile and Info-ZIP, and refusing
// damaged or hostile ones without crashing or writing outside the target.
#include <gtest/gtest.h>

#include <cstdio>

#include "app/core/paths.h"
#include "app/plugins/zip/zip_extract.h"
#include "app/plugins/zip/zip_reader.h"
#include "tests/unit/zip/zip_test_support.h"

using namespace ziptest;
using omb::zip::CZipReader;
using omb::zip::EntryChoice;
using omb::zip::ExtractArchive;
using omb::zip::ExtractArchiveFile;

namespace {

std::string DeflatedText() {
  std::string s;
  char line[64];
  for (int i = 0; i < 400; ++i) {
    snprintf(line, sizeof line, "line %05d of the deflated text\n", i);
    s += line;
  }
  return s;
}

std::string InnerBin() {
  std::string s;
  for (int r = 0; r < 100; ++r)
    for (int i = 0; i < 256; ++i) s += static_cast<char>(i);
  return s;
}

const HRESULT kFileExists = HRESULT_FROM_WIN32(ERROR_FILE_EXISTS);

uint32_t Get32(const Bytes& b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}
void Put32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<BYTE>(v >> (8 * i));
}
size_t FindSig(const Bytes& b, uint32_t sig, size_t from = 0) {
  for (size_t i = from; i + 4 <= b.size(); ++i)
    if (Get32(b, i) == sig) return i;
  return b.size();
}

// Central header of the entry with this name.
size_t CentralHeader(const Bytes& b, const std::string& name) {
  for (size_t at = FindSig(b, 0x02014B50); at < b.size(); at = FindSig(b, 0x02014B50, at + 4)) {
    const size_t length = b[at + 28] | (b[at + 29] << 8);
    if (std::string(b.begin() + at + 46, b.begin() + at + 46 + length) == name) return at;
  }
  return b.size();
}

// Reads every entry to nowhere; the answer of the first failure, else S_OK.
HRESULT ReadAll(const Bytes& bytes, size_t length) {
  CZipReader reader;
  HRESULT hr = reader.Open(bytes.data(), length);
  if (FAILED(hr)) return hr;
  for (const auto& entry : reader.Entries()) {
    if (entry.isFolder) continue;
    uint64_t seen = 0;
    hr = reader.Extract(entry, [&](const BYTE*, size_t size) {
      seen += size;
      return S_OK;
    });
    if (FAILED(hr)) return hr;
    if (seen != entry.size) return E_UNEXPECTED;
  }
  return S_OK;
}

class Events : public omb::zip::IExtractEvents {
 public:
  EntryChoice OnEntry(const std::wstring& name) override {
    entries.push_back(name);
    if (name == skip) return EntryChoice::kSkip;
    if (name == abort) return EntryChoice::kAbort;
    return EntryChoice::kExtract;
  }
  bool OnBlock(const std::wstring& name, uint64_t t, uint64_t p) override {
    blocks.push_back(name);
    total = t;
    if (p < processed) monotonic = false;
    processed = p;
    return name != stopIn;
  }
  std::wstring skip, abort, stopIn;
  std::vector<std::wstring> entries, blocks;
  uint64_t total = 0, processed = 0;
  bool monotonic = true;
};

class ZipReaderTest : public ScratchTest {};

TEST_F(ZipReaderTest, ExtractsStoredDeflatedFoldersEmptyFilesAndTimes) {
  const std::wstring dest = Path(L"out\\nested");  // created with its parent
  ASSERT_EQ(S_OK, ExtractArchiveFile(DataPath(L"basic.zip"), 0, dest, false, nullptr));
  EXPECT_EQ((std::vector<std::wstring>{L"deflated.txt", L"empty.txt", L"stored.txt", L"sub\\",
                                       L"sub\\dir\\", L"sub\\dir\\inner.bin"}),
            List(dest));
  EXPECT_EQ("hello stored\n", ReadText(dest + L"\\stored.txt"));
  EXPECT_EQ(DeflatedText(), ReadText(dest + L"\\deflated.txt"));
  EXPECT_EQ(InnerBin(), ReadText(dest + L"\\sub\\dir\\inner.bin"));
  EXPECT_EQ("", ReadText(dest + L"\\empty.txt"));

  // 2020-05-17 10:20:30 as a local (DOS) time.
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  ASSERT_TRUE(GetFileAttributesExW((dest + L"\\stored.txt").c_str(), GetFileExInfoStandard, &data));
  FILETIME local;
  SYSTEMTIME st;
  FileTimeToLocalFileTime(&data.ftLastWriteTime, &local);
  FileTimeToSystemTime(&local, &st);
  EXPECT_EQ(2020, st.wYear);
  EXPECT_EQ(5, st.wMonth);
  EXPECT_EQ(17, st.wDay);
  EXPECT_EQ(10, st.wHour);
  EXPECT_EQ(20, st.wMinute);
  EXPECT_EQ(30, st.wSecond);
}

TEST_F(ZipReaderTest, ReadsUtf8NamesDataDescriptorsZip64AndInfoZip) {
  ASSERT_EQ(S_OK, ExtractArchiveFile(DataPath(L"utf8.zip"), 0, root_, false, nullptr));
  EXPECT_EQ("utf8\n", ReadText(Path(L"\u00fcn\u00efc\u00f8d\u00e9\\\u0444\u0430\u0439\u043b.txt")));

  ASSERT_EQ(S_OK, ExtractArchiveFile(DataPath(L"descriptor.zip"), 0, root_, false, nullptr));
  EXPECT_EQ(DeflatedText(), ReadText(Path(L"streamed.txt")));
  EXPECT_EQ("second\n", ReadText(Path(L"streamed2.txt")));

  ASSERT_EQ(S_OK, ExtractArchiveFile(DataPath(L"zip64.zip"), 0, root_, false, nullptr));
  EXPECT_EQ("zip64 entry data\n", ReadText(Path(L"big.txt")));

  ASSERT_EQ(S_OK, ExtractArchiveFile(DataPath(L"infozip.zip"), 0, Path(L"iz"), false, nullptr));
  EXPECT_EQ("Info-ZIP archive\n", ReadText(Path(L"iz\\readme.txt")));
  EXPECT_EQ(DeflatedText(), ReadText(Path(L"iz\\docs\\guide.txt")));
  EXPECT_EQ(InnerBin(), ReadText(Path(L"iz\\docs\\deep\\data.bin")));
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  ASSERT_TRUE(GetFileAttributesExW(Path(L"iz\\readme.txt").c_str(), GetFileExInfoStandard, &data));
  SYSTEMTIME st;
  FileTimeToSystemTime(&data.ftLastWriteTime, &st);
  EXPECT_EQ(2021, st.wYear);
  EXPECT_EQ(3, st.wMonth);
}

TEST_F(ZipReaderTest, NameWithoutUtf8FlagUsesTheAnsiCodePage) {
  if (GetACP() != 1252) GTEST_SKIP() << "the expected name assumes code page 1252";
  ASSERT_EQ(S_OK, ExtractArchiveFile(DataPath(L"codepage.zip"), 0, root_, false, nullptr));
  EXPECT_EQ("cp\n", ReadText(Path(L"caf\u00e9.txt")));
}

TEST_F(ZipReaderTest, AppendedArchivesAreFoundByIndexFromTheEnd) {
  Bytes file = {'M', 'Z', 'j', 'u', 'n', 'k'};
  const Bytes first = Fixture(L"basic.zip"), second = Fixture(L"utf8.zip");
  file.insert(file.end(), first.begin(), first.end());
  file.insert(file.end(), second.begin(), second.end());
  ASSERT_TRUE(WriteBytes(Path(L"both.bin"), file));

  ASSERT_EQ(S_OK, ExtractArchiveFile(Path(L"both.bin"), 0, Path(L"last"), false, nullptr));
  EXPECT_EQ("utf8\n", ReadText(Path(L"last\\\u00fcn\u00efc\u00f8d\u00e9\\\u0444\u0430\u0439\u043b.txt")));
  ASSERT_EQ(S_OK, ExtractArchiveFile(Path(L"both.bin"), 1, Path(L"earlier"), false, nullptr));
  EXPECT_EQ("hello stored\n", ReadText(Path(L"earlier\\stored.txt")));
  EXPECT_EQ(E_FAIL, ExtractArchiveFile(Path(L"both.bin"), 2, Path(L"none\\deeper"), false, nullptr));
  EXPECT_FALSE(Exists(Path(L"none"))) << "a folder the failed call created is removed";
}

TEST_F(ZipReaderTest, TruncatedOrCorruptedArchivesFailCleanly) {
  const Bytes basic = Fixture(L"basic.zip");
  ASSERT_EQ(S_OK, ReadAll(basic, basic.size()));
  for (size_t length = 0; length < basic.size(); ++length) {
    const HRESULT hr = ReadAll(basic, length);
    // Cutting into the comment still leaves a readable archive.
    if (SUCCEEDED(hr)) {
      EXPECT_GE(length, basic.size() - 18) << length;
    }
  }
  // Every single byte changed: either still valid data (CRC-checked) or a
  // clean failure.
  for (size_t at = 0; at < basic.size(); ++at) {
    Bytes changed = basic;
    changed[at] ^= 0x5A;
    const HRESULT hr = ReadAll(changed, changed.size());
    EXPECT_TRUE(hr == S_OK || hr == E_FAIL) << at << " " << std::hex << hr;
  }
}

TEST_F(ZipReaderTest, UntrustedOffsetsCountsAndOverlapsAreRefused) {
  const Bytes basic = Fixture(L"basic.zip");
  const size_t end = FindSig(basic, 0x06054B50);
  const size_t central = CentralHeader(basic, "deflated.txt");

  Bytes badOffset = basic;
  Put32(badOffset, central + 42, 0x7FFFFFF0);
  EXPECT_EQ(E_FAIL, ReadAll(badOffset, badOffset.size()));

  Bytes hugeCount = basic;
  hugeCount[end + 8] = hugeCount[end + 9] = hugeCount[end + 10] = hugeCount[end + 11] = 0xFF;
  EXPECT_EQ(E_FAIL, ReadAll(hugeCount, hugeCount.size()));

  Bytes hugeDirectory = basic;
  Put32(hugeDirectory, end + 12, 0xFFFFFF00);
  EXPECT_EQ(E_FAIL, ReadAll(hugeDirectory, hugeDirectory.size()));

  Bytes hugeSize = basic;
  Put32(hugeSize, central + 20, 0xFFFFFFF0);  // compressed size beyond the data
  EXPECT_EQ(E_FAIL, ReadAll(hugeSize, hugeSize.size()));

  EXPECT_EQ(E_FAIL, ExtractArchiveFile(DataPath(L"overlap.zip"), 0, Path(L"o"), false, nullptr));
  EXPECT_FALSE(Exists(Path(L"o")));
}

TEST_F(ZipReaderTest, NamesThatLeaveTheDestinationAreRefusedBeforeAnythingIsWritten) {
  const std::wstring dest = Path(L"a\\b");
  for (int i = 0; i < 8; ++i) {
    const std::wstring archive = DataPath(L"traversal" + std::to_wstring(i) + L".zip");
    EXPECT_EQ(E_FAIL, ExtractArchiveFile(archive, 0, dest, false, nullptr)) << i;
    EXPECT_EQ(std::vector<std::wstring>{}, List(root_)) << i;
  }
  for (const wchar_t* bad : {L"..", L"../x", L"a/../../x", L"a\\..\\x", L"/x", L"\\x", L"C:x",
                             L"C:/x", L"\\\\server\\x", L"x:y", L"", L"con", L"a/NUL.txt", L"com1",
                             L"Lpt9.log"})
    EXPECT_FALSE(omb::zip::IsSafeEntryName(bad)) << bad;
  for (const wchar_t* good : {L"x", L"a/b/c.txt", L"a\\b", L"..x", L"x..", L"a/./b", L"dir/", L"console",
                             L"com10", L"nul_x"})
    EXPECT_TRUE(omb::zip::IsSafeEntryName(good)) << good;
}

TEST_F(ZipReaderTest, DeclaredSizesAndCrcAreEnforcedAndPartialFilesRemoved) {
  const Bytes basic = Fixture(L"basic.zip");
  const size_t central = CentralHeader(basic, "deflated.txt");
  struct Case {
    size_t field;
    uint32_t value;
  } cases[] = {{24, 100}, {24, 20000}, {16, 0x12345678}};  // smaller, larger, CRC
  for (const Case& c : cases) {
    Bytes lie = basic;
    Put32(lie, central + c.field, c.value);
    const std::wstring dest = Path(L"lie");
    ASSERT_TRUE(CreateDirectoryW(dest.c_str(), nullptr));
    EXPECT_EQ(E_FAIL, ExtractArchive(lie.data(), lie.size(), dest, false, nullptr));
    // The folder existed: what came before stays, the damaged file does not.
    EXPECT_EQ((std::vector<std::wstring>{L"stored.txt"}), List(dest)) << c.field << " " << c.value;
    omb::ShellDeleteTree(dest);
  }
}

TEST_F(ZipReaderTest, ExistingFilesNeedOverwrite) {
  const std::wstring archive = DataPath(L"basic.zip");
  ASSERT_EQ(S_OK, ExtractArchiveFile(archive, 0, root_, false, nullptr));
  ASSERT_TRUE(WriteText(Path(L"stored.txt"), "mine"));
  EXPECT_EQ(kFileExists, ExtractArchiveFile(archive, 0, root_, false, nullptr));
  EXPECT_EQ("mine", ReadText(Path(L"stored.txt")));
  EXPECT_EQ(S_OK, ExtractArchiveFile(archive, 0, root_, true, nullptr));
  EXPECT_EQ("hello stored\n", ReadText(Path(L"stored.txt")));

  // A folder created by the failing call goes again.
  ASSERT_EQ(S_OK, ExtractArchiveFile(DataPath(L"utf8.zip"), 0, Path(L"twice"), false, nullptr));
  const Bytes two = Fixture(L"utf8.zip");
  EXPECT_EQ(kFileExists, ExtractArchive(two.data(), two.size(), Path(L"twice"), false, nullptr));
  EXPECT_TRUE(Exists(Path(L"twice")));
}

TEST_F(ZipReaderTest, EventsSkipAbortAndStop) {
  const std::wstring archive = DataPath(L"basic.zip");
  Events skip;
  skip.skip = L"deflated.txt";
  ASSERT_EQ(S_OK, ExtractArchiveFile(archive, 0, Path(L"s"), false, &skip));
  EXPECT_FALSE(Exists(Path(L"s\\deflated.txt")));
  EXPECT_TRUE(Exists(Path(L"s\\sub\\dir\\inner.bin")));
  EXPECT_EQ(5u, skip.entries.size());
  EXPECT_EQ(13u + 12800u + 25600u, skip.total);
  EXPECT_EQ(13u + 25600u, skip.processed);
  EXPECT_TRUE(skip.monotonic);

  Events abort;
  abort.abort = L"sub/dir/inner.bin";
  EXPECT_EQ(E_ABORT, ExtractArchiveFile(archive, 0, Path(L"a"), false, &abort));
  EXPECT_FALSE(Exists(Path(L"a")));

  Events stop;
  stop.stopIn = L"deflated.txt";
  ASSERT_TRUE(CreateDirectoryW(Path(L"t").c_str(), nullptr));
  EXPECT_EQ(E_FAIL, ExtractArchiveFile(archive, 0, Path(L"t"), false, &stop));
  EXPECT_EQ((std::vector<std::wstring>{L"stored.txt"}), List(Path(L"t")));
}

}  // namespace
