#include "app/plugins/hotkey/hotkey_plugin.h"

#include <string>

#include "app/core/plugin_registry.h"
#include "app/core/script_call.h"
#include "app/plugins/hotkey/hotkey_text.h"

namespace omb {
namespace {

using H = CHotkeyPlugin;

const DispMember<H> kMembers[] = {
    {-10000, L"set", &H::Set},
    {-9999, L"clear", &H::Clear},
};

}  // namespace

// ---------------------------------------------------------------------------
// The frame's hot keys

bool CHotkeySubclassWindow::Set(DWORD combination, IDispatch* function, const VARIANT& context) {
  if (!Window() || records_.count(combination)) return false;
  Record record;
  record.function = function;
  if (FAILED(VariantCopyInd(record.context.get(), const_cast<VARIANT*>(&context)))) return false;
  record.id = nextId_++;
  const int id = record.id;
  // Stored first, so a failing allocation leaves nothing registered.
  const auto slot = records_.emplace(combination, std::move(record)).first;
  if (RegisterHotKey(Window(), id, LOWORD(combination), HIWORD(combination))) return true;
  records_.erase(slot);
  return false;
}

bool CHotkeySubclassWindow::Clear(DWORD combination) noexcept {
  const auto found = records_.find(combination);
  if (found == records_.end()) return false;
  UnregisterHotKey(Window(), found->second.id);
  records_.erase(found);
  return true;
}

void CHotkeySubclassWindow::UnregisterAll() noexcept {
  for (const auto& [combination, record] : records_) UnregisterHotKey(Window(), record.id);
  records_.clear();
}

bool CHotkeySubclassWindow::OnMessage(UINT message, WPARAM, LPARAM lParam,
                                      LRESULT* answer) noexcept {
  *answer = 0;
  if (message == WM_HOTKEY) {
    const DWORD combination = static_cast<DWORD>(lParam);
    if (!records_.count(combination)) return false;
    Fire(combination);
    return true;
  }
  // The system keeps a window's hot keys after the window is gone, where no
  // one would ever see them again: give them back now.
  if (message == WM_DESTROY) UnregisterAll();
  return false;
}

// The function may clear or replace its own hot key while it runs.
void CHotkeySubclassWindow::Fire(DWORD combination) noexcept {
  const Record& record = records_.at(combination);
  ComPtr<IDispatch> function = record.function;
  unique_variant context;
  if (FAILED(context.CopyFrom(*record.context))) return;
  CallScript(function.Get(), {}, *context);
}

// ---------------------------------------------------------------------------
// Plug-in

std::span<const DispMember<CHotkeyPlugin>> CHotkeyPlugin::Members() noexcept { return kMembers; }

STDMETHODIMP CHotkeyPlugin::Initialize(OMB::ICore* core, IUnknown*) noexcept {
  if (!core) return E_INVALIDARG;
  if (core_) return S_OK;
  core_ = core;
  return keys_.Attach(core->GetWindowHandle(), Unknown()) ? S_OK : E_FAIL;
}

// set(text, function[, context]) -> whether the hot key was registered
HRESULT CHotkeyPlugin::Set(DispCall& call) {
  const UINT count = call.args.Count();
  if (!call.IsMethod() || count < 2 || count > 3) return E_NOTIMPL;
  const wchar_t* text = nullptr;
  UINT length = 0;
  IDispatch* function = nullptr;
  OMB_RETURN_IF_FAILED(call.args.String(0, &text, &length));
  OMB_RETURN_IF_FAILED(call.args.Object(1, &function));
  std::wstring lowered(text, length);
  if (!lowered.empty()) CharLowerBuffW(lowered.data(), static_cast<DWORD>(lowered.size()));
  const auto combination = ParseHotkeyText(lowered);
  if (!combination) return call.ReturnBool(false);
  unique_variant none;
  return call.ReturnBool(keys_.Set(*combination, function, count == 3 ? call.args[2] : *none));
}

// clear(text) -> whether a registration was removed
HRESULT CHotkeyPlugin::Clear(DispCall& call) {
  if (!call.IsMethod() || call.args.Count() != 1) return E_NOTIMPL;
  const wchar_t* text = nullptr;
  UINT length = 0;
  OMB_RETURN_IF_FAILED(call.args.String(0, &text, &length));
  const auto combination = ParseHotkeyText(std::wstring_view(text, length));
  return call.ReturnBool(combination && keys_.Clear(*combination));
}

OMB_REGISTER_BUILTIN_PLUGIN(L"hotkey", CHotkeyPlugin, 0);

}  // namespace omb
