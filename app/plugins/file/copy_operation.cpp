#include "app/plugins/file/copy_operation.h"

#include <algorithm>
#include <new>
#include <utility>

#include <shlwapi.h>

#include "app/core/walk.h"
#include "sdk/com.h"

namespace omb {
namespace {

constexpr DWORD kRequestAborted = ERROR_REQUEST_ABORTED;  // 1235

bool IsFolder(DWORD attributes) noexcept {
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// A folder that is a symbolic link or junction is copied as an empty folder
// (and, in a move, only the link is removed): entering it could move files
// from another tree, or loop forever.
bool IsLinkEntry(const WIN32_FIND_DATAW& entry) noexcept {
  return IsFolderLink(entry.dwFileAttributes, entry.dwReserved0);
}

// The file's size; a size that cannot be read counts as -1 (added with
// 64-bit wrap-around in the totals).
ULONGLONG SizeOrMinusOne(const std::wstring& path) noexcept {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
    return ~ULONGLONG{0};
  return (ULONGLONG{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
}

HRESULT LastErrorResult() noexcept {
  const HRESULT hr = HResultFromLastError();
  return FAILED(hr) ? hr : E_FAIL;
}

std::wstring ParentOf(const std::wstring& path) {
  const size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

}  // namespace

CCopyOperation::CCopyOperation(std::wstring source, std::wstring destination, bool move,
                               bool replace, CProgressSink* progress)
    : source_(std::move(source)),
      destination_(std::move(destination)),
      move_(move),
      replace_(replace),
      progress_(progress) {}

HRESULT CCopyOperation::Run() noexcept {
  if (source_.empty() || ::GetFileAttributesW(source_.c_str()) == INVALID_FILE_ATTRIBUTES)
    return HResultFromError(ERROR_FILE_NOT_FOUND);
  if (move_ && ::PathIsSameRootW(source_.c_str(), destination_.c_str())) {
    const DWORD flags = replace_ ? MOVEFILE_REPLACE_EXISTING : 0;
    return ::MoveFileExW(source_.c_str(), destination_.c_str(), flags) ? S_OK : LastErrorResult();
  }
  OMB_RETURN_IF_FAILED(CollectItems());
  return ProcessItems();
}

std::wstring CCopyOperation::Below(const std::wstring& root, const std::wstring& relative) const {
  return relative.empty() ? root : root + L"\\" + relative;
}

HRESULT CCopyOperation::CollectItems() noexcept {
  try {
    items_.clear();
    total_ = 0;
    return Collect();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

// One folder being listed during collection, positioned on its next entry.
struct CCopyOperation::OpenFolder {
  OpenFolder(const std::wstring& folder, const std::wstring& pattern)
      : relative(folder), find(::FindFirstFileW(pattern.c_str(), &entry)) {}
  std::wstring relative;
  WIN32_FIND_DATAW entry;  // declared before find, which fills it
  unique_find find;
  bool hasEntry = true;
};

// The open listings are kept on an explicit stack rather than in recursive
// calls: a worker's stack could not hold a call per level of a deep tree.
HRESULT CCopyOperation::Collect() {
  if (!IsFolder(::GetFileAttributesW(source_.c_str()))) {
    total_ += SizeOrMinusOne(source_);
    items_.emplace_back();
    return S_OK;
  }
  std::deque<OpenFolder> open;
  OMB_RETURN_IF_FAILED(Enter(std::wstring(), &open));
  while (!open.empty()) {
    OpenFolder& folder = open.back();
    if (!folder.hasEntry) {
      if (move_) items_.push_back(std::move(folder.relative));
      open.pop_back();
      continue;
    }
    const WIN32_FIND_DATAW entry = folder.entry;
    const std::wstring child =
        folder.relative.empty() ? entry.cFileName : folder.relative + L"\\" + entry.cFileName;
    folder.hasEntry = ::FindNextFileW(folder.find.get(), &folder.entry) != FALSE;
    if (wcscmp(entry.cFileName, L".") == 0 || wcscmp(entry.cFileName, L"..") == 0) continue;
    const std::wstring path = Below(source_, child);
    if (!IsFolder(::GetFileAttributesW(path.c_str()))) {
      total_ += SizeOrMinusOne(path);
      items_.push_back(child);
    } else if (IsLinkEntry(entry)) {
      items_.push_back(child);
    } else {
      OMB_RETURN_IF_FAILED(Enter(child, &open));
    }
  }
  return S_OK;
}

// Lists the folder at relative and puts it on the stack; a copy records the
// folder before its contents (a move after them, when it leaves the stack).
HRESULT CCopyOperation::Enter(const std::wstring& relative, std::deque<OpenFolder>* open) {
  if (!move_) items_.push_back(relative);
  open->emplace_back(relative, Below(source_, relative) + L"\\*.*");
  if (open->back().find) return S_OK;
  const HRESULT hr = LastErrorResult();
  open->pop_back();
  return hr;
}

HRESULT CCopyOperation::ProcessItems() noexcept {
  try {
    for (const std::wstring& item : items_) {
      if (progress_ && progress_->Stopped()) return E_ABORT;
      const std::wstring source = Below(source_, item);
      const std::wstring destination = Below(destination_, item);
      OMB_RETURN_IF_FAILED(IsFolder(::GetFileAttributesW(source.c_str()))
                               ? ProcessFolder(source, destination)
                               : ProcessFile(source, destination));
    }
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT CCopyOperation::ProcessFolder(const std::wstring& source,
                                      const std::wstring& destination) noexcept {
  const DWORD existing = ::GetFileAttributesW(destination.c_str());
  if (existing != INVALID_FILE_ATTRIBUTES && !IsFolder(existing)) return E_FAIL;
  if (existing == INVALID_FILE_ATTRIBUTES && !::CreateDirectoryW(destination.c_str(), nullptr))
    return LastErrorResult();
  if (move_ && !::RemoveDirectoryW(source.c_str())) return LastErrorResult();
  return S_OK;
}

HRESULT CCopyOperation::ProcessFile(const std::wstring& source,
                                    const std::wstring& destination) noexcept {
  BOOL ok;
  if (move_) {
    CreateParentFolders(destination);
    const DWORD flags = MOVEFILE_COPY_ALLOWED | (replace_ ? MOVEFILE_REPLACE_EXISTING : 0);
    ok = ::MoveFileWithProgressW(source.c_str(), destination.c_str(), &ProgressRoutine, this,
                                 flags);
  } else {
    const DWORD flags = replace_ ? 0 : COPY_FILE_FAIL_IF_EXISTS;
    ok = ::CopyFileExW(source.c_str(), destination.c_str(), &ProgressRoutine, this, nullptr, flags);
  }
  if (!ok) return ::GetLastError() == kRequestAborted ? E_ABORT : LastErrorResult();
  done_ += SizeOrMinusOne(destination);
  return S_OK;
}

DWORD CALLBACK CCopyOperation::ProgressRoutine(LARGE_INTEGER, LARGE_INTEGER transferred,
                                               LARGE_INTEGER, LARGE_INTEGER, DWORD, DWORD, HANDLE,
                                               HANDLE, void* data) noexcept {
  return static_cast<CCopyOperation*>(data)->OnProgress(
      static_cast<ULONGLONG>(transferred.QuadPart));
}

// progress(done, total): an answer of false, or a failed call, cancels.
DWORD CCopyOperation::OnProgress(ULONGLONG transferred) noexcept {
  if (progress_ && progress_->Stopped()) return PROGRESS_CANCEL;
  if (!progress_ || !progress_->Wanted()) return PROGRESS_CONTINUE;
  const ULONGLONG done = std::min(done_ + transferred, total_);
  unique_variant answer;
  const HRESULT hr = progress_->Report(static_cast<double>(done), static_cast<double>(total_),
                                       answer.get());
  if (FAILED(hr)) return PROGRESS_CANCEL;
  if (answer.vt() == VT_BOOL && answer->boolVal == VARIANT_FALSE) return PROGRESS_CANCEL;
  return PROGRESS_CONTINUE;
}

void CreateParentFolders(const std::wstring& path) noexcept {
  try {
    const std::wstring parent = ParentOf(path);
    if (parent.empty() || parent.back() == L':' || ::GetFileAttributesW(parent.c_str()) != INVALID_FILE_ATTRIBUTES)
      return;
    CreateParentFolders(parent);
    ::CreateDirectoryW(parent.c_str(), nullptr);
  } catch (...) {
  }
}

}  // namespace omb
