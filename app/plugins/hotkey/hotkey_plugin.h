// "hotkey": system-wide hot keys described by text ("ctrl+alt+f5"); pressing
// one calls the script function registered for it with its context. The
// keys belong to the frame window, which receives WM_HOTKEY through a hook;
// they are given back to the system when the frame is destroyed.
#pragma once

#include <map>
#include <span>

#include "app/core/window_hook.h"
#include "sdk/com.h"
#include "sdk/dispatch.h"
#include "sdk/omb.h"

namespace omb {

class CHotkeySubclassWindow final : public CWindowHook {
 public:
  CHotkeySubclassWindow() noexcept = default;
  ~CHotkeySubclassWindow() = default;

  // Registers the combination for the window: false when it is registered
  // already (the old registration stays) or the system refuses it.
  bool Set(DWORD combination, IDispatch* function, const VARIANT& context);
  // False when the combination is not registered here.
  bool Clear(DWORD combination) noexcept;

 private:
  struct Record {
    int id = 0;
    ComPtr<IDispatch> function;
    unique_variant context;
  };

  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* answer) noexcept override;
  void Fire(DWORD combination) noexcept;
  void UnregisterAll() noexcept;

  std::map<DWORD, Record> records_;
  int nextId_ = 1000;  // every registration attempt takes one
};

class CHotkeyPlugin : public ComObject<CHotkeyPlugin, OMB::IPluginImpl<CHotkeyPlugin>,
                                       DispatchTable<CHotkeyPlugin>> {
 public:
  static constexpr const char* kClassName = "CHotkeyPlugin";
  static std::span<const DispMember<CHotkeyPlugin>> Members() noexcept;

  STDMETHODIMP Initialize(OMB::ICore* core, IUnknown* browser) noexcept override;

  HRESULT Set(DispCall& call);
  HRESULT Clear(DispCall& call);

 private:
  ComPtr<OMB::ICore> core_;
  CHotkeySubclassWindow keys_;
};

}  // namespace omb
