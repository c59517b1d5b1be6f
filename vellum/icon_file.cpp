#include "vellum/icon_file.h"

#include <algorithm>
#include <new>

#include "sdk/com.h"

namespace vellum {

namespace {

const HRESULT kInvalidData = HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
constexpr size_t kHeaderBytes = 6;
constexpr size_t kFileEntryBytes = 16;
constexpr size_t kGroupEntryBytes = 14;
constexpr DWORD kBlockBytes = 65536;

DWORD ReadDword(const BYTE* p) noexcept {
  return static_cast<DWORD>(p[0]) | (static_cast<DWORD>(p[1]) << 8) | (static_cast<DWORD>(p[2]) << 16) |
         (static_cast<DWORD>(p[3]) << 24);
}

}  // namespace

HRESULT BuildIconResources(std::vector<BYTE> file, IconResources* out) {
  out->file = std::move(file);
  out->group.clear();
  out->images.clear();
  const std::vector<BYTE>& f = out->file;
  if (f.size() < kHeaderBytes) return kInvalidData;
  const size_t count = f[4] | (f[5] << 8);
  if (count == 0 || count > kMaxIconImages) return kInvalidData;
  const size_t directoryEnd = kHeaderBytes + count * kFileEntryBytes;
  if (directoryEnd > f.size()) return kInvalidData;

  out->group.resize(kHeaderBytes + count * kGroupEntryBytes);
  std::copy_n(f.begin(), 4, out->group.begin());  // reserved and type, as in the file
  out->group[4] = f[4];
  out->group[5] = f[5];
  for (size_t i = 0; i < count; ++i) {
    const BYTE* entry = f.data() + kHeaderBytes + i * kFileEntryBytes;
    const DWORD size = ReadDword(entry + 8);
    const DWORD offset = ReadDword(entry + 12);
    if (size == 0 || offset < directoryEnd || ULONGLONG{offset} + size > f.size()) return kInvalidData;
    out->images.push_back({offset, size});

    BYTE* group = out->group.data() + kHeaderBytes + i * kGroupEntryBytes;
    std::copy_n(entry, 12, group);  // width .. bits per pixel, then the image size
    const WORD id = static_cast<WORD>(i + 1);
    group[12] = static_cast<BYTE>(id & 0xFF);
    group[13] = static_cast<BYTE>(id >> 8);
  }
  return S_OK;
}

HRESULT ReadIconFile(const wchar_t* path, IconResources* out) {
  omb::unique_file file(::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return omb::HResultFromLastError();
  LARGE_INTEGER size = {};
  if (!::GetFileSizeEx(file.get(), &size)) return omb::HResultFromLastError();
  if (static_cast<ULONGLONG>(size.QuadPart) > kMaxIconFileBytes)
    return HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE);
  std::vector<BYTE> bytes;
  try {
    bytes.resize(static_cast<size_t>(size.QuadPart));
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  for (size_t done = 0; done < bytes.size();) {
    const DWORD want = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, kBlockBytes));
    DWORD read = 0;
    if (!::ReadFile(file.get(), bytes.data() + done, want, &read, nullptr) || read == 0) return E_FAIL;
    done += read;
  }
  return BuildIconResources(std::move(bytes), out);
}

}  // namespace vellum
