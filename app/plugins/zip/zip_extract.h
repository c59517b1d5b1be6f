// Extracting a whole archive into a folder: the work behind "unzip" and the
// start-up extraction of packaged applications.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace omb::zip {

enum class EntryChoice { kExtract, kSkip, kAbort };

// What the caller hears while an archive is extracted (on the extracting
// thread).
class IExtractEvents {
 public:
  // Before each entry; kAbort stops the extraction with E_ABORT.
  virtual EntryChoice OnEntry(const std::wstring& name) = 0;
  // After each block written; false stops the extraction (E_FAIL).
  virtual bool OnBlock(const std::wstring& name, uint64_t total, uint64_t processed) = 0;

 protected:
  ~IExtractEvents() = default;
};

// Extracts the archive held in data into dest (created with its parents
// when missing). When this call created dest and then fails, it removes the
// files and folders it created, and only those.
// Every entry name is checked before anything is written: one that would
// land outside dest fails the call with E_FAIL. A file that exists fails with
// the platform's error unless overwrite is set; a file that fails half-way is
// removed. events may be null.
[[nodiscard]] HRESULT ExtractArchive(const BYTE* data, uint64_t size, const std::wstring& dest,
                                     bool overwrite, IExtractEvents* events) noexcept;

// Maps the file at path and extracts the archive "index" places from its end
// (0: the last one) into dest, as ExtractArchive does.
[[nodiscard]] HRESULT ExtractArchiveFile(const std::wstring& path, uint32_t index,
                                         const std::wstring& dest, bool overwrite,
                                         IExtractEvents* events) noexcept;

// A path an extraction created, in the order of creation.
struct CreatedPath {
  std::wstring path;
  bool folder;
};
using CreatedPaths = std::vector<CreatedPath>;

// Creates path and every missing parent. S_OK when it exists already as a
// folder; created (optional) receives each folder made here, outermost first.
[[nodiscard]] HRESULT CreateFolderTree(const std::wstring& path,
                                       CreatedPaths* created = nullptr) noexcept;


}  // namespace omb::zip
