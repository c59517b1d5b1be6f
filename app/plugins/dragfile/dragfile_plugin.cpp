#include "app/plugins/dragfile/dragfile_plugin.h"

#include <string_view>

#include "app/core/plugin_registry.h"
#include "app/core/script_call.h"
#include "app/core/script_object.h"

namespace omb {
namespace {

using D = CDragFilePlugin;

const DispMember<D> kMembers[] = {
    {D::kBind, L"bind", &D::Bind},
    {D::kGet, L"get", &D::Get},
};

}  // namespace

std::span<const DispMember<CDragFilePlugin>> CDragFilePlugin::Members() noexcept {
  return kMembers;
}

STDMETHODIMP CDragFilePlugin::Initialize(OMB::ICore*, IUnknown* browser) noexcept {
  browser_ = nullptr;
  if (!browser) return E_INVALIDARG;
  return browser->QueryInterface(IID_PPV_ARGS(&browser_));
}

STDMETHODIMP CDragFilePlugin::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) noexcept {
  if (!names || !ids || count == 0) return E_INVALIDARG;
  for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
  const auto* member = FindMember(Members(), names[0]);
  if (!member) return DISP_E_UNKNOWNNAME;
  ids[0] = member->id;
  return S_OK;
}

// bind(id, function[, context]); a second argument that is not an object
// removes the binding.
HRESULT CDragFilePlugin::Bind(DispCall& call) {
  const wchar_t* id = nullptr;
  UINT length = 0;
  if (call.args.Count() < 2) return E_INVALIDARG;
  OMB_RETURN_IF_FAILED(call.args.String(0, &id, &length));
  const std::wstring_view key(id, length);
  if (const auto found = bindings_.find(key); found != bindings_.end()) bindings_.erase(found);
  IDispatch* function = nullptr;
  if (FAILED(call.args.Object(1, &function))) return S_OK;
  Binding binding;
  binding.function = function;
  if (call.args.Count() > 2 && call.args.Type(2) != VT_EMPTY)
    OMB_RETURN_IF_FAILED(VariantCopyInd(binding.context.get(), const_cast<VARIANT*>(&call.args[2])));
  bindings_.emplace(key, std::move(binding));
  return S_OK;
}

// get(id) -> {callback, context} of the binding, or nothing
HRESULT CDragFilePlugin::Get(DispCall& call) {
  const wchar_t* id = nullptr;
  UINT length = 0;
  OMB_RETURN_IF_FAILED(call.args.String(0, &id, &length));
  const auto found = bindings_.find(std::wstring_view(id, length));
  if (found == bindings_.end() || !call.WantsResult()) return S_OK;
  ComPtr<CObject> object = Make<CObject>();
  if (!object) return E_OUTOFMEMORY;
  OMB_RETURN_IF_FAILED(object->SetMember(L"callback", ArgObject(found->second.function.Get())));
  OMB_RETURN_IF_FAILED(object->SetMember(L"context", *found->second.context));
  return call.ReturnDispatch(object.Get());
}

OMB_REGISTER_BUILTIN_PLUGIN(L"dragfile", CDragFilePlugin, 0);

}  // namespace omb
