// Data appended to an executable after its image (an overlay), such as an
// application archive. The platform's resource update rewrites the image and
// drops what follows it, so the update saves the overlay first and puts it
// back unchanged afterwards.
#pragma once

#include <windows.h>

#include <string>

#include "sdk/com.h"

namespace vellum {

// Where the image in an open PE file ends: past its headers, the sections'
// file data, a COFF symbol table and a certificate table, whichever lies
// last. ERROR_BAD_EXE_FORMAT when the headers do not describe a PE image
// that fits the file.
[[nodiscard]] HRESULT ImageEnd(HANDLE file, ULONGLONG* end) noexcept;

// An overlay saved to a temporary file beside the executable.
class COverlay {
 public:
  COverlay() = default;
  COverlay(const COverlay&) = delete;
  COverlay& operator=(const COverlay&) = delete;
  // Removes the temporary file unless Restore failed (then it is kept, so
  // the data is not lost).
  ~COverlay();

  // Copies what follows the image of `path` into a temporary file in the
  // same folder; nothing is saved when no data follows the image or the file
  // is no PE image (the update then refuses it anyway).
  [[nodiscard]] HRESULT Save(const wchar_t* path) noexcept;

  // Cuts `path` at the end of its (new) image and appends the saved bytes.
  [[nodiscard]] HRESULT Restore(const wchar_t* path) noexcept;

  bool Empty() const noexcept { return size_ == 0; }

 private:
  std::wstring saved_;
  ULONGLONG size_ = 0;
  bool keep_ = false;
};

}  // namespace vellum
