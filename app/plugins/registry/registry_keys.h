// Registry helpers shared by the "registry" and "config" plug-ins: the text
// path parser, the depth-first delete of a key tree, and the mapping between
// registry values and script values.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>

namespace omb {

// A path such as "HKEY_CURRENT_USER\Software\Vendor\name": the root key, the
// key path below it and, when split, the last component as a name.
struct RegistryPath {
  HKEY root = nullptr;
  std::wstring key;
  std::wstring name;
};

// Reads the full root name (case-insensitive prefix; short forms are not
// known), skips the one character after it and takes the rest as the key
// path. With split, the rest is cut at its last backslash into key path and
// name (no backslash: the root itself and the whole rest as name). False when
// no root name matches.
bool ParseRegistryPath(const wchar_t* path, bool split, RegistryPath* out);

// Deletes the key name below parent with everything under it, depth first.
// view is the registry-view flag (KEY_WOW64_32KEY or KEY_WOW64_64KEY) or 0;
// with a view the view-aware delete is used. A name that is empty or only
// backslashes would open parent itself, and is refused. False on the first
// failure.
bool DeleteKeyTree(HKEY parent, const wchar_t* name, REGSAM view) noexcept;

// How a REG_QWORD reaches script.
enum class QwordAs { kDouble, kUnsigned64 };

// Reads the value name of key into *out (initialised first): REG_DWORD as an
// unsigned 32-bit number, REG_QWORD as qword says, REG_SZ and REG_EXPAND_SZ
// as unexpanded text (even byte length and a terminating zero required).
// Anything else, and every failure, leaves *out empty; false then.
bool QueryRegistryValue(HKEY key, const wchar_t* name, QwordAs qword, VARIANT* out) noexcept;

// The registry data a script value is stored as: REG_DWORD for integers and
// booleans, REG_QWORD for 64-bit integers and for doubles that have an
// unsigned 64-bit value (truncated), REG_SZ for strings. Other values (a
// negative, NaN, infinite or too large double, a null string, an object)
// have none: false.
struct RegistryData {
  DWORD type = REG_NONE;
  DWORD dword = 0;
  ULONGLONG qword = 0;
  const wchar_t* text = nullptr;
  DWORD size = 0;
  const BYTE* Bytes() const noexcept;
};
bool RegistryDataOf(const VARIANT& value, RegistryData* out) noexcept;

}  // namespace omb
