#include "app/core/live_reload.h"

#include <exdisp.h>

#include <cstddef>

#include <vector>

#include "app/core/ax_host.h"
#include "app/core/browser_window.h"
#include "app/core/walk.h"
#include "sdk/trace.h"

namespace omb {
namespace {

constexpr DWORD kWatchedChanges = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME |
                                  FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE;
constexpr wchar_t kPageFolder[] = L"resource";
constexpr size_t kMaxOpenedSubfolders = 4096;
constexpr LONG kNavNoHistory = 0x2;        // navNoHistory: the reload replaces the entry
constexpr LONG kNavNoReadFromCache = 0x4;  // navNoReadFromCache: the files just changed

bool EndsWith(std::wstring_view text, std::wstring_view suffix) noexcept {
  return text.size() >= suffix.size() &&
         CompareStringOrdinal(text.data() + text.size() - suffix.size(),
                              static_cast<int>(suffix.size()), suffix.data(),
                              static_cast<int>(suffix.size()), TRUE) == CSTR_EQUAL;
}

BOOL CALLBACK CollectBrowserWindow(HWND window, LPARAM param) noexcept {
  wchar_t name[64];
  if (GetClassNameW(window, name, 64) > 0 && wcscmp(name, CWebBrowser::kClassName) == 0) {
    try {
      reinterpret_cast<std::vector<HWND>*>(param)->push_back(window);
    } catch (...) {
      return FALSE;
    }
  }
  return TRUE;
}

bool Reload(HWND window) noexcept {
  const ComPtr<IUnknown> control = AxGetControl(window);
  ComPtr<IWebBrowser2> browser;
  if (!control || FAILED(control.As(&browser))) return false;
  unique_bstr location;
  if (FAILED(browser->get_LocationURL(location.put())) || !location.get() || !*location.get())
    return false;
  unique_variant address, flags;
  try {
    const std::wstring target = ReloadAddress(location.get());
    if (FAILED(SetString(address.get(), target.c_str()))) return false;
  } catch (...) {
    return false;
  }
  flags->vt = VT_I4;
  flags->lVal = kNavNoHistory | kNavNoReadFromCache;
  return SUCCEEDED(browser->Navigate2(address.get(), flags.get(), nullptr, nullptr, nullptr));
}

// Opens (and closes) one sub-folder found by the walk; stops after
// kMaxOpenedSubfolders.
HRESULT OpenSubfolder(void* data, const wchar_t* path, DWORD attributes, ULONGLONG) noexcept {
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return S_OK;
  size_t& opened = *static_cast<size_t*>(data);
  if (++opened > kMaxOpenedSubfolders) return E_ABORT;
  unique_file folder(CreateFileW(path, FILE_LIST_DIRECTORY,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  return S_OK;
}

}  // namespace

bool IsPageChange(std::wstring_view path) noexcept {
  const size_t slash = path.find_last_of(L"\\/");
  const std::wstring_view name = slash == std::wstring_view::npos ? path : path.substr(slash + 1);
  return !name.empty() && !(EndsWith(name, L"~") || EndsWith(name, L".swp") ||
                            EndsWith(name, L".swx") || EndsWith(name, L".tmp"));
}

std::wstring ReloadAddress(std::wstring_view location) {
  return std::wstring(location.substr(0, location.find(L'#')));
}

size_t ReloadAllWindows() noexcept {
  std::vector<HWND> windows;
  EnumThreadWindows(GetCurrentThreadId(), &CollectBrowserWindow,
                    reinterpret_cast<LPARAM>(&windows));
  size_t reloaded = 0;
  for (HWND window : windows)
    if (IsWindow(window) && Reload(window)) ++reloaded;
  return reloaded;
}

void WatchApplicationFolder(CLiveReload& reload, CMessageLoop& loop) noexcept {
  HRESULT hr = E_OUTOFMEMORY;
  try {
    std::wstring folder(GetCurrentDirectoryW(0, nullptr), L'\0');
    folder.resize(GetCurrentDirectoryW(static_cast<DWORD>(folder.size()), folder.data()));
    if (folder.empty()) {
      hr = HResultFromLastError();
    } else {
      if (folder.back() != L'\\') folder += L'\\';
      hr = reload.Start(folder + kPageFolder, loop);
    }
  } catch (...) {
  }
  if (FAILED(hr))
    OMB_TRACE(kTraceErrors, "WatchApplicationFolder", L"nothing is watched: %08X",
              static_cast<unsigned>(hr));
}

// ---------------------------------------------------------------------------
// The watch

HRESULT CLiveReload::Start(const std::wstring& folder, CMessageLoop& loop, Action action,
                           void* context) noexcept {
  Stop();
  action_ = action;
  context_ = context;
  try {
    folder_ = folder;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  changed_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  timer_.reset(CreateWaitableTimerW(nullptr, FALSE, nullptr));
  HRESULT hr = changed_ && timer_ ? OpenFolder() : HResultFromLastError();
  if (SUCCEEDED(hr)) {
    hr = E_OUTOFMEMORY;
    try {
      if (loop.AddWaitHandle(changed_.get(), this)) {
        if (loop.AddWaitHandle(timer_.get(), this)) hr = S_OK;
        else loop.RemoveWaitHandle(changed_.get());
      }
    } catch (...) {
      loop.RemoveWaitHandle(changed_.get());
    }
  }
  if (FAILED(hr)) {
    Stop();
    return hr;
  }
  loop_ = &loop;
  return S_OK;
}

// Opens the folder and starts the first read, then lets Wine see the
// existing sub-folders (see the header).
HRESULT CLiveReload::OpenFolder() noexcept {
  directory_.reset(CreateFileW(folder_.c_str(), FILE_LIST_DIRECTORY,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED,
                               nullptr));
  if (!directory_) return HResultFromLastError();
  if (!Listen()) {
    const HRESULT hr = HResultFromLastError();
    directory_.reset();
    return FAILED(hr) ? hr : E_FAIL;
  }
  size_t opened = 0;
  (void)WalkDirectory(folder_.c_str(), nullptr, true, &OpenSubfolder, &opened);
  return S_OK;
}

void CLiveReload::Stop() noexcept {
  if (loop_) {
    loop_->RemoveWaitHandle(changed_.get());
    loop_->RemoveWaitHandle(timer_.get());
    loop_ = nullptr;
  }
  if (reading_) {
    // The read writes into buffer_ until it completes: wait for that.
    DWORD bytes = 0;
    CancelIoEx(directory_.get(), &overlapped_);
    GetOverlappedResult(directory_.get(), &overlapped_, &bytes, TRUE);
    reading_ = false;
  }
  if (timer_) CancelWaitableTimer(timer_.get());
  pending_ = false;
  directory_.reset();
  changed_.reset();
  timer_.reset();
}

bool CLiveReload::Listen() noexcept {
  overlapped_ = OVERLAPPED{};
  overlapped_.hEvent = changed_.get();
  reading_ = ReadDirectoryChangesW(directory_.get(), buffer_, sizeof(buffer_), TRUE,
                                   kWatchedChanges, nullptr, &overlapped_, nullptr) != FALSE;
  return reading_;
}

void CLiveReload::OnSignaled(HANDLE handle) noexcept {
  if (handle == changed_.get()) {
    OnChanges();
  } else if (handle == timer_.get() && pending_) {
    pending_ = false;
    RunAction();
  }
}

void CLiveReload::RunAction() noexcept {
  if (action_) action_(context_);
  else (void)ReloadAllWindows();
}

void CLiveReload::OnChanges() noexcept {
  DWORD bytes = 0;
  const bool completed = GetOverlappedResult(directory_.get(), &overlapped_, &bytes, FALSE) != FALSE;
  const DWORD error = completed ? ERROR_SUCCESS : GetLastError();
  if (!completed && error == ERROR_IO_INCOMPLETE) return;
  reading_ = false;
  ResetEvent(changed_.get());
  if (error == ERROR_OPERATION_ABORTED) return;
  // No names (the buffer overflowed, or the platform gave up listing them):
  // anything may have changed.
  bool relevant = !completed || bytes == 0;
  for (DWORD offset = 0; !relevant && bytes >= sizeof(FILE_NOTIFY_INFORMATION);) {
    if (offset > bytes - sizeof(FILE_NOTIFY_INFORMATION)) break;
    const auto* entry = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(buffer_ + offset);
    const size_t name = offset + offsetof(FILE_NOTIFY_INFORMATION, FileName);
    if (entry->FileNameLength > bytes - name) break;
    relevant = IsPageChange(
        std::wstring_view(entry->FileName, entry->FileNameLength / sizeof(wchar_t)));
    if (entry->NextEntryOffset == 0) break;
    offset += entry->NextEntryOffset;
  }
  // A read that failed (the folder was removed or replaced) is retried on
  // the folder of that name, once.
  if (!(completed && Listen())) {
    const HRESULT hr = OpenFolder();
    if (FAILED(hr)) {
      OMB_TRACE(kTraceErrors, "CLiveReload::OnChanges", L"watch ended: %08X",
                static_cast<unsigned>(hr));
      if (loop_) loop_->RemoveWaitHandle(changed_.get());
    }
  }
  if (relevant) ScheduleReload();
}

void CLiveReload::ScheduleReload() noexcept {
  const ULONGLONG now = GetTickCount64();
  if (!pending_) {
    pending_ = true;
    burstStart_ = now;
  }
  const ULONGLONG latest = burstStart_ + kMaxDelayMs;
  const ULONGLONG due = now + kQuietMs < latest ? now + kQuietMs : latest;
  LARGE_INTEGER relative;
  relative.QuadPart = -static_cast<LONGLONG>((due > now ? due - now : 0) * 10000);  // 100 ns units
  if (!SetWaitableTimer(timer_.get(), &relative, 0, nullptr, nullptr, FALSE)) {
    pending_ = false;
    RunAction();
  }
}

}  // namespace omb
