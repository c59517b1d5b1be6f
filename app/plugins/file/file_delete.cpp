#include "app/plugins/file/file_delete.h"

#include <string>

#include "app/core/walk.h"
#include "sdk/com.h"

namespace omb {
namespace {

// Removes one entry now, or schedules it for the next restart. A read-only
// entry refuses removal, so its read-only bit is cleared and removal retried.
bool RemoveEntry(const wchar_t* path, DWORD attributes, bool atReboot) noexcept {
  if (atReboot) return ::MoveFileExW(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != FALSE;
  const bool folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  auto remove = [&] { return (folder ? ::RemoveDirectoryW(path) : ::DeleteFileW(path)) != FALSE; };
  if (remove()) return true;
  if ((attributes & FILE_ATTRIBUTE_READONLY) == 0) return false;
  const DWORD error = ::GetLastError();
  if (!::SetFileAttributesW(path, attributes & ~FILE_ATTRIBUTE_READONLY)) {
    ::SetLastError(error);
    return false;
  }
  return remove();
}

struct DeleteWalk {
  bool atReboot;
};

// A failed entry does not stop the walk; the folder's own removal reports it.
HRESULT RemoveVisit(void* data, const wchar_t* path, DWORD attributes, ULONGLONG) noexcept {
  RemoveEntry(path, attributes, static_cast<DeleteWalk*>(data)->atReboot);
  return S_OK;
}

// The reparse tag of path's own entry (0 when it cannot be read, which counts
// as a link: a reparse point of unknown kind is not entered).
DWORD ReparseTag(const wchar_t* path) noexcept {
  try {
    std::wstring entry(path);
    while (entry.size() > 1 && (entry.back() == L'\\' || entry.back() == L'/')) entry.pop_back();
    WIN32_FIND_DATAW data;
    unique_find find(::FindFirstFileW(entry.c_str(), &data));
    return find ? data.dwReserved0 : 0;
  } catch (...) {
    return 0;
  }
}

HRESULT LastErrorOr(HRESULT fallback) noexcept {
  const HRESULT hr = HResultFromLastError();
  return FAILED(hr) ? hr : fallback;
}

}  // namespace

HRESULT DeletePath(const wchar_t* path, bool atReboot) noexcept {
  if (!path || !*path) return E_INVALIDARG;
  const DWORD attributes = ::GetFileAttributesW(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return S_OK;
  // A link to a folder is removed itself; its target is not ours to empty.
  const bool link = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
                    IsFolderLink(attributes, ReparseTag(path));
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !link) {
    DeleteWalk walk{atReboot};
    const HRESULT hr = WalkDirectory(path, nullptr, true, &RemoveVisit, &walk);
    if (FAILED(hr) && hr != E_FAIL) return hr;  // E_FAIL: the folder was empty
  }
  return RemoveEntry(path, attributes, atReboot) ? S_OK : LastErrorOr(E_FAIL);
}

}  // namespace omb
