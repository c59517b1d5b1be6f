#include "vellum/pe_overlay.h"

#include <shlwapi.h>

#include <algorithm>
#include <vector>

namespace vellum {

namespace {

const HRESULT kBadImage = HRESULT_FROM_WIN32(ERROR_BAD_EXE_FORMAT);
constexpr DWORD kBlockBytes = 65536;
constexpr WORD kMaxSections = 96;
constexpr DWORD kCoffSymbolBytes = 18;
constexpr DWORD kSecurityDirectory = 4;

bool ReadAt(HANDLE file, ULONGLONG offset, void* buffer, DWORD size) noexcept {
  LARGE_INTEGER at;
  at.QuadPart = static_cast<LONGLONG>(offset);
  DWORD read = 0;
  return ::SetFilePointerEx(file, at, nullptr, FILE_BEGIN) &&
         ::ReadFile(file, buffer, size, &read, nullptr) && read == size;
}

template <class T>
bool ReadValue(HANDLE file, ULONGLONG offset, T* value) noexcept {
  return ReadAt(file, offset, value, sizeof(T));
}

// Copies size bytes from src (at its offset) to dst's current position.
HRESULT CopyRange(HANDLE src, ULONGLONG offset, ULONGLONG size, HANDLE dst) noexcept {
  LARGE_INTEGER at;
  at.QuadPart = static_cast<LONGLONG>(offset);
  if (!::SetFilePointerEx(src, at, nullptr, FILE_BEGIN)) return omb::HResultFromLastError();
  std::vector<BYTE> block;
  try {
    block.resize(kBlockBytes);
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  while (size > 0) {
    const DWORD want = static_cast<DWORD>(std::min<ULONGLONG>(size, kBlockBytes));
    DWORD read = 0, written = 0;
    if (!::ReadFile(src, block.data(), want, &read, nullptr)) return omb::HResultFromLastError();
    if (read != want) return E_FAIL;
    if (!::WriteFile(dst, block.data(), read, &written, nullptr)) return omb::HResultFromLastError();
    if (written != read) return E_FAIL;
    size -= read;
  }
  return S_OK;
}

}  // namespace

HRESULT ImageEnd(HANDLE file, ULONGLONG* end) noexcept {
  LARGE_INTEGER fileSize = {};
  if (!::GetFileSizeEx(file, &fileSize)) return omb::HResultFromLastError();
  const auto size = static_cast<ULONGLONG>(fileSize.QuadPart);

  IMAGE_DOS_HEADER dos;
  if (!ReadValue(file, 0, &dos) || dos.e_magic != IMAGE_DOS_SIGNATURE) return kBadImage;
  const ULONGLONG pe = static_cast<DWORD>(dos.e_lfanew);
  DWORD signature = 0;
  IMAGE_FILE_HEADER header;
  WORD magic = 0;
  if (!ReadValue(file, pe, &signature) || signature != IMAGE_NT_SIGNATURE ||
      !ReadValue(file, pe + 4, &header) || header.NumberOfSections > kMaxSections)
    return kBadImage;
  const ULONGLONG optional = pe + 4 + sizeof header;
  if (!ReadValue(file, optional, &magic)) return kBadImage;

  // Offsets inside the optional header of PE32 and PE32+ images.
  const bool wide = magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC;
  if (!wide && magic != IMAGE_NT_OPTIONAL_HDR32_MAGIC) return kBadImage;
  const DWORD directoryCountAt = wide ? 108 : 92;
  DWORD headersSize = 0, directoryCount = 0;
  if (!ReadValue(file, optional + 60, &headersSize) ||
      !ReadValue(file, optional + directoryCountAt, &directoryCount))
    return kBadImage;
  ULONGLONG last = headersSize;

  const ULONGLONG sections = optional + header.SizeOfOptionalHeader;
  for (WORD i = 0; i < header.NumberOfSections; ++i) {
    IMAGE_SECTION_HEADER section;
    if (!ReadValue(file, sections + i * ULONGLONG{sizeof section}, &section)) return kBadImage;
    if (section.SizeOfRawData == 0) continue;
    last = std::max(last, ULONGLONG{section.PointerToRawData} + section.SizeOfRawData);
  }
  if (header.PointerToSymbolTable != 0) {
    const ULONGLONG strings =
        header.PointerToSymbolTable + ULONGLONG{header.NumberOfSymbols} * kCoffSymbolBytes;
    DWORD stringsSize = 0;
    if (!ReadValue(file, strings, &stringsSize)) return kBadImage;
    last = std::max(last, strings + stringsSize);
  }
  const ULONGLONG securityAt =
      optional + directoryCountAt + 4 + kSecurityDirectory * sizeof(IMAGE_DATA_DIRECTORY);
  if (directoryCount > kSecurityDirectory &&
      securityAt + sizeof(IMAGE_DATA_DIRECTORY) <= optional + header.SizeOfOptionalHeader) {
    // The certificate table is the one directory addressed by file offset.
    IMAGE_DATA_DIRECTORY security;
    if (!ReadValue(file, securityAt, &security)) return kBadImage;
    if (security.VirtualAddress != 0 && security.Size != 0)
      last = std::max(last, ULONGLONG{security.VirtualAddress} + security.Size);
  }
  if (last > size) return kBadImage;
  *end = last;
  return S_OK;
}

COverlay::~COverlay() {
  if (!saved_.empty() && !keep_) ::DeleteFileW(saved_.c_str());
}

HRESULT COverlay::Save(const wchar_t* path) noexcept {
  try {
    omb::unique_file exe(::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!exe) return omb::HResultFromLastError();
    ULONGLONG end = 0;
    LARGE_INTEGER size = {};
    if (FAILED(ImageEnd(exe.get(), &end)) || !::GetFileSizeEx(exe.get(), &size) ||
        static_cast<ULONGLONG>(size.QuadPart) <= end)
      return S_OK;

    wchar_t folder[MAX_PATH];
    wchar_t temp[MAX_PATH];
    if (!::GetFullPathNameW(path, MAX_PATH, folder, nullptr)) return omb::HResultFromLastError();
    ::PathRemoveFileSpecW(folder);
    if (!::GetTempFileNameW(folder, L"vel", 0, temp)) return omb::HResultFromLastError();
    saved_ = temp;
    omb::unique_file copy(
        ::CreateFileW(temp, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!copy) return omb::HResultFromLastError();
    OMB_RETURN_IF_FAILED(CopyRange(exe.get(), end, static_cast<ULONGLONG>(size.QuadPart) - end, copy.get()));
    size_ = static_cast<ULONGLONG>(size.QuadPart) - end;
    return S_OK;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

HRESULT COverlay::Restore(const wchar_t* path) noexcept {
  if (size_ == 0) return S_OK;
  keep_ = true;
  omb::unique_file copy(::CreateFileW(saved_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!copy) return omb::HResultFromLastError();
  omb::unique_file exe(::CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!exe) return omb::HResultFromLastError();
  ULONGLONG end = 0;
  OMB_RETURN_IF_FAILED(ImageEnd(exe.get(), &end));
  LARGE_INTEGER at;
  at.QuadPart = static_cast<LONGLONG>(end);
  if (!::SetFilePointerEx(exe.get(), at, nullptr, FILE_BEGIN) || !::SetEndOfFile(exe.get()))
    return omb::HResultFromLastError();
  OMB_RETURN_IF_FAILED(CopyRange(copy.get(), 0, size_, exe.get()));
  keep_ = false;
  return S_OK;
}

}  // namespace vellum
