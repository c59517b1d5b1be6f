#include "app/plugins/zip/zip_reader.h"

#include <zlib.h>

#include <algorithm>
#include <cwchar>
#include <new>

namespace omb::zip {
namespace {

constexpr uint32_t kLocalSig = 0x04034B50;
constexpr uint32_t kCentralSig = 0x02014B50;
constexpr uint32_t kEndSig = 0x06054B50;
constexpr uint32_t kEnd64Sig = 0x06064B50;
constexpr uint32_t kLocator64Sig = 0x07064B50;
constexpr size_t kLocalSize = 30;
constexpr size_t kCentralSize = 46;
constexpr size_t kEndSize = 22;
constexpr size_t kLocator64Size = 20;
constexpr size_t kEnd64Size = 56;
constexpr uint64_t kMaxCommentSearch = 65535;
constexpr size_t kBlock = 65536;
constexpr uint16_t kFlagEncrypted = 0x0001;
constexpr uint16_t kFlagUtf8 = 0x0800;
constexpr uint16_t kExtraZip64 = 0x0001;
constexpr uint16_t kExtraTimestamp = 0x5455;

uint16_t Get16(const BYTE* p) noexcept { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Get32(const BYTE* p) noexcept {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
uint64_t Get64(const BYTE* p) noexcept {
  return static_cast<uint64_t>(Get32(p)) | (static_cast<uint64_t>(Get32(p + 4)) << 32);
}

// The end-of-central-directory facts of one archive, positions counted from
// the start of the searched block.
struct EndRecord {
  uint64_t start = 0;     // the archive's first byte
  uint64_t end = 0;       // one past the end record and its comment
  uint64_t cdOffset = 0;  // from start
  uint64_t cdSize = 0;
  uint64_t count = 0;
};

// Reads the ZIP64 end record that the locator before the end record at
// endPos points to.
bool ReadEnd64(const BYTE* data, uint64_t endPos, EndRecord* rec) noexcept {
  if (endPos < kLocator64Size + kEnd64Size) return false;
  const BYTE* locator = data + endPos - kLocator64Size;
  if (Get32(locator) != kLocator64Sig) return false;
  // The record normally sits right before the locator; its offset in the
  // locator is relative to the archive's start, which is what we are after.
  const uint64_t recordPos = endPos - kLocator64Size - kEnd64Size;
  const BYTE* record = data + recordPos;
  if (Get32(record) != kEnd64Sig) return false;
  const uint64_t relative = Get64(locator + 8);
  if (relative > recordPos) return false;
  rec->start = recordPos - relative;
  rec->count = Get64(record + 32);
  rec->cdSize = Get64(record + 40);
  rec->cdOffset = Get64(record + 48);
  return rec->cdOffset <= relative && rec->cdSize <= relative - rec->cdOffset;
}

// Checks the end record at pos (signature already seen) and fills rec.
bool ReadEnd(const BYTE* data, uint64_t pos, uint64_t limit, EndRecord* rec) noexcept {
  const BYTE* p = data + pos;
  const uint64_t commentEnd = pos + kEndSize + Get16(p + 20);
  if (commentEnd > limit) return false;
  rec->end = commentEnd;
  rec->count = Get16(p + 10);
  rec->cdSize = Get32(p + 12);
  rec->cdOffset = Get32(p + 16);
  const bool wide = rec->count == 0xFFFF || rec->cdSize == 0xFFFFFFFF || rec->cdOffset == 0xFFFFFFFF;
  if (wide && ReadEnd64(data, pos, rec)) {
    // start was set from the ZIP64 record.
  } else {
    if (rec->cdOffset + rec->cdSize > pos) return false;
    rec->start = pos - rec->cdSize - rec->cdOffset;
  }
  const uint64_t cdPos = rec->start + rec->cdOffset;
  if (rec->cdSize == 0) return rec->count == 0;
  if (rec->cdSize < kCentralSize || Get32(data + cdPos) != kCentralSig) return false;
  return rec->count <= rec->cdSize / kCentralSize;
}

// Searches backwards from limit for the end record of the archive that ends
// there (its comment may be up to 65,535 bytes long).
bool FindEnd(const BYTE* data, uint64_t limit, EndRecord* rec) noexcept {
  if (limit < kEndSize) return false;
  const uint64_t last = limit - kEndSize;
  const uint64_t first = last > kMaxCommentSearch ? last - kMaxCommentSearch : 0;
  for (uint64_t pos = last + 1; pos-- > first;) {
    if (Get32(data + pos) == kEndSig && ReadEnd(data, pos, limit, rec)) return true;
  }
  return false;
}

FILETIME FromUnixTime(int64_t seconds) noexcept {
  const uint64_t ticks = static_cast<uint64_t>(seconds + 11644473600LL) * 10000000ULL;
  return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

// DOS times are local times.
FILETIME FromDosTime(uint16_t date, uint16_t time) noexcept {
  FILETIME local = {}, utc = {};
  if (!DosDateTimeToFileTime(date, time, &local) || !LocalFileTimeToFileTime(&local, &utc))
    return FILETIME{};
  return utc;
}

struct ExtraFields {
  bool hasUnixTime = false;
  int64_t unixTime = 0;
};

// Walks the extra fields of a central header: the ZIP64 field replaces the
// 32-bit values that are all ones, in the order the format fixes; the
// extended timestamp gives an exact UTC modification time.
bool ReadExtra(const BYTE* p, size_t length, ZipEntry* entry, bool wideOffset, ExtraFields* out) {
  bool wideSize = entry->size == 0xFFFFFFFF;
  bool wideCompressed = entry->compressedSize == 0xFFFFFFFF;
  while (length >= 4) {
    const uint16_t id = Get16(p);
    const size_t fieldSize = Get16(p + 2);
    if (fieldSize > length - 4) return false;
    const BYTE* field = p + 4;
    if (id == kExtraZip64) {
      size_t at = 0;
      auto take = [&](bool wanted, uint64_t* value) {
        if (!wanted) return true;
        if (at + 8 > fieldSize) return false;
        *value = Get64(field + at);
        at += 8;
        return true;
      };
      if (!take(wideSize, &entry->size) || !take(wideCompressed, &entry->compressedSize) ||
          !take(wideOffset, &entry->headerOffset))
        return false;
      wideSize = wideCompressed = wideOffset = false;
    } else if (id == kExtraTimestamp && fieldSize >= 5 && (field[0] & 1)) {
      out->hasUnixTime = true;
      out->unixTime = static_cast<int32_t>(Get32(field + 1));
    }
    p += 4 + fieldSize;
    length -= 4 + fieldSize;
  }
  return !wideSize && !wideCompressed && !wideOffset;
}

}  // namespace

std::wstring DecodeName(const std::string& raw, bool utf8) {
  if (raw.empty()) return std::wstring();
  const UINT codePage = utf8 ? CP_UTF8 : CP_ACP;
  const int length = static_cast<int>(raw.size());
  const int wide = MultiByteToWideChar(codePage, 0, raw.data(), length, nullptr, 0);
  if (wide <= 0) return std::wstring();
  std::wstring out(static_cast<size_t>(wide), L'\0');
  MultiByteToWideChar(codePage, 0, raw.data(), length, out.data(), wide);
  return out;
}

// CON, PRN, AUX, NUL, COM1-9 and LPT1-9, with or without an extension, name
// devices rather than files in every folder.
bool IsDeviceName(const wchar_t* component, size_t length) noexcept {
  size_t base = 0;
  while (base < length && component[base] != L'.') ++base;
  while (base > 0 && component[base - 1] == L' ') --base;
  auto is = [&](const wchar_t* device) {
    return base == wcslen(device) && _wcsnicmp(component, device, base) == 0;
  };
  if (is(L"CON") || is(L"PRN") || is(L"AUX") || is(L"NUL")) return true;
  if (base == 4 && component[3] >= L'1' && component[3] <= L'9')
    return _wcsnicmp(component, L"COM", 3) == 0 || _wcsnicmp(component, L"LPT", 3) == 0;
  return false;
}

bool IsSafeEntryName(const std::wstring& name) noexcept {
  if (name.empty()) return false;
  if (name[0] == L'/' || name[0] == L'\\') return false;
  size_t componentStart = 0;
  for (size_t i = 0; i <= name.size(); ++i) {
    const wchar_t c = i < name.size() ? name[i] : L'/';
    if (c == L':' || c == L'\0' || (c > 0 && c < 0x20)) return false;
    if (c != L'/' && c != L'\\') continue;
    const size_t length = i - componentStart;
    if (length == 2 && name[componentStart] == L'.' && name[componentStart + 1] == L'.') return false;
    if (IsDeviceName(name.c_str() + componentStart, length)) return false;
    componentStart = i + 1;
  }
  return true;
}

HRESULT FindArchive(const BYTE* data, uint64_t size, uint32_t index, ArchiveSpan* span) noexcept {
  if (!data || !span) return E_INVALIDARG;
  uint64_t limit = size;
  EndRecord rec;
  for (uint32_t n = 0;; ++n) {
    if (!FindEnd(data, limit, &rec)) return E_FAIL;
    if (n == index) break;
    limit = rec.start;
  }
  span->start = rec.start;
  span->length = rec.end - rec.start;
  return S_OK;
}

HRESULT CZipReader::Open(const BYTE* data, uint64_t size) noexcept {
  entries_.clear();
  EndRecord rec;
  if (!data || !FindEnd(data, size, &rec)) return E_FAIL;
  data_ = data + rec.start;
  size_ = rec.end - rec.start;
  try {
    return ReadDirectory(rec.cdOffset, rec.cdSize, rec.count);
  } catch (const std::bad_alloc&) {
    entries_.clear();
    return E_OUTOFMEMORY;
  }
}

HRESULT CZipReader::ReadDirectory(uint64_t cdOffset, uint64_t cdSize, uint64_t count) {
  const uint64_t end = cdOffset + cdSize;
  entries_.reserve(static_cast<size_t>(count));
  uint64_t pos = cdOffset;
  for (uint64_t i = 0; i < count; ++i) {
    ZipEntry entry;
    if (FAILED(ReadCentralHeader(&pos, end, &entry)) || FAILED(LocateData(&entry, cdOffset))) {
      entries_.clear();
      return E_FAIL;
    }
    entries_.push_back(std::move(entry));
  }
  if (FAILED(CheckOverlaps())) {
    entries_.clear();
    return E_FAIL;
  }
  return S_OK;
}

HRESULT CZipReader::ReadCentralHeader(uint64_t* pos, uint64_t end, ZipEntry* entry) const {
  if (end - *pos < kCentralSize) return E_FAIL;
  const BYTE* p = data_ + *pos;
  if (Get32(p) != kCentralSig) return E_FAIL;
  const size_t nameLength = Get16(p + 28), extraLength = Get16(p + 30), commentLength = Get16(p + 32);
  const uint64_t total = kCentralSize + nameLength + extraLength + commentLength;
  if (end - *pos < total) return E_FAIL;
  entry->flags = Get16(p + 8);
  entry->method = Get16(p + 10);
  entry->crc = Get32(p + 16);
  entry->compressedSize = Get32(p + 20);
  entry->size = Get32(p + 24);
  entry->headerOffset = Get32(p + 42);
  entry->rawName.assign(reinterpret_cast<const char*>(p + kCentralSize), nameLength);
  ExtraFields extra;
  if (!ReadExtra(p + kCentralSize + nameLength, extraLength, entry,
                 entry->headerOffset == 0xFFFFFFFF, &extra))
    return E_FAIL;
  entry->time = extra.hasUnixTime ? FromUnixTime(extra.unixTime) : FromDosTime(Get16(p + 14), Get16(p + 12));
  entry->name = DecodeName(entry->rawName, (entry->flags & kFlagUtf8) != 0);
  const wchar_t last = entry->name.empty() ? L'\0' : entry->name.back();
  const bool dosFolder = (Get32(p + 38) & FILE_ATTRIBUTE_DIRECTORY) != 0 && entry->size == 0;
  entry->isFolder = last == L'/' || last == L'\\' || dosFolder;
  *pos += total;
  return S_OK;
}

// Checks the local header and that the entry's data lies before the central
// directory.
HRESULT CZipReader::LocateData(ZipEntry* entry, uint64_t dataEnd) const {
  if (entry->headerOffset > dataEnd || dataEnd - entry->headerOffset < kLocalSize) return E_FAIL;
  const BYTE* p = data_ + entry->headerOffset;
  if (Get32(p) != kLocalSig) return E_FAIL;
  const uint64_t dataOffset = entry->headerOffset + kLocalSize + Get16(p + 26) + Get16(p + 28);
  if (dataOffset > dataEnd || entry->compressedSize > dataEnd - dataOffset) return E_FAIL;
  entry->dataOffset = dataOffset;
  return S_OK;
}

// Two entries that share bytes (the trick behind small archives that expand
// to enormous sizes) are refused.
HRESULT CZipReader::CheckOverlaps() const {
  std::vector<std::pair<uint64_t, uint64_t>> ranges;
  ranges.reserve(entries_.size());
  for (const ZipEntry& e : entries_) ranges.emplace_back(e.headerOffset, e.dataOffset + e.compressedSize);
  std::sort(ranges.begin(), ranges.end());
  for (size_t i = 1; i < ranges.size(); ++i)
    if (ranges[i].first < ranges[i - 1].second) return E_FAIL;
  return S_OK;
}

HRESULT CZipReader::Extract(const ZipEntry& entry, const BlockSink& sink) const noexcept {
  if ((entry.flags & kFlagEncrypted) != 0) return E_FAIL;
  uint32_t crc = 0;
  HRESULT hr = E_FAIL;
  try {
    if (entry.method == 0)
      hr = CopyStored(entry, sink, &crc);
    else if (entry.method == Z_DEFLATED)
      hr = Inflate(entry, sink, &crc);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_FAIL;
  }
  if (FAILED(hr)) return hr;
  return crc == entry.crc ? S_OK : E_FAIL;
}

HRESULT CZipReader::CopyStored(const ZipEntry& entry, const BlockSink& sink, uint32_t* crc) const {
  if (entry.compressedSize != entry.size) return E_FAIL;
  const BYTE* p = data_ + entry.dataOffset;
  for (uint64_t done = 0; done < entry.size;) {
    const size_t block = static_cast<size_t>(std::min<uint64_t>(kBlock, entry.size - done));
    *crc = static_cast<uint32_t>(crc32(*crc, p + done, static_cast<uInt>(block)));
    if (HRESULT hr = sink(p + done, block); FAILED(hr)) return hr;
    done += block;
  }
  return S_OK;
}

// Raw deflate from the mapped bytes into one 64 KB block at a time; the
// output may never exceed the declared size, and must reach it exactly.
HRESULT CZipReader::Inflate(const ZipEntry& entry, const BlockSink& sink, uint32_t* crc) const {
  z_stream z = {};
  if (inflateInit2(&z, -MAX_WBITS) != Z_OK) return E_OUTOFMEMORY;
  struct End {
    z_stream* z;
    ~End() { inflateEnd(z); }
  } end{&z};
  std::vector<BYTE> out(kBlock);
  const BYTE* in = data_ + entry.dataOffset;
  uint64_t inLeft = entry.compressedSize;
  uint64_t written = 0;
  for (;;) {
    if (z.avail_in == 0 && inLeft > 0) {
      const uInt feed = static_cast<uInt>(std::min<uint64_t>(inLeft, 1u << 30));
      z.next_in = const_cast<Bytef*>(in);
      z.avail_in = feed;
      in += feed;
      inLeft -= feed;
    }
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    const int rc = inflate(&z, Z_NO_FLUSH);
    if (rc != Z_OK && rc != Z_STREAM_END) return E_FAIL;  // damaged or truncated data
    const size_t produced = out.size() - z.avail_out;
    if (produced > entry.size - written) return E_FAIL;
    if (produced > 0) {
      *crc = static_cast<uint32_t>(crc32(*crc, out.data(), static_cast<uInt>(produced)));
      if (HRESULT hr = sink(out.data(), produced); FAILED(hr)) return hr;
      written += produced;
    }
    if (rc == Z_STREAM_END) return written == entry.size ? S_OK : E_FAIL;
    if (produced == 0 && z.avail_in == 0 && inLeft == 0) return E_FAIL;
  }
}

}  // namespace omb::zip
