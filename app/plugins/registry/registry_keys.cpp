#include "app/plugins/registry/registry_keys.h"

#include <oleauto.h>

#include <cmath>
#include <vector>

#include "sdk/com.h"

namespace omb {
namespace {

struct RootName {
  const wchar_t* name;
  HKEY key;
};

const RootName kRoots[] = {
    {L"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},   {L"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
    {L"HKEY_CURRENT_USER", HKEY_CURRENT_USER},   {L"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
    {L"HKEY_USERS", HKEY_USERS},
};

using RegDeleteKeyExFn = LONG(WINAPI*)(HKEY, LPCWSTR, REGSAM, DWORD);

// The view-aware delete is missing on the oldest platforms, so it is looked
// up when first needed.
RegDeleteKeyExFn ViewAwareDelete() noexcept {
  static const RegDeleteKeyExFn fn = [] {
    HMODULE advapi = ::GetModuleHandleW(L"Advapi32.dll");
    return advapi ? reinterpret_cast<RegDeleteKeyExFn>(
                        reinterpret_cast<void*>(::GetProcAddress(advapi, "RegDeleteKeyExW")))
                  : nullptr;
  }();
  return fn;
}

bool DeleteOneKey(HKEY parent, const wchar_t* name, REGSAM view) noexcept {
  if (view == 0) return ::RegDeleteKeyW(parent, name) == ERROR_SUCCESS;
  const RegDeleteKeyExFn deleteEx = ViewAwareDelete();
  return deleteEx && deleteEx(parent, name, view, 0) == ERROR_SUCCESS;
}

bool NamesNothing(const wchar_t* name) noexcept {
  if (!name) return true;
  while (*name == L'\\') ++name;
  return *name == L'\0';
}

}  // namespace

bool ParseRegistryPath(const wchar_t* path, bool split, RegistryPath* out) {
  if (!path) return false;
  for (const RootName& root : kRoots) {
    const size_t length = wcslen(root.name);
    if (_wcsnicmp(path, root.name, length) != 0) continue;
    const wchar_t* rest = path + length;
    if (*rest) ++rest;  // the separator, whatever it is
    out->root = root.key;
    out->key = rest;
    out->name.clear();
    if (split) {
      const size_t slash = out->key.rfind(L'\\');
      if (slash == std::wstring::npos) {
        out->name.swap(out->key);
      } else {
        out->name = out->key.substr(slash + 1);
        out->key.resize(slash);
      }
    }
    return true;
  }
  return false;
}

bool DeleteKeyTree(HKEY parent, const wchar_t* name, REGSAM view) noexcept {
  if (NamesNothing(name)) return false;
  {
    unique_hkey key;
    if (::RegOpenKeyExW(parent, name, 0, KEY_READ | KEY_WRITE | view, key.put()) != ERROR_SUCCESS)
      return false;
    // Subkey names are at most 255 characters.
    wchar_t child[256];
    for (;;) {
      DWORD length = 256;
      const LONG status =
          ::RegEnumKeyExW(key.get(), 0, child, &length, nullptr, nullptr, nullptr, nullptr);
      if (status == ERROR_NO_MORE_ITEMS) break;
      if (status != ERROR_SUCCESS || !DeleteKeyTree(key.get(), child, view)) return false;
    }
  }
  return DeleteOneKey(parent, name, view);
}

const BYTE* RegistryData::Bytes() const noexcept {
  if (type == REG_DWORD) return reinterpret_cast<const BYTE*>(&dword);
  if (type == REG_QWORD) return reinterpret_cast<const BYTE*>(&qword);
  return reinterpret_cast<const BYTE*>(text);
}

bool RegistryDataOf(const VARIANT& value, RegistryData* out) noexcept {
  switch (value.vt) {
    case VT_I4:
      *out = {REG_DWORD, static_cast<DWORD>(value.lVal), 0, nullptr, sizeof(DWORD)};
      return true;
    case VT_BOOL:
      *out = {REG_DWORD, value.boolVal != VARIANT_FALSE ? 1u : 0u, 0, nullptr, sizeof(DWORD)};
      return true;
    case VT_R8: {
      // Only numbers in [0, 2^64) have an unsigned 64-bit value; converting
      // anything else is undefined.
      const double d = value.dblVal;
      if (!std::isfinite(d) || d < 0 || d >= 18446744073709551616.0) return false;
      *out = {REG_QWORD, 0, static_cast<ULONGLONG>(d), nullptr, sizeof(ULONGLONG)};
      return true;
    }
    case VT_I8:
      *out = {REG_QWORD, 0, static_cast<ULONGLONG>(value.llVal), nullptr, sizeof(ULONGLONG)};
      return true;
    case VT_BSTR:
      if (!value.bstrVal) return false;
      *out = {REG_SZ, 0, 0, value.bstrVal,
              static_cast<DWORD>((::SysStringLen(value.bstrVal) + 1) * sizeof(wchar_t))};
      return true;
    default:
      return false;
  }
}

bool QueryRegistryValue(HKEY key, const wchar_t* name, QwordAs qword, VARIANT* out) noexcept {
  ::VariantInit(out);
  DWORD type = 0, size = 0;
  if (::RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return false;
  switch (type) {
    case REG_DWORD: {
      DWORD value = 0;
      size = sizeof(value);
      if (::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
              ERROR_SUCCESS ||
          type != REG_DWORD || size != sizeof(value))
        return false;
      out->vt = VT_UI4;
      out->ulVal = value;
      return true;
    }
    case REG_QWORD: {
      ULONGLONG value = 0;
      size = sizeof(value);
      if (::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
              ERROR_SUCCESS ||
          type != REG_QWORD || size != sizeof(value))
        return false;
      if (qword == QwordAs::kDouble) {
        out->vt = VT_R8;
        out->dblVal = static_cast<double>(value);
      } else {
        out->vt = VT_UI8;
        out->ullVal = value;
      }
      return true;
    }
    case REG_SZ:
    case REG_EXPAND_SZ: {
      if (size % sizeof(wchar_t) != 0 || size < sizeof(wchar_t)) return false;
      std::vector<wchar_t> text(size / sizeof(wchar_t) + 1, L'\0');
      DWORD read = size;
      if (::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text.data()),
                             &read) != ERROR_SUCCESS ||
          read != size || (type != REG_SZ && type != REG_EXPAND_SZ))
        return false;
      const size_t count = size / sizeof(wchar_t);
      if (text[count - 1] != L'\0') return false;
      BSTR value = ::SysAllocString(text.data());
      if (!value) return false;
      out->vt = VT_BSTR;
      out->bstrVal = value;
      return true;
    }
    default:
      return false;
  }
}

}  // namespace omb
