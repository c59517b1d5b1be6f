#include "app/plugins/zip/zip_extract.h"


#include <new>

#include "app/plugins/zip/zip_reader.h"
#include "sdk/com.h"

namespace omb::zip {
namespace {

bool IsSeparator(wchar_t c) noexcept { return c == L'\\' || c == L'/'; }

std::wstring WithBackslashes(std::wstring path) {
  for (wchar_t& c : path)
    if (c == L'/') c = L'\\';
  return path;
}

// dest without trailing separators, unless that would leave a drive root
// ("C:") or nothing.
std::wstring TrimFolder(const std::wstring& dest) {
  std::wstring folder = WithBackslashes(dest);
  while (folder.size() > 1 && folder.back() == L'\\' && folder[folder.size() - 2] != L':')
    folder.pop_back();
  return folder;
}

void SetTimes(HANDLE handle, const FILETIME& time) noexcept {
  if (time.dwLowDateTime == 0 && time.dwHighDateTime == 0) return;
  (void)SetFileTime(handle, &time, nullptr, &time);
}

void SetFolderTime(const std::wstring& path, const FILETIME& time) noexcept {
  unique_file folder(CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (folder) SetTimes(folder.get(), time);
}

class CArchiveExtraction {
 public:
  CArchiveExtraction(const CZipReader& reader, std::wstring dest, bool overwrite,
                     IExtractEvents* events, CreatedPaths* created)
      : reader_(reader),
        dest_(std::move(dest)),
        overwrite_(overwrite),
        events_(events),
        created_(created) {}

  HRESULT Run() {
    for (const ZipEntry& entry : reader_.Entries()) {
      if (!IsSafeEntryName(entry.name)) return E_FAIL;
      if (!entry.isFolder) total_ += entry.size;
    }
    for (const ZipEntry& entry : reader_.Entries()) OMB_RETURN_IF_FAILED(ExtractEntry(entry));
    return S_OK;
  }

 private:
  HRESULT ExtractEntry(const ZipEntry& entry) {
    const std::wstring target = dest_ + L"\\" + WithBackslashes(entry.name);
    if (entry.isFolder) {
      OMB_RETURN_IF_FAILED(CreateFolderTree(TrimFolder(target), created_));
    } else if (const size_t slash = target.rfind(L'\\'); slash > dest_.size()) {
      OMB_RETURN_IF_FAILED(EnsureParentFolder(target.substr(0, slash)));
    }
    if (events_) {
      const EntryChoice choice = events_->OnEntry(entry.name);
      if (choice == EntryChoice::kAbort) return E_ABORT;
      if (choice == EntryChoice::kSkip) return S_OK;
    }
    if (entry.isFolder) {
      SetFolderTime(TrimFolder(target), entry.time);
      return S_OK;
    }
    return ExtractFile(entry, target);
  }

  HRESULT ExtractFile(const ZipEntry& entry, const std::wstring& target) {
    unique_file file(CreateFileW(target.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                 overwrite_ ? CREATE_ALWAYS : CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                 nullptr));
    if (!file) return HResultFromLastError();
    const bool replaced = overwrite_ && GetLastError() == ERROR_ALREADY_EXISTS;
    if (!replaced) created_->push_back({target, false});
    HRESULT hr = reader_.Extract(entry, [&](const BYTE* block, size_t size) -> HRESULT {
      DWORD written = 0;
      if (!WriteFile(file.get(), block, static_cast<DWORD>(size), &written, nullptr) ||
          written != size)
        return E_FAIL;
      processed_ += size;
      if (events_ && !events_->OnBlock(entry.name, total_, processed_)) return E_FAIL;
      return S_OK;
    });
    if (FAILED(hr)) {
      // A partly written file is worse than none.
      file.reset();
      DeleteFileW(target.c_str());
      return hr == E_ABORT || hr == E_OUTOFMEMORY ? hr : E_FAIL;
    }
    SetTimes(file.get(), entry.time);
    return S_OK;
  }

  // Entries of one folder usually follow each other: the folder made or
  // found for the previous file is not looked up again.
  HRESULT EnsureParentFolder(const std::wstring& folder) {
    if (folder == lastFolder_) return S_OK;
    OMB_RETURN_IF_FAILED(CreateFolderTree(folder, created_));
    lastFolder_ = folder;
    return S_OK;
  }

  const CZipReader& reader_;
  const std::wstring dest_;
  std::wstring lastFolder_;
  const bool overwrite_;
  IExtractEvents* const events_;
  CreatedPaths* const created_;
  uint64_t total_ = 0;
  uint64_t processed_ = 0;
};

HRESULT ExtractInto(const BYTE* data, uint64_t size, const std::wstring& folder, bool overwrite,
                    IExtractEvents* events, CreatedPaths* created) {
  CZipReader reader;
  OMB_RETURN_IF_FAILED(reader.Open(data, size));
  return CArchiveExtraction(reader, folder, overwrite, events, created).Run();
}

// Takes back a failed extraction that made its destination folder: what it
// created goes, newest first, so files leave before their folders. Only that:
// another writer may have put files into these folders meanwhile, and a
// folder that is not empty stays. (When the destination existed before, what
// was extracted into it stays.)
void RemoveCreated(const CreatedPaths& created) noexcept {
  for (auto item = created.rbegin(); item != created.rend(); ++item) {
    if (item->folder)
      RemoveDirectoryW(item->path.c_str());
    else
      DeleteFileW(item->path.c_str());
  }
}

// Maps the whole file read-only; an empty file cannot be mapped and holds no
// archive.
HRESULT MapFile(const std::wstring& path, unique_mapview* view, uint64_t* size) {
  unique_file file(CreateFileW(path.c_str(), GENERIC_READ,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return HResultFromLastError();
  LARGE_INTEGER length = {};
  if (!GetFileSizeEx(file.get(), &length)) return HResultFromLastError();
  if (length.QuadPart == 0) return E_FAIL;
  if (static_cast<uint64_t>(length.QuadPart) > SIZE_MAX) return E_OUTOFMEMORY;
  unique_handle mapping(CreateFileMappingW(file.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
  if (!mapping) return HResultFromLastError();
  view->reset(MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 0));
  if (!*view) return HResultFromLastError();
  *size = static_cast<uint64_t>(length.QuadPart);
  return S_OK;
}

}  // namespace

HRESULT CreateFolderTree(const std::wstring& path, CreatedPaths* created) noexcept {
  try {
    const std::wstring folder = TrimFolder(path);
    if (folder.empty()) return E_INVALIDARG;
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES)
      return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? S_OK : HResultFromError(ERROR_ALREADY_EXISTS);
    const size_t slash = folder.find_last_of(L'\\');
    if (slash != std::wstring::npos && slash > 0 && folder[slash - 1] != L':' &&
        !IsSeparator(folder[slash - 1]))
      OMB_RETURN_IF_FAILED(CreateFolderTree(folder.substr(0, slash), created));
    if (!CreateDirectoryW(folder.c_str(), nullptr)) {
      const DWORD error = GetLastError();
      return error == ERROR_ALREADY_EXISTS ? S_OK : HResultFromError(error);
    }
    if (created) created->push_back({folder, true});
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT ExtractArchive(const BYTE* data, uint64_t size, const std::wstring& dest, bool overwrite,
                       IExtractEvents* events) noexcept {
  try {
    const std::wstring folder = TrimFolder(dest);
    CreatedPaths created;
    OMB_RETURN_IF_FAILED(CreateFolderTree(folder, &created));
    const bool madeDest = !created.empty();
    const HRESULT hr = ExtractInto(data, size, folder, overwrite, events, &created);
    if (FAILED(hr) && madeDest) RemoveCreated(created);
    return hr;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT ExtractArchiveFile(const std::wstring& path, uint32_t index, const std::wstring& dest,
                           bool overwrite, IExtractEvents* events) noexcept {
  try {
    const std::wstring folder = TrimFolder(dest);
    CreatedPaths created;
    OMB_RETURN_IF_FAILED(CreateFolderTree(folder, &created));
    const bool madeDest = !created.empty();
    HRESULT hr = S_OK;
    {
      unique_mapview view;
      uint64_t size = 0;
      ArchiveSpan span;
      hr = MapFile(path, &view, &size);
      if (SUCCEEDED(hr)) hr = FindArchive(static_cast<const BYTE*>(view.get()), size, index, &span);
      if (SUCCEEDED(hr))
        hr = ExtractInto(static_cast<const BYTE*>(view.get()) + span.start, span.length, folder,
                         overwrite, events, &created);
    }
    if (FAILED(hr) && madeDest) RemoveCreated(created);
    return hr;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace omb::zip
