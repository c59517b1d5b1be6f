#include "app/plugins/config/config_plugin.h"

#include "app/core/plugin_registry.h"
#include "app/core/text_buffer.h"
#include "app/plugins/registry/registry_keys.h"

namespace omb {

OMB_REGISTER_BUILTIN_PLUGIN(L"config", CConfigPlugin, OMB::kFlagNewInstancePerAccess);

namespace {

using C = CConfigPlugin;

constexpr REGSAM kReading = KEY_READ;
constexpr REGSAM kChanging = KEY_READ | KEY_WRITE;
// INI values are read in blocks of this many characters at first.
constexpr DWORD kIniBuffer = 10240;
constexpr DWORD kIniLimit = 1u << 24;

const DispMember<C> kMembers[] = {
    {-10000, L"init", &C::Init},
    {-9999, L"clear", &C::Clear},
    {-9998, L"setValue", &C::SetValue},
    {-9997, L"queryValue", &C::QueryValue},
    {-9996, L"deleteValue", &C::DeleteValue},
};

// Reads the string arguments 0..count-1 of a call with exactly count
// arguments (E_INVALIDARG for any that is not a string).
HRESULT Strings(const DispCall& call, UINT count, const wchar_t** out) {
  for (UINT i = 0; i < count; ++i) OMB_RETURN_IF_FAILED(call.args.String(i, &out[i]));
  return S_OK;
}

// Opens (or, with create, creates) the key part of a value path below base.
bool OpenKeyPart(HKEY base, const std::wstring& keyPart, bool create, REGSAM access,
                 unique_hkey* key) noexcept {
  if (create)
    return ::RegCreateKeyExW(base, keyPart.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access,
                             nullptr, key->put(), nullptr) == ERROR_SUCCESS;
  return ::RegOpenKeyExW(base, keyPart.c_str(), 0, access, key->put()) == ERROR_SUCCESS;
}

}  // namespace

bool SplitValuePath(const wchar_t* path, std::wstring* keyPart, std::wstring* name) {
  const std::wstring text = path ? path : L"";
  if (text.empty() || text.front() == L'\\' || text.back() == L'\\') return false;
  const size_t slash = text.rfind(L'\\');
  if (slash == std::wstring::npos) {
    keyPart->clear();
    *name = text;
  } else {
    *keyPart = text.substr(0, slash);
    *name = text.substr(slash + 1);
  }
  return true;
}

std::span<const DispMember<C>> CConfigPlugin::Members() noexcept { return kMembers; }

STDMETHODIMP CConfigPlugin::Initialize(OMB::ICore* core, IUnknown*) noexcept {
  core_ = core;
  return S_OK;
}

STDMETHODIMP CConfigPlugin::Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags,
                                   DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep,
                                   UINT* argErr) noexcept {
  if ((flags & DISPATCH_METHOD) == 0) return E_NOTIMPL;
  return DispatchTable::Invoke(id, iid, lcid, flags, params, result, excep, argErr);
}

HKEY CConfigPlugin::BaseKey(bool create) noexcept {
  if (baseKey_ || appName_.empty()) return baseKey_.get();
  std::wstring name;
  try {
    name = L"Software\\" + appName_;
  } catch (...) {
    return nullptr;
  }
  if (create)
    ::RegCreateKeyExW(HKEY_CURRENT_USER, name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                      kChanging, nullptr, baseKey_.put(), nullptr);
  else
    ::RegOpenKeyExW(HKEY_CURRENT_USER, name.c_str(), 0, kChanging, baseKey_.put());
  return baseKey_.get();
}

HRESULT CConfigPlugin::Init(DispCall& call) {
  const UINT n = call.args.Count();
  if (n < 1 || n > 2) return E_NOTIMPL;
  const wchar_t* name = nullptr;
  OMB_RETURN_IF_FAILED(call.args.String(0, &name));
  bool ini = false;
  if (n == 2) OMB_RETURN_IF_FAILED(call.args.Bool(1, &ini));
  if (!*name) return call.ReturnBool(false);
  std::wstring path;
  if (ini) {
    unique_bstr resolved;
    if (core_) {
      OMB_RETURN_IF_FAILED(core_->ResolvePath(name, resolved.put()));
      path = resolved ? resolved.get() : L"";
    } else {
      path = name;
    }
  }
  // The key opened for an earlier name must not take this store's writes.
  baseKey_.reset();
  appName_ = ini ? L"" : name;
  iniPath_ = std::move(path);
  return call.ReturnBool(true);
}

HRESULT CConfigPlugin::SetValue(DispCall& call) {
  const UINT n = call.args.Count();
  if (n < 2 || n > 3) return E_NOTIMPL;
  const wchar_t* names[2] = {};
  OMB_RETURN_IF_FAILED(Strings(call, n - 1, names));
  const VARIANT& value = call.args[n - 1];
  if (n == 3) {
    if (iniPath_.empty() || !*names[0] || !*names[1]) return call.ReturnBool(false);
    unique_variant text;
    if (FAILED(::VariantChangeType(text.get(), const_cast<VARIANT*>(&value), 0, VT_BSTR)))
      return call.ReturnBool(false);
    return call.ReturnBool(::WritePrivateProfileStringW(names[0], names[1],
                                                        text->bstrVal ? text->bstrVal : L"",
                                                        iniPath_.c_str()) != FALSE);
  }
  std::wstring keyPart, valueName;
  RegistryData data;
  if (appName_.empty() || !SplitValuePath(names[0], &keyPart, &valueName)) return call.ReturnBool(false);
  // Integers and strings only: doubles and booleans have no settings type.
  if ((value.vt != VT_I4 && value.vt != VT_I8 && value.vt != VT_BSTR) ||
      !RegistryDataOf(value, &data))
    return call.ReturnBool(false);
  HKEY base = BaseKey(true);
  unique_hkey key;
  if (!base || !OpenKeyPart(base, keyPart, true, kChanging, &key)) return call.ReturnBool(false);
  return call.ReturnBool(::RegSetValueExW(key.get(), valueName.c_str(), 0, data.type, data.Bytes(),
                                          data.size) == ERROR_SUCCESS);
}

HRESULT CConfigPlugin::QueryValue(DispCall& call) {
  const UINT n = call.args.Count();
  if (n < 1 || n > 2) return E_NOTIMPL;
  const wchar_t* names[2] = {};
  OMB_RETURN_IF_FAILED(Strings(call, n, names));
  if (!call.result) return E_INVALIDARG;
  call.ReturnNull();
  if (n == 2) {
    if (iniPath_.empty() || !*names[0] || !*names[1]) return S_OK;
    std::wstring text;
    DWORD error = 0;
    (void)ReadCutText(
        [&](wchar_t* buffer, DWORD capacity) {
          ::SetLastError(0);
          ::GetPrivateProfileStringW(names[0], names[1], nullptr, buffer, capacity,
                                     iniPath_.c_str());
          error = ::GetLastError();
          return S_OK;
        },
        kIniBuffer, kIniLimit, &text);
    if (!text.empty()) return call.ReturnString(text.c_str(), static_cast<UINT>(text.size()));
    // Nothing read: null when the platform reported why, else no value.
    if (error == 0) ::VariantInit(call.result);
    return S_OK;
  }
  std::wstring keyPart, valueName;
  if (appName_.empty() || !SplitValuePath(names[0], &keyPart, &valueName)) return S_OK;
  HKEY base = BaseKey(false);
  unique_hkey key;
  if (!base || !OpenKeyPart(base, keyPart, false, kReading, &key)) return S_OK;
  unique_variant value;
  if (QueryRegistryValue(key.get(), valueName.c_str(), QwordAs::kUnsigned64, value.get()))
    value.Detach(call.result);
  return S_OK;
}

HRESULT CConfigPlugin::DeleteValue(DispCall& call) {
  const UINT n = call.args.Count();
  if (n < 1 || n > 2) return E_NOTIMPL;
  const wchar_t* names[2] = {};
  OMB_RETURN_IF_FAILED(Strings(call, n, names));
  if (n == 2) {
    if (iniPath_.empty() || !*names[0] || !*names[1]) return call.ReturnBool(false);
    return call.ReturnBool(
        ::WritePrivateProfileStringW(names[0], names[1], nullptr, iniPath_.c_str()) != FALSE);
  }
  std::wstring keyPart, valueName;
  if (appName_.empty() || !SplitValuePath(names[0], &keyPart, &valueName))
    return call.ReturnBool(false);
  // A missing key holds nothing to delete.
  HKEY base = BaseKey(false);
  unique_hkey key;
  if (base && OpenKeyPart(base, keyPart, false, kChanging, &key))
    ::RegDeleteValueW(key.get(), valueName.c_str());
  return call.ReturnBool(true);
}

HRESULT CConfigPlugin::Clear(DispCall& call) {
  if (call.args.Count() > 1) return E_NOTIMPL;
  const wchar_t* group = L"";
  if (call.args.Count() == 1) OMB_RETURN_IF_FAILED(call.args.String(0, &group));
  return call.ReturnBool(appName_.empty() ? ClearIni(group) : ClearRegistry(group));
}

bool CConfigPlugin::ClearRegistry(const wchar_t* group) noexcept {
  std::wstring parent, name;
  try {
    if (*group) {
      std::wstring keyPart;
      if (!SplitValuePath(group, &keyPart, &name)) return false;
      parent = L"Software\\" + appName_;
      if (!keyPart.empty()) parent += L"\\" + keyPart;
    } else {
      parent = L"Software";
      name = appName_;
    }
  } catch (...) {
    return false;
  }
  baseKey_.reset();
  unique_hkey key;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, parent.c_str(), 0, kChanging, key.put()) != ERROR_SUCCESS)
    return false;
  // The tree delete refuses a name that resolves to nothing (the parent).
  return DeleteKeyTree(key.get(), name.c_str(), 0);
}

bool CConfigPlugin::ClearIni(const wchar_t* group) noexcept {
  if (iniPath_.empty()) return false;
  if (*group) return ::WritePrivateProfileStringW(group, nullptr, nullptr, iniPath_.c_str()) != FALSE;
  return ::DeleteFileW(iniPath_.c_str()) != FALSE;
}

}  // namespace omb
