#include "app/plugins/menu/menu_plugin.h"

#include "app/core/plugin_registry.h"
#include "app/plugins/menu/menu_dispatch.h"
#include "app/plugins/window/frame_subclass.h"
#include "sdk/trace.h"

namespace omb {
namespace {

constexpr DISPID kCreateMenu = -9995;

const DispMember<CMenuManagePlugin> kMembers[] = {
    {kCreateMenu, L"createMenu", &CMenuManagePlugin::CreateMenu},
};

struct KindName {
  const wchar_t* name;
  LONG kind;
};
constexpr KindName kKinds[] = {
    {L"popupMenu", OMB::kPopupMenu},
    {L"trayMenu", OMB::kTrayMenu},
    {L"windowMenu", OMB::kWindowMenu},
};

bool KindFromName(const wchar_t* name, UINT length, LONG* kind) noexcept {
  for (const auto& k : kKinds) {
    if (::CompareStringOrdinal(name, static_cast<int>(length), k.name, -1, TRUE) == CSTR_EQUAL) {
      *kind = k.kind;
      return true;
    }
  }
  return false;
}

}  // namespace

std::span<const DispMember<CMenuManagePlugin>> CMenuManagePlugin::Members() noexcept {
  return kMembers;
}

STDMETHODIMP CMenuManagePlugin::Initialize(OMB::ICore* core, IUnknown* browser) noexcept {
  if (!core || !browser) return E_INVALIDARG;
  if (!core_) core_ = core;
  return S_OK;
}

HRESULT CMenuManagePlugin::CreateMenu(DispCall& call) {
  if (!call.IsMethod() || call.args.Count() > 1) return E_NOTIMPL;
  LONG kind = OMB::kPopupMenu;
  if (call.args.Count() == 1) {
    const wchar_t* name = nullptr;
    UINT length = 0;
    OMB_RETURN_IF_FAILED(call.args.String(0, &name, &length));
    if (!KindFromName(name, length, &kind)) return E_NOTIMPL;
  }
  if (!call.WantsResult()) {
    OMB_TRACE(kTraceErrors, "CMenuManagePlugin::CreateMenu", L"pResult is NULL.");
    return E_INVALIDARG;
  }
  ComPtr<IDispatch> menu;
  OMB_RETURN_IF_FAILED(CreateMenuObject(core_ ? core_->GetWindowHandle() : nullptr, kind, &menu));
  return call.ReturnDispatch(menu.Get());
}

HRESULT CreateMenuObject(HWND frame, LONG kind, IDispatch** out) noexcept {
  *out = nullptr;
  auto* menu = new (std::nothrow) CMenuDispatch();
  if (!menu) return E_OUTOFMEMORY;
  menu->Create(frame ? GetIEServerWnd(frame) : nullptr, frame, kind);
  *out = static_cast<IDispatch*>(menu);
  return S_OK;
}

OMB_REGISTER_BUILTIN_PLUGIN(L"menu", CMenuManagePlugin, 0);

}  // namespace omb
