// Extracting a whole archive into a folder: the work behind "unzip" and the
// start-up extraction of packaged applications.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

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
// when missing, and removed again on failure when this call created it).
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

// Creates path and every missing parent. S_OK when it exists already as a
// folder; *outermost (optional) receives the outermost folder made here, or
// nothing when every level existed.
[[nodiscard]] HRESULT CreateFolderTree(const std::wstring& path,
                                       std::wstring* outermost = nullptr) noexcept;


}  // namespace omb::zip
