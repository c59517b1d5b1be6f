#include "app/plugins/registry/registry_plugin.h"

#include "app/core/plugin_registry.h"
#include "app/plugins/registry/registry_keys.h"

namespace omb {

OMB_REGISTER_BUILTIN_PLUGIN(L"registry", CRegistryPlugin, OMB::kFlagNewInstancePerAccess);

namespace {

using R = CRegistryPlugin;

constexpr DISPID kModeId = -9993;
constexpr REGSAM kReading = KEY_READ;
constexpr REGSAM kChanging = KEY_READ | KEY_WRITE;

const DispMember<R> kMembers[] = {
    {-10000, L"createKey", &R::CreateKey},
    {-9999, L"deleteKey", &R::DeleteKey},
    {-9998, L"setValue", &R::SetValue},
    {-9997, L"deleteValue", &R::DeleteValue},
    {-9996, L"queryValue", &R::QueryValue},
    {-9995, L"isKeyExist", &R::IsKeyExist},
    {-9994, L"isValueExist", &R::IsValueExist},
    {kModeId, L"mode", &R::Mode},
};

struct ModeName {
  LONG mode;
  const wchar_t* name;
};
const ModeName kModes[] = {{0, L"default"}, {32, L"force32"}, {64, L"force64"}};

// The path argument of a one-path member: exactly n arguments, a string
// first, parsed (split for value operations and deleteKey). *valid is false
// for a path without a known root.
HRESULT PathArgument(const DispCall& call, UINT count, bool split, RegistryPath* path,
                     bool* valid) {
  if (call.args.Count() != count) return E_NOTIMPL;
  const wchar_t* text = nullptr;
  OMB_RETURN_IF_FAILED(call.args.String(0, &text));
  *valid = ParseRegistryPath(text, split, path);
  return S_OK;
}

}  // namespace

std::span<const DispMember<R>> CRegistryPlugin::Members() noexcept { return kMembers; }

STDMETHODIMP CRegistryPlugin::Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags,
                                     DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep,
                                     UINT* argErr) noexcept {
  const bool method = (flags & DISPATCH_METHOD) != 0;
  if (id == kModeId ? method : !method) return E_NOTIMPL;
  return DispatchTable::Invoke(id, iid, lcid, flags, params, result, excep, argErr);
}

REGSAM CRegistryPlugin::View() const noexcept {
  return mode_ == 32 ? KEY_WOW64_32KEY : mode_ == 64 ? KEY_WOW64_64KEY : 0;
}

HRESULT CRegistryPlugin::CreateKey(DispCall& call) {
  RegistryPath path;
  bool valid = false;
  OMB_RETURN_IF_FAILED(PathArgument(call, 1, false, &path, &valid));
  unique_hkey key;
  return call.ReturnBool(valid && ::RegCreateKeyExW(path.root, path.key.c_str(), 0, nullptr, 0,
                                                    kChanging | View(), nullptr, key.put(),
                                                    nullptr) == ERROR_SUCCESS);
}

HRESULT CRegistryPlugin::DeleteKey(DispCall& call) {
  RegistryPath path;
  bool valid = false;
  OMB_RETURN_IF_FAILED(PathArgument(call, 1, true, &path, &valid));
  // An empty key name would name the parent itself: refused by the tree
  // delete rather than wiping everything below the parent.
  unique_hkey parent;
  if (!valid || ::RegOpenKeyExW(path.root, path.key.c_str(), 0, kChanging | View(),
                                parent.put()) != ERROR_SUCCESS)
    return call.ReturnBool(false);
  return call.ReturnBool(DeleteKeyTree(parent.get(), path.name.c_str(), View()));
}

HRESULT CRegistryPlugin::SetValue(DispCall& call) {
  RegistryPath path;
  bool valid = false;
  OMB_RETURN_IF_FAILED(PathArgument(call, 2, true, &path, &valid));
  RegistryData data;
  unique_hkey key;
  if (!valid || !RegistryDataOf(call.args[1], &data) ||
      ::RegOpenKeyExW(path.root, path.key.c_str(), 0, kChanging | View(), key.put()) !=
          ERROR_SUCCESS)
    return call.ReturnBool(false);
  return call.ReturnBool(::RegSetValueExW(key.get(), path.name.c_str(), 0, data.type, data.Bytes(),
                                          data.size) == ERROR_SUCCESS);
}

HRESULT CRegistryPlugin::DeleteValue(DispCall& call) {
  RegistryPath path;
  bool valid = false;
  OMB_RETURN_IF_FAILED(PathArgument(call, 1, true, &path, &valid));
  unique_hkey key;
  return call.ReturnBool(
      valid &&
      ::RegOpenKeyExW(path.root, path.key.c_str(), 0, kChanging | View(), key.put()) ==
          ERROR_SUCCESS &&
      ::RegDeleteValueW(key.get(), path.name.c_str()) == ERROR_SUCCESS);
}

HRESULT CRegistryPlugin::QueryValue(DispCall& call) {
  RegistryPath path;
  bool valid = false;
  OMB_RETURN_IF_FAILED(PathArgument(call, 1, true, &path, &valid));
  if (!call.result) return E_INVALIDARG;
  call.ReturnNull();
  unique_hkey key;
  if (!valid ||
      ::RegOpenKeyExW(path.root, path.key.c_str(), 0, kReading | View(), key.put()) !=
          ERROR_SUCCESS)
    return S_OK;
  unique_variant value;
  if (QueryRegistryValue(key.get(), path.name.c_str(), QwordAs::kDouble, value.get()))
    value.Detach(call.result);
  return S_OK;
}

HRESULT CRegistryPlugin::IsKeyExist(DispCall& call) {
  RegistryPath path;
  bool valid = false;
  OMB_RETURN_IF_FAILED(PathArgument(call, 1, false, &path, &valid));
  unique_hkey key;
  return call.ReturnBool(valid && ::RegOpenKeyExW(path.root, path.key.c_str(), 0,
                                                  kReading | View(), key.put()) == ERROR_SUCCESS);
}

HRESULT CRegistryPlugin::IsValueExist(DispCall& call) {
  RegistryPath path;
  bool valid = false;
  OMB_RETURN_IF_FAILED(PathArgument(call, 1, true, &path, &valid));
  unique_hkey key;
  DWORD type = 0;
  return call.ReturnBool(
      valid &&
      ::RegOpenKeyExW(path.root, path.key.c_str(), 0, kReading | View(), key.put()) ==
          ERROR_SUCCESS &&
      ::RegQueryValueExW(key.get(), path.name.c_str(), nullptr, &type, nullptr, nullptr) ==
          ERROR_SUCCESS);
}

HRESULT CRegistryPlugin::Mode(DispCall& call) {
  if (call.IsPut()) {
    const wchar_t* text = nullptr;
    if (call.args.Count() != 1) return E_NOTIMPL;
    OMB_RETURN_IF_FAILED(call.args.String(0, &text));
    for (const ModeName& m : kModes) {
      if (_wcsicmp(text, m.name) == 0) {
        mode_ = m.mode;
        return S_OK;
      }
    }
    return E_INVALIDARG;
  }
  if (call.args.Count() != 0) return E_NOTIMPL;
  for (const ModeName& m : kModes)
    if (m.mode == mode_) return call.ReturnString(m.name);
  return call.ReturnString(L"default");
}

}  // namespace omb
