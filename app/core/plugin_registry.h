// The process-wide plug-in registry and the list of loaded plug-in libraries.
//
// Built-in plug-ins register before the program entry runs, through a static
// registrar object in their own source file (OMB_REGISTER_BUILTIN_PLUGIN).
// Static initialisation order across files is unspecified, so the registry is
// a function-local static that comes into being on first use. The files that
// register must be linked as object files: a linker drops unreferenced
// members of a static archive, and their registrars with them.
//
// Everything here is used on the user-interface thread only (registration
// runs on the start-up thread before that); there are no locks.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "sdk/com.h"
#include "sdk/omb.h"

namespace omb {

struct RegisteredPlugin {
  OMB::CreateInterfaceFn factory;
  DWORD flags;  // OMB::kFlagNewInstancePerAccess: a new instance for every access
};

// Script name (case-sensitive, by code unit) -> factory and flags.
using PluginRegistry = std::map<std::wstring, RegisteredPlugin, std::less<>>;

const PluginRegistry& RegisteredPlugins() noexcept;
const RegisteredPlugin* FindRegisteredPlugin(std::wstring_view name) noexcept;

// Inserts name -> {factory, flags}; an existing entry is kept, so the first
// registration of a name wins. A null name or factory is ignored.
void RegisterPlugin(const wchar_t* name, OMB::CreateInterfaceFn factory, DWORD flags) noexcept;

// The factory every built-in plug-in registers: for OMB::IPlugin a new
// instance of T with one reference; anything else E_NOINTERFACE, writing
// nothing.
template <class T>
HRESULT STDMETHODCALLTYPE CreateBuiltinPlugin(REFIID iid, void** out) noexcept {
  if (!out) return E_POINTER;
  if (iid != __uuidof(OMB::IPlugin)) return E_NOINTERFACE;
  return CreateAndQuery<T>(iid, out);
}

struct BuiltinPluginRegistrar {
  BuiltinPluginRegistrar(const wchar_t* name, OMB::CreateInterfaceFn factory,
                         DWORD flags) noexcept {
    RegisterPlugin(name, factory, flags);
  }
};

#define OMB_PLUGIN_CONCAT_INNER(a, b) a##b
#define OMB_PLUGIN_CONCAT(a, b) OMB_PLUGIN_CONCAT_INNER(a, b)

// Registers a built-in plug-in class during static initialisation:
//   OMB_REGISTER_BUILTIN_PLUGIN(L"console", CConsolePlugin, 0);
#define OMB_REGISTER_BUILTIN_PLUGIN(name, Class, flags)                    \
  static const ::omb::BuiltinPluginRegistrar OMB_PLUGIN_CONCAT(            \
      ombBuiltinPluginRegistrar_, __LINE__)(name, &::omb::CreateBuiltinPlugin<Class>, (flags))

// Handles of the plug-in libraries loaded and accepted so far, in load order.
const std::vector<HMODULE>& LoadedLibraries() noexcept;

// Frees every listed library in load order and empties the list (at exit).
void UnloadPluginLibraries() noexcept;

// True when a library of this machine type is built for the other width of
// the host: 32-bit x86 for a 64-bit host, x86-64 for a 32-bit host.
constexpr bool IsForeignMachine(WORD machine, bool host64) noexcept {
  return host64 ? machine == IMAGE_FILE_MACHINE_I386 : machine == IMAGE_FILE_MACHINE_AMD64;
}
constexpr bool kHost64 = sizeof(void*) == 8;

// Reads the machine type from the image header of the file at path (a full
// path): its DOS header and the PE file header that header points to.
[[nodiscard]] HRESULT ReadImageMachine(const wchar_t* path, WORD* machine) noexcept;

// Loads one plug-in library and registers its plug-in. E_FAIL when the file
// cannot be read as an image or is built for the other width. A library that
// loads but fails the contract (no CreateInterface export, a failing version
// object, a major version other than 3, no name) is unloaded again and the
// answer is still S_OK. An accepted library is appended to LoadedLibraries()
// and stays loaded until UnloadPluginLibraries, also when its name was
// already registered (the earlier registration is kept).
[[nodiscard]] HRESULT LoadPluginLibrary(const wchar_t* path) noexcept;

// The folder the scan reads: "plugins" relative to the current directory when
// that holds a "resource" directory, else the "plugins" folder beside the
// executable (its full path + "\..\plugins").
std::wstring PluginFolder();

// Loads every "*.dll" (lower case, not recursive) of PluginFolder(), but only
// while no library has been loaded yet; one failing library does not stop it.
void ScanPluginFolder() noexcept;

}  // namespace omb
