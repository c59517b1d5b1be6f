#include "app/plugins/file/file_delete.h"

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

HRESULT LastErrorOr(HRESULT fallback) noexcept {
  const HRESULT hr = HResultFromLastError();
  return FAILED(hr) ? hr : fallback;
}

}  // namespace

HRESULT DeletePath(const wchar_t* path, bool atReboot) noexcept {
  const DWORD attributes = ::GetFileAttributesW(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return S_OK;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
    DeleteWalk walk{atReboot};
    const HRESULT hr = WalkDirectory(path, nullptr, true, &RemoveVisit, &walk);
    if (FAILED(hr) && hr != E_FAIL) return hr;  // E_FAIL: the folder was empty
  }
  return RemoveEntry(path, attributes, atReboot) ? S_OK : LastErrorOr(E_FAIL);
}

}  // namespace omb
