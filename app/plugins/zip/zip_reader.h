// Reading zip archives held in memory (a mapped file or a buffer).
//
// Nothing in an archive is trusted: the end record, the central directory and
// every local header are bounds-checked against the archive's bytes, entries
// whose data ranges overlap are refused, names that would leave the
// destination folder are refused, and an entry's output is bounded by its
// declared size and checked against its CRC. Deflate comes from zlib; the
// container (including ZIP64 records) is read here.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace omb::zip {

struct ZipEntry {
  std::string rawName;         // the name's bytes as stored
  std::wstring name;           // UTF-8 (flag bit 11) or the ANSI code page
  uint16_t flags = 0;          // general-purpose flags
  uint16_t method = 0;         // 0 stored, 8 deflated
  uint32_t crc = 0;
  uint64_t compressedSize = 0;
  uint64_t size = 0;           // uncompressed
  uint64_t headerOffset = 0;   // local header, from the archive's start
  uint64_t dataOffset = 0;     // first data byte, from the archive's start
  FILETIME time = {};          // modification time (UTC)
  bool isFolder = false;
};

// Where an archive lies inside a larger block of bytes.
struct ArchiveSpan {
  uint64_t start = 0;
  uint64_t length = 0;
};

// Finds the archive "index" places from the end of data: 0 is the last
// archive, 1 the one appended before it, and so on. Each archive ends where
// the next one starts. E_FAIL when there is no such archive.
[[nodiscard]] HRESULT FindArchive(const BYTE* data, uint64_t size, uint32_t index,
                                  ArchiveSpan* span) noexcept;

// Receives an entry's uncompressed data block by block; a failure stops it.
using BlockSink = std::function<HRESULT(const BYTE* block, size_t size)>;

class CZipReader {
 public:
  // Reads the directory of the archive at data (size bytes; offsets inside it
  // are counted from data). E_FAIL for anything malformed.
  [[nodiscard]] HRESULT Open(const BYTE* data, uint64_t size) noexcept;

  const std::vector<ZipEntry>& Entries() const noexcept { return entries_; }

  // Streams the entry's data to sink in blocks of at most 65,536 bytes.
  // E_FAIL when the data is damaged: more or less than the declared size, a
  // CRC mismatch, an unknown method or encryption; a failure of sink is
  // passed on.
  [[nodiscard]] HRESULT Extract(const ZipEntry& entry, const BlockSink& sink) const noexcept;

 private:
  HRESULT ReadDirectory(uint64_t cdOffset, uint64_t cdSize, uint64_t count);
  HRESULT ReadCentralHeader(uint64_t* pos, uint64_t end, ZipEntry* entry) const;
  HRESULT LocateData(ZipEntry* entry, uint64_t dataEnd) const;
  HRESULT CheckOverlaps() const;
  HRESULT CopyStored(const ZipEntry& entry, const BlockSink& sink, uint32_t* crc) const;
  HRESULT Inflate(const ZipEntry& entry, const BlockSink& sink, uint32_t* crc) const;

  const BYTE* data_ = nullptr;
  uint64_t size_ = 0;
  std::vector<ZipEntry> entries_;
};

// True when name (with '/' or '\\' separators) is a relative path that stays
// inside its folder: no empty first component (a leading separator), no
// drive letter or other ':' and no ".." component.
bool IsSafeEntryName(const std::wstring& name) noexcept;

// Converts an archive name to a wide string: UTF-8 when utf8, else the ANSI
// code page.
std::wstring DecodeName(const std::string& raw, bool utf8);

}  // namespace omb::zip
