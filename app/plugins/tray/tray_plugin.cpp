#include "app/plugins/tray/tray_plugin.h"

#include "app/core/plugin_registry.h"

namespace omb {
namespace {

using T = CTrayPlugin;

const DispMember<T> kMembers[] = {
    {-10000, L"addTray", &T::AddTray},
    {-9999, L"show", &T::Show},
    {-9998, L"hide", &T::Hide},
    {-9997, L"onClick", &T::OnClick},
    {-9996, L"onDbClick", &T::OnDbClick},
    {-9995, L"onRClick", &T::OnRClick},
};

// The executable's own icon group.
constexpr WORD kAppIconGroup = 1000;

// A failure code for the last platform error, never a success.
HRESULT LastFailure() noexcept {
  const HRESULT hr = HResultFromLastError();
  return FAILED(hr) ? hr : E_FAIL;
}

}  // namespace

std::span<const DispMember<CTrayPlugin>> CTrayPlugin::Members() noexcept { return kMembers; }

STDMETHODIMP CTrayPlugin::Initialize(OMB::ICore* core, IUnknown* browser) noexcept {
  if (!core || !browser) return E_INVALIDARG;
  if (core_) return S_OK;
  core_ = core;
  return icon_.Attach(core->GetWindowHandle(), Unknown()) ? S_OK : E_FAIL;
}

// addTray(tip) shows the application's icon, addTray(tip, iconFile) one
// loaded from a file found relative to the page.
HRESULT CTrayPlugin::AddTray(DispCall& call) {
  const UINT count = call.args.Count();
  if (!call.IsMethod() || count < 1 || count > 2) return E_NOTIMPL;
  const wchar_t* tip = nullptr;
  const wchar_t* file = nullptr;
  UINT length = 0;
  OMB_RETURN_IF_FAILED(call.args.String(0, &tip, &length));
  if (count == 2) OMB_RETURN_IF_FAILED(call.args.String(1, &file));
  icon_.SetTip(tip, length);
  icon_.SetIcon(nullptr);
  HICON icon = nullptr;
  OMB_RETURN_IF_FAILED(LoadTrayIcon(file, &icon));
  icon_.SetIcon(icon);
  icon_.Show();
  return S_OK;
}

// The executable's icon without a file; at the small-icon size either way.
HRESULT CTrayPlugin::LoadTrayIcon(const wchar_t* file, HICON* icon) noexcept {
  const int width = GetSystemMetrics(SM_CXSMICON);
  const int height = GetSystemMetrics(SM_CYSMICON);
  if (!file) {
    *icon = static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kAppIconGroup),
                                          IMAGE_ICON, width, height, 0));
  } else {
    if (!core_) return E_UNEXPECTED;
    unique_bstr resolved;
    OMB_RETURN_IF_FAILED(core_->ResolvePath(file, resolved.put()));
    *icon = static_cast<HICON>(
        LoadImageW(nullptr, resolved.get(), IMAGE_ICON, width, height, LR_LOADFROMFILE));
  }
  return *icon ? S_OK : LastFailure();
}

HRESULT CTrayPlugin::Show(DispCall& call) {
  if (!call.IsMethod() || call.args.Count() != 0) return E_NOTIMPL;
  icon_.Show();
  return S_OK;
}

HRESULT CTrayPlugin::Hide(DispCall& call) {
  if (!call.IsMethod() || call.args.Count() != 0) return E_NOTIMPL;
  icon_.Hide();
  return S_OK;
}

HRESULT CTrayPlugin::PutCallback(DispCall& call, CTraySubclassWindow::Callback which) {
  if (call.IsMethod() || !call.IsPut() || call.args.Count() != 1) return E_NOTIMPL;
  IDispatch* function = nullptr;
  OMB_RETURN_IF_FAILED(call.args.Object(0, &function));
  icon_.SetCallback(which, function);
  return S_OK;
}

OMB_REGISTER_BUILTIN_PLUGIN(L"tray", CTrayPlugin, 0);

}  // namespace omb
