// An icon (.ico) file turned into what an executable stores: the icon-group
// directory and one icon resource per image.
//
// The file is untrusted: its count and every image's size and offset are
// checked against the file's own size, and each image is taken at its stated
// offset.
#pragma once

#include <windows.h>

#include <span>
#include <vector>

namespace vellum {

// More images than any icon file holds; a larger count is refused.
constexpr size_t kMaxIconImages = 256;
// Larger icon files are refused before they are read.
constexpr ULONGLONG kMaxIconFileBytes = 64ull << 20;

struct IconResources {
  struct Range {
    size_t offset;
    size_t size;
  };
  std::vector<BYTE> file;     // the icon file's bytes
  std::vector<BYTE> group;    // the group directory, icons numbered 1..n
  std::vector<Range> images;  // where each image lies in `file`, in entry order

  std::span<const BYTE> Image(size_t i) const noexcept {
    return {file.data() + images[i].offset, images[i].size};
  }
};

// Builds the group directory and the image list from file bytes (moved into
// out->file). HRESULT_FROM_WIN32(ERROR_INVALID_DATA) for a file without
// images, with more than kMaxIconImages, or with an entry whose image is
// empty or does not lie inside the file after the directory.
[[nodiscard]] HRESULT BuildIconResources(std::vector<BYTE> file, IconResources* out);

// Reads an icon file (shared for reading, existing files only) and builds its
// resources: the open's last-error result, E_FAIL for a short read,
// E_OUTOFMEMORY, ERROR_FILE_TOO_LARGE beyond kMaxIconFileBytes, or the
// result of BuildIconResources.
[[nodiscard]] HRESULT ReadIconFile(const wchar_t* path, IconResources* out);

}  // namespace vellum
