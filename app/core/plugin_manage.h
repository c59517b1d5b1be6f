// The plug-in manager of one browser window: creates plug-ins on first use,
// gives each plug-in name a DISPID in this window and keeps the instances of
// plug-ins that do not ask for a new instance on every access.
//
// DISPIDs come from one process-wide counter (-6001, -6002, ...), so the same
// name has a different DISPID in each window and no DISPID is ever reused.
// Used on the user-interface thread only.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "sdk/com.h"
#include "sdk/omb.h"

namespace omb {

class CPluginManage {
 public:
  static constexpr DISPID kUnknownPlugin = -1;     // not registered
  static constexpr DISPID kPluginNotCreated = -2;  // registered, not yet named here

  // Runs the library scan while no plug-in library has been loaded.
  CPluginManage() noexcept;
  CPluginManage(const CPluginManage&) = delete;
  CPluginManage& operator=(const CPluginManage&) = delete;

  // Replaces the window's core and browser control (both counted; null clears).
  void SetCore(OMB::ICore* core, IUnknown* browser) noexcept;

  // The DISPID of name in this window; kPluginNotCreated when it is only in
  // the registry, kUnknownPlugin when it is not registered either.
  DISPID FindDispId(std::wstring_view name) const noexcept;

  // Creates a plug-in by registered name, initialises it with core and
  // browser, gives the name a DISPID and keeps the instance unless its flags
  // ask for a new one on every access. out (optional) receives a reference.
  // A failure leaves the names unchanged, so a later lookup tries again.
  [[nodiscard]] HRESULT CreatePlugin(const wchar_t* name, OMB::ICore* core, IUnknown* browser,
                                     OMB::IPlugin** out) noexcept;

  // The kept instance for dispId, or a new initialised instance when the
  // plug-in asks for one on every access. E_FAIL for an unknown DISPID.
  [[nodiscard]] HRESULT GetPlugin(DISPID dispId, OMB::IPlugin** out) noexcept;

  // Calls operation(OMB::IPlugin*) on every kept instance in DISPID order.
  // The instances are collected first and held while the operation runs, so
  // an operation may create plug-ins or release them all.
  template <class Operation>
  void ForEachInstance(Operation&& operation) noexcept {
    std::vector<ComPtr<OMB::IPlugin>> kept;
    if (!CollectInstances(kept)) return;
    for (const ComPtr<OMB::IPlugin>& instance : kept) operation(instance.Get());
  }

  // Releases every kept instance and empties both maps.
  void ReleaseAll() noexcept;

 private:
  bool CollectInstances(std::vector<ComPtr<OMB::IPlugin>>& kept) const noexcept;

  std::map<std::wstring, DISPID, std::less<>> names_;
  std::map<DISPID, ComPtr<OMB::IPlugin>> instances_;
  ComPtr<OMB::ICore> core_;
  ComPtr<IUnknown> browser_;
};

}  // namespace omb
