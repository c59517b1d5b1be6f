#include "app/plugins/window/unique_window.h"

#include <map>
#include <string>

#include "app/plugins/window/msg_dispatch.h"
#include "sdk/com.h"

namespace omb {
namespace {

constexpr ULONG_PTR kUniqueMarker = 0x10101;
constexpr wchar_t kMutexSuffix[] = L"_WndMutex";
constexpr wchar_t kPropertySuffix[] = L"_UniquePropName";

// The last claim of one frame.
struct UniqueRecord {
  unique_handle mutex;
  bool taken = false;   // the mutex already existed at the claim
  bool marked = false;  // the frame carries the name's marker
  std::wstring name;
};

// Every frame's record; used on the user-interface thread only.
std::map<HWND, UniqueRecord>& Records() {
  static std::map<HWND, UniqueRecord> records;
  return records;
}

struct HolderSearch {
  std::wstring property;
  HWND holder = nullptr;
};

BOOL CALLBACK FindHolder(HWND window, LPARAM param) noexcept {
  auto* search = reinterpret_cast<HolderSearch*>(param);
  if (reinterpret_cast<ULONG_PTR>(::GetPropW(window, search->property.c_str())) != kUniqueMarker)
    return TRUE;
  search->holder = window;
  return FALSE;
}

}  // namespace

HRESULT IsUniqueWindow(HWND frame, const wchar_t* name, bool* unique) {
  if (!unique) return E_POINTER;
  *unique = false;
  if (!name || !*name) return E_INVALIDARG;
  AllowPrivateMessages();
  UniqueRecord& record = Records()[frame];
  // The window gives up the name it held: later claimers must not find it.
  RemoveUniqueMarker(frame);
  record.mutex.reset();
  record.taken = false;
  record.mutex.reset(::CreateMutexW(nullptr, TRUE, (std::wstring(name) + kMutexSuffix).c_str()));
  if (record.mutex) {
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {
      record.taken = true;
    } else {
      record.marked = SetMarkerProperty(frame, (std::wstring(name) + kPropertySuffix).c_str(),
                                        kUniqueMarker);
    }
  }
  record.name = name;
  *unique = !record.taken;
  return S_OK;
}

HRESULT ShowExistedWindow(const wchar_t* name, bool* shown) {
  if (!shown) return E_POINTER;
  *shown = false;
  if (!name) return E_INVALIDARG;
  HolderSearch search{std::wstring(name) + kPropertySuffix};
  ::EnumWindows(FindHolder, reinterpret_cast<LPARAM>(&search));
  if (!search.holder) return S_OK;
  // A holder that does not answer (hung, or gone meanwhile) is not shown.
  LRESULT answer = 0;
  if (!SendPrivateMessage(search.holder, MSG_SHOW_WINDOW, 0, SW_SHOWNORMAL, &answer) || answer != 0)
    return S_OK;
  ::SetForegroundWindow(search.holder);
  *shown = true;
  return S_OK;
}

HRESULT ShowExistedWindow(HWND frame, bool* shown) {
  if (!shown) return E_POINTER;
  *shown = false;
  const auto found = Records().find(frame);
  if (found == Records().end() || !found->second.mutex || !found->second.taken) return S_OK;
  return ShowExistedWindow(found->second.name.c_str(), shown);
}

void OnShowWindowMessage(HWND frame) { OnShowWindowMessage(frame, SW_SHOWNORMAL); }

void OnShowWindowMessage(HWND frame, LPARAM showCommand) {
  ::ShowWindow(frame, static_cast<int>(showCommand));
}

void RemoveUniqueMarker(HWND frame) noexcept {
  const auto found = Records().find(frame);
  if (found == Records().end() || !found->second.marked) return;
  found->second.marked = false;
  try {
    RemoveMarkerProperty(frame, (found->second.name + kPropertySuffix).c_str(), kUniqueMarker);
  } catch (...) {
  }
}

void ReleaseUniqueWindow(HWND frame) { Records().erase(frame); }

}  // namespace omb
