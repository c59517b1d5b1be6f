// The work of one asynchronous copy or move, independent of threads and
// script: the items are collected first (a copy lists each folder before its
// contents, a move after them, so folders exist before their files arrive and
// are empty when they are removed), then copied or moved one by one with the
// platform's progress routine reporting bytes to a progress sink.
#pragma once

#include <windows.h>

#include <deque>
#include <string>
#include <vector>

namespace omb {

// Where progress goes; the job's "progress" function in the plug-in.
class CProgressSink {
 public:
  virtual bool Wanted() noexcept = 0;
  // Calls progress(done, total); answer receives what the function returned.
  virtual HRESULT Report(double done, double total, VARIANT* answer) noexcept = 0;
  // True when the work must end now, as if cancelled (the host is exiting).
  virtual bool Stopped() noexcept { return false; }

 protected:
  ~CProgressSink() = default;
};

class CCopyOperation {
 public:
  // source and destination are full paths; progress may be null.
  CCopyOperation(std::wstring source, std::wstring destination, bool move, bool replace,
                 CProgressSink* progress);

  // Does the whole copy or move. S_OK, E_ABORT when progress cancelled it,
  // or the failing result code (0x80070002 when the source does not exist).
  HRESULT Run() noexcept;

  // Collects the items below the source (relative paths, "" for the source
  // itself) and adds their sizes to the total.
  HRESULT CollectItems() noexcept;
  const std::vector<std::wstring>& Items() const noexcept { return items_; }
  ULONGLONG Total() const noexcept { return total_; }
  ULONGLONG Done() const noexcept { return done_; }

  // The platform's progress routine; data is the operation.
  static DWORD CALLBACK ProgressRoutine(LARGE_INTEGER fileSize, LARGE_INTEGER transferred,
                                        LARGE_INTEGER streamSize, LARGE_INTEGER streamTransferred,
                                        DWORD stream, DWORD reason, HANDLE source,
                                        HANDLE destination, void* data) noexcept;

 private:
  struct OpenFolder;
  HRESULT Collect();  // may throw bad_alloc, as may Enter
  HRESULT Enter(const std::wstring& relative, std::deque<OpenFolder>* open);
  HRESULT ProcessItems() noexcept;
  HRESULT ProcessFolder(const std::wstring& source, const std::wstring& destination) noexcept;
  HRESULT ProcessFile(const std::wstring& source, const std::wstring& destination) noexcept;
  std::wstring Below(const std::wstring& root, const std::wstring& relative) const;
  DWORD OnProgress(ULONGLONG transferred) noexcept;

  std::wstring source_;
  std::wstring destination_;
  bool move_;
  bool replace_;
  CProgressSink* progress_;
  ULONGLONG total_ = 0;
  ULONGLONG done_ = 0;
  std::vector<std::wstring> items_;
};

// Creates the missing folders of path's parent chain, outermost first;
// failures are left for the file operation that follows to report.
void CreateParentFolders(const std::wstring& path) noexcept;

}  // namespace omb
