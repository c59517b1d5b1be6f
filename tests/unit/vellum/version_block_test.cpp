// The version-block parser on the host's own block: damaged lengths never
// make it read past the bytes it was given, and the rebuilt block is read
// by the platform and stays within what a block's length word can state.
#include "vellum/version_block.h"

#include <gtest/gtest.h>

#include "tests/unit/vellum/vellum_test_support.h"

using namespace velltest;

namespace {

Bytes HostBlock() {
  const std::optional<Bytes> block = Resource(Env(L"OMBREL_BUILD_DIR") + L"\\Ombrel.exe", RT_VERSION, 1);
  EXPECT_TRUE(block) << "needs the built host";
  return block.value_or(Bytes{});
}

// Bytes placed so that they end where an inaccessible page begins: a read
// past them faults.
class GuardedBytes {
 public:
  GuardedBytes() {
    base_ = static_cast<BYTE*>(VirtualAlloc(nullptr, 2 * kPage, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    DWORD old = 0;
    VirtualProtect(base_ + kPage, kPage, PAGE_NOACCESS, &old);
  }
  ~GuardedBytes() { VirtualFree(base_, 0, MEM_RELEASE); }
  std::span<const BYTE> Place(const Bytes& bytes) {
    BYTE* at = base_ + kPage - bytes.size();
    std::copy(bytes.begin(), bytes.end(), at);
    return {at, bytes.size()};
  }

 private:
  static constexpr size_t kPage = 0x10000;
  BYTE* base_;
};

TEST(VersionBlock, DamagedLengthsNeverReadPastTheBlock) {
  const Bytes block = HostBlock();
  ASSERT_GT(block.size(), 100u);
  GuardedBytes guarded;
  vellum::CVersionBlock parsed;
  ASSERT_EQ(S_OK, parsed.Parse(guarded.Place(block)));
  // Every length, value length and key character set to hostile values.
  size_t refused = 0;
  for (size_t at = 0; at + 1 < block.size(); at += 2) {
    for (WORD value : {0, 1, 6, 0x7FFF, 0xFFFF}) {
      Bytes damaged = block;
      damaged[at] = static_cast<BYTE>(value);
      damaged[at + 1] = static_cast<BYTE>(value >> 8);
      refused += FAILED(parsed.Parse(guarded.Place(damaged)));
    }
  }
  // Cut short, with the root's length saying so: inner lengths overrun the
  // cut, which is refused unless it falls between two whole children.
  for (size_t cut = 6; cut < block.size(); cut += 2) {
    Bytes shorter(block.begin(), block.begin() + static_cast<ptrdiff_t>(cut));
    shorter[0] = static_cast<BYTE>(cut);
    shorter[1] = static_cast<BYTE>(cut >> 8);
    refused += FAILED(parsed.Parse(guarded.Place(shorter)));
  }
  EXPECT_GT(refused, block.size() / 4);
}

TEST(VersionBlock, RebuiltBlockIsReadByThePlatformAndBoundedInSize) {
  vellum::CVersionBlock block;
  ASSERT_EQ(S_OK, block.Parse(HostBlock()));
  const std::wstring longText(3000, L'n');
  ASSERT_EQ(S_OK, block.SetString(L"ProductName", longText));
  ASSERT_EQ(S_OK, block.SetString(L"Comments", L"added"));
  Bytes written;
  ASSERT_EQ(S_OK, block.Write(&written));
  written.resize(written.size() * 3);  // the platform's reader may use room after the block
  EXPECT_EQ(longText, VersionString(written, L"ProductName"));
  EXPECT_EQ(L"added", VersionString(written, L"Comments"));
  EXPECT_EQ(L"1.0.0.0", VersionString(written, L"FileVersion"));

  ASSERT_EQ(S_OK, block.SetString(L"ProductName", std::wstring(40000, L'n')));
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_INVALID_DATA), block.Write(&written));
}

}  // namespace
