#include "app/plugins/zip/zip_writer.h"

#include <zlib.h>

#include <new>

#include "sdk/com.h"

namespace omb::zip {
namespace {

constexpr size_t kBlock = 65536;
constexpr uint64_t kMax32 = 0xFFFFFFFEull;
constexpr size_t kMaxEntries = 0xFFFF;
constexpr uint16_t kVersion = 20;
constexpr uint16_t kFlagUtf8 = 0x0800;
constexpr uint16_t kTimestampId = 0x5455;

void Put16(std::vector<BYTE>& out, uint64_t v) {
  out.push_back(static_cast<BYTE>(v));
  out.push_back(static_cast<BYTE>(v >> 8));
}
void Put32(std::vector<BYTE>& out, uint64_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, (v >> 16) & 0xFFFF);
}
void PutBytes(std::vector<BYTE>& out, const std::string& s) { out.insert(out.end(), s.begin(), s.end()); }

// The extended-timestamp field with the modification time only.
void PutTimestamp(std::vector<BYTE>& out, uint32_t unixTime) {
  Put16(out, kTimestampId);
  Put16(out, 5);
  out.push_back(1);
  Put32(out, unixTime);
}

std::string ToUtf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  const int length = static_cast<int>(text.size());
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(bytes > 0 ? bytes : 0), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), length, out.data(), bytes, nullptr, nullptr);
  return out;
}

bool IsAscii(const std::string& s) noexcept {
  for (char c : s)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

}  // namespace

CZipWriter::CZipWriter(OutputSink sink) noexcept : sink_(std::move(sink)) {}

HRESULT CZipWriter::Append(const BYTE* data, size_t size) {
  if (size == 0) return S_OK;
  if (offset_ + size > kMax32) return E_FAIL;
  OMB_RETURN_IF_FAILED(sink_(offset_, data, size));
  offset_ += size;
  return S_OK;
}

HRESULT CZipWriter::Begin(const std::wstring& name, const FILETIME& time, bool folder,
                          Record* record) {
  if (records_.size() >= kMaxEntries || name.empty()) return E_FAIL;
  record->name = ToUtf8(name);
  if (record->name.empty() || record->name.size() > 0xFFFF) return E_FAIL;
  record->flags = IsAscii(record->name) ? 0 : kFlagUtf8;
  record->method = folder ? 0 : Z_DEFLATED;
  record->isFolder = folder;
  FILETIME local = {};
  if (!FileTimeToLocalFileTime(&time, &local) ||
      !FileTimeToDosDateTime(&local, &record->dosDate, &record->dosTime)) {
    record->dosDate = 0x21;  // 1980-01-01
    record->dosTime = 0;
  }
  const uint64_t ticks = (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
  const int64_t seconds = static_cast<int64_t>(ticks / 10000000ull) - 11644473600LL;
  record->unixTime = seconds > 0 && seconds < 0xFFFFFFFFLL ? static_cast<uint32_t>(seconds) : 0;
  record->headerOffset = offset_;
  return WriteLocalHeader(*record);
}

// Sizes and CRC are written as zeros and completed by Complete.
HRESULT CZipWriter::WriteLocalHeader(const Record& r) {
  std::vector<BYTE> h;
  Put32(h, 0x04034B50);
  Put16(h, kVersion);
  Put16(h, r.flags);
  Put16(h, r.method);
  Put16(h, r.dosTime);
  Put16(h, r.dosDate);
  Put32(h, r.crc);
  Put32(h, r.compressedSize);
  Put32(h, r.size);
  Put16(h, r.name.size());
  Put16(h, 9);
  PutBytes(h, r.name);
  PutTimestamp(h, r.unixTime);
  return Append(h);
}

HRESULT CZipWriter::Complete(const Record& r) {
  std::vector<BYTE> fields;
  Put32(fields, r.crc);
  Put32(fields, r.compressedSize);
  Put32(fields, r.size);
  return sink_(r.headerOffset + 14, fields.data(), fields.size());
}

HRESULT CZipWriter::Deflate(HANDLE file, Record* record) {
  z_stream z = {};
  if (deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
    return E_OUTOFMEMORY;
  struct End {
    z_stream* z;
    ~End() { deflateEnd(z); }
  } end{&z};
  std::vector<BYTE> in(kBlock), out(kBlock);
  const uint64_t start = offset_;
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  // Output is collected into whole 65,536-byte blocks before it is written.
  auto drain = [&](bool all) -> HRESULT {
    if (z.avail_out != 0 && !all) return S_OK;
    OMB_RETURN_IF_FAILED(Append(out.data(), out.size() - z.avail_out));
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    return S_OK;
  };
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(file, in.data(), static_cast<DWORD>(in.size()), &read, nullptr))
      return HResultFromLastError();
    if (record->size + read > kMax32) return E_FAIL;
    record->crc = static_cast<uint32_t>(crc32(record->crc, in.data(), read));
    record->size += read;
    sourceDone_ += read;
    const int flush = read == 0 ? Z_FINISH : Z_NO_FLUSH;
    z.next_in = in.data();
    z.avail_in = read;
    int rc = Z_OK;
    do {
      rc = deflate(&z, flush);
      if (rc == Z_STREAM_ERROR) return E_FAIL;
      OMB_RETURN_IF_FAILED(drain(false));
    } while (z.avail_in > 0 || (flush == Z_FINISH && rc != Z_STREAM_END));
    if (flush == Z_FINISH) break;
  }
  OMB_RETURN_IF_FAILED(drain(true));
  record->compressedSize = offset_ - start;
  return S_OK;
}

HRESULT CZipWriter::AddFile(const std::wstring& name, const std::wstring& path) noexcept {
  try {
    unique_file file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) return HResultFromLastError();
    FILETIME written = {};
    (void)GetFileTime(file.get(), nullptr, nullptr, &written);
    Record record;
    OMB_RETURN_IF_FAILED(Begin(name, written, false, &record));
    OMB_RETURN_IF_FAILED(Deflate(file.get(), &record));
    OMB_RETURN_IF_FAILED(Complete(record));
    records_.push_back(std::move(record));
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT CZipWriter::AddFolder(const std::wstring& name, const FILETIME& time) noexcept {
  try {
    Record record;
    OMB_RETURN_IF_FAILED(Begin(name, time, true, &record));
    records_.push_back(std::move(record));
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT CZipWriter::Finish() noexcept {
  try {
    std::vector<BYTE> cd;
    for (const Record& r : records_) {
      Put32(cd, 0x02014B50);
      Put16(cd, kVersion);  // made by: MS-DOS attributes
      Put16(cd, kVersion);
      Put16(cd, r.flags);
      Put16(cd, r.method);
      Put16(cd, r.dosTime);
      Put16(cd, r.dosDate);
      Put32(cd, r.crc);
      Put32(cd, r.compressedSize);
      Put32(cd, r.size);
      Put16(cd, r.name.size());
      Put16(cd, 9);
      Put16(cd, 0);  // comment
      Put16(cd, 0);  // disk
      Put16(cd, 0);  // internal attributes
      Put32(cd, r.isFolder ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE);
      Put32(cd, r.headerOffset);
      PutBytes(cd, r.name);
      PutTimestamp(cd, r.unixTime);
    }
    const uint64_t cdOffset = offset_;
    std::vector<BYTE> end;
    Put32(end, 0x06054B50);
    Put16(end, 0);
    Put16(end, 0);
    Put16(end, records_.size());
    Put16(end, records_.size());
    Put32(end, cd.size());
    Put32(end, cdOffset);
    Put16(end, 0);
    cd.insert(cd.end(), end.begin(), end.end());
    for (size_t at = 0; at < cd.size(); at += kBlock)
      OMB_RETURN_IF_FAILED(Append(cd.data() + at, std::min(kBlock, cd.size() - at)));
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace omb::zip
