#include "app/core/plugin_manage.h"

#include <new>
#include <utility>

#include "app/core/plugin_registry.h"
#include "sdk/trace.h"

namespace omb {
namespace {

// Process-wide: identifiers are never reused, in any window.
DISPID NextPluginDispId() noexcept {
  static DISPID last = -6000;
  return --last;
}

// Calls the factory for a new plug-in and initialises it; the result of
// Initialize is ignored.
HRESULT NewInstance(const RegisteredPlugin& entry, OMB::ICore* core, IUnknown* browser,
                    ComPtr<OMB::IPlugin>& instance) noexcept {
  const HRESULT hr =
      entry.factory(__uuidof(OMB::IPlugin), reinterpret_cast<void**>(instance.ReleaseAndGetAddressOf()));
  if (FAILED(hr)) return hr;
  if (!instance) return E_FAIL;
  (void)instance->Initialize(core, browser);
  return S_OK;
}

}  // namespace

CPluginManage::CPluginManage() noexcept { ScanPluginFolder(); }

void CPluginManage::SetCore(OMB::ICore* core, IUnknown* browser) noexcept {
  core_ = core;
  browser_ = browser;
}

DISPID CPluginManage::FindDispId(std::wstring_view name) const noexcept {
  const auto named = names_.find(name);
  if (named != names_.end()) return named->second;
  return FindRegisteredPlugin(name) ? kPluginNotCreated : kUnknownPlugin;
}

HRESULT CPluginManage::CreatePlugin(const wchar_t* name, OMB::ICore* core, IUnknown* browser,
                                    OMB::IPlugin** out) noexcept {
  if (out) *out = nullptr;
  if (!name) return E_INVALIDARG;
  const RegisteredPlugin* entry = FindRegisteredPlugin(name);
  if (!entry) return E_FAIL;
  ComPtr<OMB::IPlugin> instance;
  OMB_RETURN_IF_FAILED(NewInstance(*entry, core, browser, instance));
  const bool keep = (entry->flags & OMB::kFlagNewInstancePerAccess) == 0;
  // A name that already has a DISPID here keeps it, and its kept instance.
  if (names_.find(std::wstring_view(name)) == names_.end()) {
    try {
      const auto named = names_.try_emplace(name, NextPluginDispId()).first;
      scope_exit unname([&]() noexcept { names_.erase(named); });
      if (keep) instances_.try_emplace(named->second, instance);
      unname.dismiss();
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
  }
  if (out) *out = instance.Detach();
  return S_OK;
}

HRESULT CPluginManage::GetPlugin(DISPID dispId, OMB::IPlugin** out) noexcept {
  if (!out) return E_POINTER;
  *out = nullptr;
  const auto kept = instances_.find(dispId);
  if (kept != instances_.end()) return kept->second.CopyTo(out);

  const RegisteredPlugin* entry = nullptr;
  for (const auto& [name, id] : names_) {
    if (id == dispId) {
      entry = FindRegisteredPlugin(name);
      break;
    }
  }
  if (!entry) return E_FAIL;
  ComPtr<OMB::IPlugin> instance;
  if (FAILED(NewInstance(*entry, core_.Get(), browser_.Get(), instance))) return E_FAIL;
  *out = instance.Detach();
  return S_OK;
}

void CPluginManage::ReleaseAll() noexcept {
  // The maps are emptied before any instance goes away, so a plug-in whose
  // destruction reaches back into this manager finds it consistent.
  std::map<DISPID, ComPtr<OMB::IPlugin>> releasing;
  releasing.swap(instances_);
  names_.clear();
}

bool CPluginManage::CollectInstances(std::vector<ComPtr<OMB::IPlugin>>& kept) const noexcept {
  try {
    kept.reserve(instances_.size());
    for (const auto& [id, instance] : instances_) kept.push_back(instance);
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

}  // namespace omb
