// The walk keeps its open listings on an explicit stack instead of recursing,
// and all of them share one path buffer: a tree may be thousands of levels
// deep (paths reach 32,767 characters), which would overflow a thread's stack
// or, with a path copy per level, use memory quadratic in the depth.
#include "app/core/walk.h"

#include <cwchar>
#include <deque>
#include <new>
#include <string>

#include "app/core/regex.h"
#include "sdk/com.h"

namespace {

// A failed call that left no last-error value must still read as a failure.
HRESULT ListingError(DWORD error) {
  const HRESULT hr = omb::HResultFromError(error);
  return FAILED(hr) ? hr : E_FAIL;
}

bool IsDotEntry(const wchar_t* name) { return wcscmp(name, L".") == 0 || wcscmp(name, L"..") == 0; }

bool IsFolder(const WIN32_FIND_DATAW& entry) {
  return (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Symbolic links and junctions point elsewhere: entering them could walk (and,
// for a deleting visit, destroy) another tree, or loop forever.
bool IsLink(const WIN32_FIND_DATAW& entry) {
  return IsFolderLink(entry.dwFileAttributes, entry.dwReserved0);
}

ULONGLONG FileSize(const WIN32_FIND_DATAW& entry) {
  return (static_cast<ULONGLONG>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow;
}

// One open folder listing, positioned on its current entry.
struct Listing {
  Listing(const std::wstring& pattern, size_t folderPart)
      : find(FindFirstFileW(pattern.c_str(), &entry)),
        error(find ? 0 : GetLastError()),
        folderLength(folderPart) {}

  WIN32_FIND_DATAW entry;  // declared before find, which fills it
  omb::unique_find find;
  DWORD error;
  size_t folderLength;  // the folder's part of the shared path, backslash included
  bool hasEntry = true;
  HRESULT result = E_FAIL;
};

class CWalker {
 public:
  CWalker(const CRegExp* filter, bool recursive, WalkVisit visit, void* visitData)
      : filter_(filter), recursive_(recursive), visit_(visit), visitData_(visitData) {}

  HRESULT Walk(const wchar_t* folder) {
    path_ = folder;
    if (path_.empty() || (path_.back() != L'\\' && path_.back() != L'/')) path_ += L'\\';
    if (const DWORD error = Open()) return ListingError(error);
    for (;;) {
      Listing& top = listings_.back();
      if (!top.hasEntry) {
        const HRESULT inner = top.result;
        listings_.pop_back();
        if (listings_.empty()) return inner;
        if (ReportFolder(listings_.back(), inner) == E_ABORT) return E_ABORT;
      } else if (!IsFolder(top.entry)) {
        if (ReportFile(top) == E_ABORT) return E_ABORT;
      } else if (IsDotEntry(top.entry.cFileName)) {
        Advance(top);
      } else if (recursive_ && !IsLink(top.entry)) {
        SetPath(top);
        path_ += L'\\';
        const DWORD error = Open();  // a deque keeps top in place
        if (error && ReportFolder(top, ListingError(error)) == E_ABORT) return E_ABORT;
      } else if (ReportFolder(top, top.result) == E_ABORT) {
        return E_ABORT;
      }
    }
  }

 private:
  // Starts listing the folder path_ names; answers 0 or the last-error value.
  DWORD Open() {
    const size_t folderLength = path_.size();
    path_ += L'*';
    listings_.emplace_back(path_, folderLength);
    path_.resize(folderLength);
    const DWORD error = listings_.back().error;
    if (error) listings_.pop_back();
    return error;
  }

  void Advance(Listing& listing) {
    listing.hasEntry = FindNextFileW(listing.find.get(), &listing.entry) != FALSE;
  }

  void SetPath(const Listing& listing) {
    path_.resize(listing.folderLength);
    path_ += listing.entry.cFileName;
  }

  bool Passes() const { return !filter_ || filter_->Search(path_); }

  HRESULT ReportFile(Listing& listing) {
    SetPath(listing);
    if (Passes()) {
      listing.result = visit_(visitData_, path_.c_str(), listing.entry.dwFileAttributes,
                              FileSize(listing.entry));
    }
    Advance(listing);
    return listing.result;
  }

  // Reports the listing's current folder entry, after its contents (whose walk
  // answered inner) when they were walked.
  HRESULT ReportFolder(Listing& listing, HRESULT inner) {
    listing.result = inner;
    if (inner == E_ABORT) return E_ABORT;
    SetPath(listing);
    if (Passes()) {
      listing.result = visit_(visitData_, path_.c_str(), listing.entry.dwFileAttributes, 0);
    }
    Advance(listing);
    return listing.result;
  }

  const CRegExp* filter_;
  bool recursive_;
  WalkVisit visit_;
  void* visitData_;
  std::wstring path_;             // the entry being reported, or the folder being opened
  std::deque<Listing> listings_;  // a deque: listings own handles and never move
};

}  // namespace

bool IsFolderLink(DWORD attributes, DWORD reparseTag) noexcept {
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return false;
  return reparseTag == 0 || IsReparseTagNameSurrogate(reparseTag);
}

HRESULT WalkDirectory(const wchar_t* folder, const wchar_t* filter, bool recursive, WalkVisit visit,
                      void* visitData) noexcept {
  if (!folder || !visit) return E_INVALIDARG;
  try {
    CRegExp regExp;
    const bool filtered = filter && regExp.Compile(filter);
    return CWalker(filtered ? &regExp : nullptr, recursive, visit, visitData).Walk(folder);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}
