// Live reload while an application is being written (the command-line switch
// "watch"): the host watches the application folder and, when a file under
// its "resource" folder changes, opens the page of every window again.
//
// The watch is an overlapped ReadDirectoryChangesW on the "resource" folder
// and everything below it, whose event
// the user-interface thread's message loop waits on together with a
// debounce timer; so the changes and the reload are handled on that thread,
// between messages, never inside a modal loop or while script runs. A burst
// of changes (an editor's save, a build writing many files) reloads once:
// the reload waits until no change came for kQuietMs, or kMaxDelayMs after
// the burst's first change, whichever comes first.
//
// A reload navigates each window to its current address again rather than
// refreshing it: a refresh fires no navigation events, and those events are
// where the host injects its start-up script and tells plug-ins about the
// new page.
//
// Under Wine a watch of a folder tree sees changes in sub-folders only once
// each sub-folder has been opened after the watch began (new ones are picked
// up by themselves), so Start opens every existing sub-folder once; on
// Windows that costs a few opens.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "app/core/message_loop.h"
#include "sdk/com.h"

namespace omb {

class CLiveReload final : public IWaitHandler {
 public:
  static constexpr DWORD kQuietMs = 150;
  static constexpr DWORD kMaxDelayMs = 600;

  CLiveReload() noexcept = default;
  CLiveReload(const CLiveReload&) = delete;
  CLiveReload& operator=(const CLiveReload&) = delete;
  ~CLiveReload() { Stop(); }

  // What a reload does: by default ReloadAllWindows.
  using Action = void (*)(void* context) noexcept;

  // Starts watching folder (the pages' folder, with its sub-folders) through
  // loop (the calling thread's). On failure nothing is watched.
  [[nodiscard]] HRESULT Start(const std::wstring& folder, CMessageLoop& loop,
                              Action action = nullptr, void* context = nullptr) noexcept;
  // Ends the watch: the pending read is cancelled and waited for, the
  // handles leave the loop and are closed. No reload happens afterwards.
  void Stop() noexcept;

  void OnSignaled(HANDLE handle) noexcept override;

 private:
  HRESULT OpenFolder() noexcept;
  bool Listen() noexcept;
  void OnChanges() noexcept;
  void ScheduleReload() noexcept;
  void RunAction() noexcept;

  CMessageLoop* loop_ = nullptr;
  Action action_ = nullptr;
  void* context_ = nullptr;
  std::wstring folder_;
  unique_file directory_;
  unique_handle changed_;  // the read's completion event
  unique_handle timer_;    // the debounce timer (auto-reset)
  OVERLAPPED overlapped_{};
  bool reading_ = false;
  bool pending_ = false;
  ULONGLONG burstStart_ = 0;
  alignas(DWORD) BYTE buffer_[16384];
};

// Starts reload on the "resource" folder of the application folder (the
// current directory once the first window chose its page). Failures are
// traced; nothing is watched then.
void WatchApplicationFolder(CLiveReload& reload, CMessageLoop& loop) noexcept;

// True when a change to this path (relative to the watched folder) reloads
// the pages. Editors' swap and backup files (names ending in ".swp", ".swx",
// ".tmp" or "~") do not count.
bool IsPageChange(std::wstring_view relativePath) noexcept;

// The address a window is reloaded with: its current one without #fragment
// (navigating to the same address with a fragment only scrolls).
std::wstring ReloadAddress(std::wstring_view location);

// Navigates every browser window of this thread to its current page again.
// Answers how many windows were told to.
size_t ReloadAllWindows() noexcept;

}  // namespace omb
