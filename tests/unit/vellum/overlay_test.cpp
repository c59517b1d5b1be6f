// Data appended after an executable's image is saved before the resource
// update and put back after it, whether the platform's update dropped it (as
// Windows does) or kept it (as Wine does).
#include <gtest/gtest.h>

#include "tests/unit/vellum/vellum_test_support.h"
#include "vellum/pe_overlay.h"

using namespace velltest;

namespace {

ULONGLONG ImageEndOf(const std::wstring& path, HRESULT* result = nullptr) {
  omb::unique_file file(
      CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  ULONGLONG end = 0;
  const HRESULT hr = vellum::ImageEnd(file.get(), &end);
  if (result) *result = hr;
  return SUCCEEDED(hr) ? end : 0;
}

TEST(Overlay, IsPutBackWhetherTheUpdateDroppedOrKeptIt) {
  const std::wstring exe = CopyOfHost(L"overlaid.exe");
  const Bytes image = ReadBytes(exe);
  ASSERT_EQ(image.size(), ImageEndOf(exe)) << "the host has nothing appended";
  Bytes overlaid = image;
  for (size_t i = 0; i < 200000; ++i) overlaid.push_back(static_cast<BYTE>(i * 7));
  ASSERT_TRUE(WriteBytes(exe, overlaid));
  EXPECT_EQ(image.size(), ImageEndOf(exe));

  for (bool dropped : {true, false}) {
    vellum::COverlay overlay;
    ASSERT_EQ(S_OK, overlay.Save(exe.c_str()));
    EXPECT_FALSE(overlay.Empty());
    if (dropped) {
      ASSERT_TRUE(WriteBytes(exe, image));
    }
    ASSERT_EQ(S_OK, overlay.Restore(exe.c_str()));
    EXPECT_TRUE(overlaid == ReadBytes(exe))
        << (dropped ? "after a dropping update" : "after a keeping update");
  }
  WIN32_FIND_DATAW found;
  HANDLE find = FindFirstFileW(Scratch(L"vel*.tmp").c_str(), &found);
  EXPECT_EQ(INVALID_HANDLE_VALUE, find) << "the saved copies are removed";
  if (find != INVALID_HANDLE_VALUE) FindClose(find);
}

TEST(Overlay, AFileThatIsNoImageHasNone) {
  const std::wstring path = Scratch(L"not-an-image.bin");
  ASSERT_TRUE(WriteBytes(path, Bytes(4096, 'M')));
  HRESULT hr = S_OK;
  ImageEndOf(path, &hr);
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_BAD_EXE_FORMAT), hr);
  vellum::COverlay overlay;
  EXPECT_EQ(S_OK, overlay.Save(path.c_str()));
  EXPECT_TRUE(overlay.Empty());
}

}  // namespace
