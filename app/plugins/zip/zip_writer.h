// Writing zip archives: deflated files and folder entries, written through a
// positioned output (a file or a stream object), so a local header can be
// completed once its entry's data is known. Names are stored in UTF-8 with
// flag bit 11 when they are not plain ASCII, times as DOS times plus the
// extended-timestamp field. Archives that would need ZIP64 records (4 GiB or
// more, or over 65,535 entries) are refused.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace omb::zip {

// Writes size bytes at offset from the archive's start.
using OutputSink = std::function<HRESULT(uint64_t offset, const BYTE* data, size_t size)>;

class CZipWriter {
 public:
  explicit CZipWriter(OutputSink sink) noexcept;

  // Adds the file at path (read 65,536 bytes at a time) under name, deflated.
  [[nodiscard]] HRESULT AddFile(const std::wstring& name, const std::wstring& path) noexcept;
  // Adds a folder entry; name should end with '/'.
  [[nodiscard]] HRESULT AddFolder(const std::wstring& name, const FILETIME& time) noexcept;
  // Writes the central directory and the end record.
  [[nodiscard]] HRESULT Finish() noexcept;

  // Source bytes read and compressed so far, across all files.
  uint64_t SourceBytesDone() const noexcept { return sourceDone_; }
  // Archive bytes written so far.
  uint64_t ArchiveBytes() const noexcept { return offset_; }

 private:
  struct Record {
    std::string name;  // as stored
    uint16_t flags = 0;
    uint16_t method = 0;
    uint16_t dosTime = 0, dosDate = 0;
    uint32_t unixTime = 0;
    uint32_t crc = 0;
    uint64_t compressedSize = 0, size = 0;
    uint64_t headerOffset = 0;
    bool isFolder = false;
  };

  HRESULT Begin(const std::wstring& name, const FILETIME& time, bool folder, Record* record);
  HRESULT WriteLocalHeader(const Record& record);
  HRESULT Deflate(HANDLE file, Record* record);
  HRESULT Complete(const Record& record);
  HRESULT Append(const BYTE* data, size_t size);
  HRESULT Append(const std::vector<BYTE>& bytes) { return Append(bytes.data(), bytes.size()); }

  OutputSink sink_;
  uint64_t offset_ = 0;
  uint64_t sourceDone_ = 0;
  std::vector<Record> records_;
};

}  // namespace omb::zip
