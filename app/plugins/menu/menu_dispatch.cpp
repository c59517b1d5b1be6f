#include "app/plugins/menu/menu_dispatch.h"

#include <bitset>

#include "app/core/script_call.h"
#include "sdk/trace.h"

namespace omb {
namespace {

constexpr DISPID kAppendMenu = -10000;
constexpr DISPID kPopup = -9999;
constexpr DISPID kGetSubMenu = -9998;
constexpr DISPID kEnable = -9997;
constexpr DISPID kGetItemCount = -9996;

const DispMember<CMenuDispatch> kMembers[] = {
    {kAppendMenu, L"appendMenu", &CMenuDispatch::AppendMenu},
    {kPopup, L"popup", &CMenuDispatch::Popup},
    {kGetSubMenu, L"getSubMenu", &CMenuDispatch::GetSubMenu},
    {kEnable, L"enable", &CMenuDispatch::Enable},
    {kGetItemCount, L"getItemCount", &CMenuDispatch::GetItemCount},
};

// TPM_NONOTIFY | TPM_RETURNCMD: the chosen command comes back as the answer
// instead of a WM_COMMAND, so the menu runs its own item.
constexpr UINT kTrackFlags = 0x180;

constexpr UINT kFirstCommandId = 2000;
// Command messages carry the identifier in 16 bits.
constexpr UINT kLastCommandId = 0xFFFF;
// How deep a submenu tree is searched for a loop; deeper counts as a loop.
constexpr int kMaxMenuDepth = 64;

UINT g_nextCommandId = kFirstCommandId;

// Identifiers held by the items of living menus.
std::bitset<kLastCommandId + 1>& HeldCommandIds() noexcept {
  static std::bitset<kLastCommandId + 1> held;
  return held;
}

// True when target is root or lies in root's submenu tree. A tree deeper than
// any sensible menu is treated as holding it, so the search always ends.
bool MenuTreeHolds(HMENU root, HMENU target, int depth = 0) noexcept {
  if (root == target || depth > kMaxMenuDepth) return true;
  const int count = ::GetMenuItemCount(root);
  for (int i = 0; i < count; ++i) {
    HMENU sub = ::GetSubMenu(root, i);
    if (sub && MenuTreeHolds(sub, target, depth + 1)) return true;
  }
  return false;
}

// The position of the item that opens submenu, or -1.
int PositionOfPopup(HMENU menu, HMENU submenu) noexcept {
  const int count = ::GetMenuItemCount(menu);
  for (int i = 0; i < count; ++i)
    if (::GetSubMenu(menu, i) == submenu) return i;
  return -1;
}

bool SameTextIgnoringCase(const std::wstring& a, const wchar_t* b) noexcept {
  return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b, -1, TRUE) == CSTR_EQUAL;
}

// Calls fn(context) when a context was given, fn() otherwise.
HRESULT CallItem(IDispatch* fn, const VARIANT& context) noexcept {
  if (context.vt != VT_EMPTY) return CallScript(fn, {}, context);
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  return fn->Invoke(DISPID_VALUE, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, nullptr,
                    nullptr, nullptr);
}

}  // namespace

UINT TakeMenuCommandId() noexcept {
  for (UINT tries = kFirstCommandId; tries <= kLastCommandId; ++tries) {
    const UINT id = g_nextCommandId;
    g_nextCommandId = id == kLastCommandId ? kFirstCommandId : id + 1;
    if (!HeldCommandIds().test(id)) return id;
  }
  return 0;
}

void HoldMenuCommandId(UINT id, bool held) noexcept {
  if (id >= kFirstCommandId && id <= kLastCommandId) HeldCommandIds().set(id, held);
}

POINT ClampToWorkArea(POINT point) noexcept {
  if (::MonitorFromPoint(point, MONITOR_DEFAULTTONULL)) return point;
  MONITORINFO info{};
  info.cbSize = sizeof(info);
  if (!::GetMonitorInfoW(::MonitorFromPoint(point, MONITOR_DEFAULTTONEAREST), &info)) return point;
  if (point.x < info.rcWork.left) point.x = info.rcWork.left;
  if (point.x > info.rcWork.right) point.x = info.rcWork.right;
  return point;
}

std::span<const DispMember<CMenuDispatch>> CMenuDispatch::Members() noexcept { return kMembers; }

CMenuDispatch::~CMenuDispatch() {
  DetachSubmenus();
  for (const auto& entry : items_) HoldMenuCommandId(entry.first, false);
}

// Destroying a menu destroys the pop-ups it opens as well; a submenu is an
// object of its own that script or another menu may still hold, so its items
// are detached first and its native menu lives on.
void CMenuDispatch::DetachSubmenus() noexcept {
  if (!menu_) return;
  for (int i = ::GetMenuItemCount(menu_.get()) - 1; i >= 0; --i)
    if (::GetSubMenu(menu_.get(), i)) ::RemoveMenu(menu_.get(), static_cast<UINT>(i), MF_BYPOSITION);
}

HRESULT CMenuDispatch::QueryOther(REFIID iid, void** out) noexcept {
  if (iid != IID_IDispatch) return E_NOINTERFACE;
  *out = static_cast<IDispatch*>(this);
  AddRef();
  return S_OK;
}

// ---------------------------------------------------------------------------
// IDispatch

STDMETHODIMP CMenuDispatch::GetTypeInfoCount(UINT* count) noexcept {
  if (!count) return E_POINTER;
  *count = 0;
  return S_OK;
}

STDMETHODIMP CMenuDispatch::GetTypeInfo(UINT, LCID, ITypeInfo** info) noexcept {
  if (info) *info = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP CMenuDispatch::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                          DISPID* ids) noexcept {
  if (!names || !ids || count == 0) return E_INVALIDARG;
  for (UINT i = 1; i < count; ++i) ids[i] = DISPID_UNKNOWN;
  const auto* member = FindMember(Members(), names[0]);
  if (!member) {
    ids[0] = DISPID_UNKNOWN;
    TraceUnknownName(kClassName, names[0]);
    return DISP_E_UNKNOWNNAME;
  }
  ids[0] = member->id;
  return S_OK;
}

STDMETHODIMP CMenuDispatch::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO*, UINT*) noexcept {
  const auto* member = FindMember(Members(), id);
  if (!member || (flags & DISPATCH_METHOD) == 0) return E_NOTIMPL;
  DispCall call{id, flags, DispArgs(params), result};
  try {
    return (this->*(member->handler))(call);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

// ---------------------------------------------------------------------------
// OMB::IMenu

STDMETHODIMP CMenuDispatch::Create(HWND owner, HWND host, LONG kind) noexcept {
  owner_ = owner;
  host_ = host;
  kind_ = kind;
  DetachSubmenus();
  menu_.reset(kind == OMB::kWindowMenu ? ::CreateMenu() : ::CreatePopupMenu());
  return S_OK;
}

STDMETHODIMP CMenuDispatch::Exec(UINT commandId) noexcept {
  const auto found = items_.find(commandId);
  if (found != items_.end()) {
    const Item& item = found->second;
    // A submenu item has no command of its own; only call-backs run.
    if (item.object && (item.flags & MF_POPUP) == 0) CallItem(item.object.Get(), *item.context);
    return S_OK;
  }
  for (const auto& [id, item] : items_) {
    if ((item.flags & MF_POPUP) == 0 || !item.object) continue;
    ComPtr<OMB::IMenu> submenu;
    if (FAILED(item.object->QueryInterface(__uuidof(OMB::IMenu), reinterpret_cast<void**>(&submenu)))) {
      OMB_TRACE(kTraceErrors, "CMenuDispatch::Exec", L"Query SubMenu failed.");
      continue;
    }
    if (submenu->Exec(commandId) == S_OK) return S_OK;
  }
  return S_FALSE;
}

// ---------------------------------------------------------------------------
// Members

HRESULT CMenuDispatch::AppendMenu(DispCall& call) {
  if (call.args.Count() != 1) return E_NOTIMPL;
  IDispatch* options = nullptr;
  OMB_RETURN_IF_FAILED(call.args.Object(0, &options));
  return call.ReturnBool(Append(options));
}

bool CMenuDispatch::Append(IDispatch* options) {
  const UINT id = TakeMenuCommandId();
  if (id == 0) {
    OMB_TRACE(kTraceErrors, "CMenuDispatch::AppendMenu", L"No command identifier left.");
    return false;
  }
  Item item;
  if (OptionBool(options, L"gray", false)) item.flags |= MF_GRAYED;
  if (OptionBool(options, L"separator", false)) item.flags |= MF_SEPARATOR;
  unique_variant subMenu;
  ReadMember(options, L"subMenu", subMenu.put());
  if (subMenu.vt() == VT_DISPATCH && subMenu->pdispVal) item.flags |= MF_POPUP;

  unique_bstr name;
  OptionString(options, L"name", &name);
  if (name) item.name.assign(name.get(), ::SysStringLen(name.get()));
  if (item.name.empty() && (item.flags & MF_SEPARATOR) == 0) {
    OMB_TRACE(kTraceErrors, "CMenuDispatch::AppendMenu", L"Menu name empty.");
    return false;
  }

  if (item.flags & MF_POPUP) {
    ComPtr<OMB::IMenu> submenu;
    if (FAILED(subMenu->pdispVal->QueryInterface(__uuidof(OMB::IMenu),
                                                  reinterpret_cast<void**>(&submenu)))) {
      OMB_TRACE(kTraceErrors, "CMenuDispatch::AppendMenu", L"Query SubMenu failed.");
      return false;
    }
    const HMENU handle = submenu->GetHandle();
    if (!handle) {
      OMB_TRACE(kTraceErrors, "CMenuDispatch::AppendMenu", L"Get SubMenu handle failed.");
      return false;
    }
    // A menu inside its own submenu tree would send command searches round
    // in circles (and keep both menus alive through each other).
    if (MenuTreeHolds(handle, menu_.get())) {
      OMB_TRACE(kTraceErrors, "CMenuDispatch::AppendMenu", L"SubMenu contains this menu.");
      return false;
    }
    item.object = subMenu->pdispVal;
    item.popup = handle;
    ::AppendMenuW(menu_.get(), item.flags | MF_POPUP, reinterpret_cast<UINT_PTR>(handle),
                  item.name.c_str());
  } else {
    item.object = OptionFunction(options, L"callback");
    if (item.object) ReadMember(options, L"context", item.context.put());
    else if ((item.flags & MF_SEPARATOR) == 0) item.flags |= MF_GRAYED;
    ::AppendMenuW(menu_.get(), item.flags, id, item.name.c_str());
  }
  items_.emplace(id, std::move(item));
  HoldMenuCommandId(id, true);
  return true;
}

HRESULT CMenuDispatch::Popup(DispCall& call) {
  POINT point = {};
  if (call.args.Count() == 2) {
    LONG x = 0, y = 0;
    OMB_RETURN_IF_FAILED(call.args.Number(0, &x));
    OMB_RETURN_IF_FAILED(call.args.Number(1, &y));
    point = {x, y};
    ::ClientToScreen(owner_, &point);
  } else if (call.args.Count() == 0) {
    ::GetCursorPos(&point);
  } else {
    return E_NOTIMPL;
  }
  return call.ReturnBool(Show(point));
}

bool CMenuDispatch::Show(POINT point) {
  if (kind_ == OMB::kWindowMenu || ::GetMenuItemCount(menu_.get()) <= 0) return false;
  point = ClampToWorkArea(point);
  // A tray menu only closes on an outside click when its window is in front;
  // the empty message afterwards lets the menu's dismissal complete.
  if (kind_ == OMB::kTrayMenu) ::SetForegroundWindow(host_);
  const UINT chosen = static_cast<UINT>(
      ::TrackPopupMenu(menu_.get(), kTrackFlags, point.x, point.y, 0, owner_, nullptr));
  if (kind_ == OMB::kTrayMenu) ::PostMessageW(nullptr, WM_NULL, 0, 0);
  if (chosen != 0) Exec(chosen);
  return true;
}

HRESULT CMenuDispatch::GetSubMenu(DispCall& call) {
  if (call.args.Count() != 1) return E_NOTIMPL;
  const wchar_t* name = nullptr;
  OMB_RETURN_IF_FAILED(call.args.String(0, &name));
  if (!call.WantsResult()) return E_POINTER;
  if (!*name) return E_INVALIDARG;
  const auto* entry = FindByName(name, true);
  return entry ? call.ReturnDispatch(entry->second.object.Get()) : S_OK;
}

HRESULT CMenuDispatch::Enable(DispCall& call) {
  if (call.args.Count() != 2) return E_NOTIMPL;
  const wchar_t* name = nullptr;
  bool enabled = false;
  OMB_RETURN_IF_FAILED(call.args.String(0, &name));
  OMB_RETURN_IF_FAILED(call.args.Bool(1, &enabled));
  return call.ReturnBool(SetEnabled(name, enabled));
}

bool CMenuDispatch::SetEnabled(const wchar_t* name, bool enabled) {
  auto* entry = *name ? FindByName(name, false) : nullptr;
  if (!entry) return false;
  auto& [id, item] = *entry;
  if (enabled) item.flags &= ~MF_GRAYED;
  else item.flags |= MF_GRAYED;
  const UINT state = enabled ? MF_ENABLED : MF_GRAYED;
  // A submenu item is known to the native menu by its pop-up, not by a
  // command identifier: address it by position.
  if (item.flags & MF_POPUP) {
    const int position = PositionOfPopup(menu_.get(), item.popup);
    if (position >= 0)
      ::EnableMenuItem(menu_.get(), static_cast<UINT>(position), MF_BYPOSITION | state);
  } else {
    ::EnableMenuItem(menu_.get(), id, MF_BYCOMMAND | state);
  }
  if (kind_ == OMB::kWindowMenu) ::DrawMenuBar(host_);
  return true;
}

HRESULT CMenuDispatch::GetItemCount(DispCall& call) {
  if (call.args.Count() != 0) return E_NOTIMPL;
  if (!call.WantsResult()) return E_INVALIDARG;
  return call.ReturnInt(::GetMenuItemCount(menu_.get()));
}

CMenuDispatch::Entry* CMenuDispatch::FindByName(const wchar_t* name, bool submenusOnly) {
  for (auto& entry : items_) {
    if (submenusOnly && (entry.second.flags & MF_POPUP) == 0) continue;
    if (SameTextIgnoringCase(entry.second.name, name)) return &entry;
  }
  return nullptr;
}

}  // namespace omb
