#include "app/core/plugin_registry.h"

#include "app/core/paths.h"

#include <new>

#include "app/core/walk.h"
#include "sdk/trace.h"

namespace omb {
namespace {

PluginRegistry& Registry() noexcept {
  static PluginRegistry registry;
  return registry;
}

std::vector<HMODULE>& Libraries() noexcept {
  static std::vector<HMODULE> libraries;
  return libraries;
}

// The full path of path relative to the current directory; empty on failure.
std::wstring FullPathOf(const wchar_t* path) {
  if (!path || !*path) return std::wstring();
  std::wstring full(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = ::GetFullPathNameW(path, static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length == 0) return std::wstring();
    if (length < full.size()) {
      full.resize(length);
      return full;
    }
    full.resize(length);
  }
}

bool ReadAt(HANDLE file, ULONGLONG offset, void* buffer, DWORD size) noexcept {
  OVERLAPPED at = {};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD read = 0;
  return ::ReadFile(file, buffer, size, &read, &at) && read == size;
}

// Asks the library's CreateInterface for its version object and registers its
// plug-in. False when the library does not keep the contract. The version
// object is released on return, before the caller may unload the library.
bool RegisterLibraryPlugin(HMODULE library, const wchar_t* path) noexcept {
  // Through void(*)(): the one function pointer type every other converts to.
  const auto create = reinterpret_cast<OMB::CreateInterfaceFn>(
      reinterpret_cast<void (*)()>(::GetProcAddress(library, "CreateInterface")));
  if (!create) {
    OMB_TRACE(kTraceErrors, "LoadPluginLibrary", L"No CreateInterface: %s", path);
    return false;
  }
  ComPtr<OMB::IVersion> version;
  if (create(__uuidof(OMB::IVersion), reinterpret_cast<void**>(version.GetAddressOf())) != S_OK ||
      !version) {
    OMB_TRACE(kTraceErrors, "LoadPluginLibrary", L"No version object: %s", path);
    return false;
  }
  LONG major = 0;
  if (version->GetVersion(&major, nullptr) != S_OK || major != OMB::kContractMajor) {
    OMB_TRACE(kTraceErrors, "LoadPluginLibrary", L"Version %d refused: %s", major, path);
    return false;
  }
  LONG flags = 0;
  (void)version->GetFlags(&flags);
  unique_bstr name;
  if (FAILED(version->GetName(name.put())) || ::SysStringLen(name.get()) == 0) {
    OMB_TRACE(kTraceErrors, "LoadPluginLibrary", L"No plug-in name: %s", path);
    return false;
  }
  RegisterPlugin(name.get(), create, static_cast<DWORD>(flags));
  OMB_TRACE(kTraceCalls, "LoadPluginLibrary", L"%s: %s", name.get(), path);
  return true;
}

HRESULT LoadFoundLibrary(void*, const wchar_t* fullPath, DWORD attributes, ULONGLONG) noexcept {
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) (void)LoadPluginLibrary(fullPath);
  return S_OK;
}

}  // namespace

const PluginRegistry& RegisteredPlugins() noexcept { return Registry(); }

const RegisteredPlugin* FindRegisteredPlugin(std::wstring_view name) noexcept {
  const PluginRegistry& registry = Registry();
  const auto found = registry.find(name);
  return found == registry.end() ? nullptr : &found->second;
}

void RegisterPlugin(const wchar_t* name, OMB::CreateInterfaceFn factory, DWORD flags) noexcept {
  if (!name || !factory) return;
  try {
    Registry().try_emplace(name, RegisteredPlugin{factory, flags});
  } catch (const std::bad_alloc&) {
    // Out of memory: the plug-in stays unknown.
  }
}

const std::vector<HMODULE>& LoadedLibraries() noexcept { return Libraries(); }

void UnloadPluginLibraries() noexcept {
  std::vector<HMODULE> libraries;
  libraries.swap(Libraries());
  for (HMODULE library : libraries) ::FreeLibrary(library);
}

// Reads the DOS header and, at the offset it gives, the PE signature and file
// header: the part of the image the image-help library's ImageLoad would
// check, without loading that library (and the debugging library it brings)
// and without mapping the whole file.
HRESULT ReadImageMachine(const wchar_t* path, WORD* machine) noexcept {
  if (!path || !machine) return E_POINTER;
  unique_file file(::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return E_FAIL;
  IMAGE_DOS_HEADER dos;
  if (!ReadAt(file.get(), 0, &dos, sizeof dos) || dos.e_magic != IMAGE_DOS_SIGNATURE ||
      dos.e_lfanew < 0)
    return E_FAIL;
  struct {
    DWORD signature;
    IMAGE_FILE_HEADER header;
  } nt;
  if (!ReadAt(file.get(), static_cast<ULONGLONG>(dos.e_lfanew), &nt, sizeof nt) ||
      nt.signature != IMAGE_NT_SIGNATURE)
    return E_FAIL;
  *machine = nt.header.Machine;
  return S_OK;
}

HRESULT LoadPluginLibrary(const wchar_t* path) noexcept {
  try {
    // The file whose header is checked must be the file that is loaded: a
    // relative path names a file below the current directory, not one found
    // on the library search path.
    const std::wstring full = FullPathOf(path);
    WORD machine = 0;
    if (full.empty() || FAILED(ReadImageMachine(full.c_str(), &machine))) {
      OMB_TRACE(kTraceErrors, "LoadPluginLibrary", L"Not an image: %s", path ? path : L"");
      return E_FAIL;
    }
    if (IsForeignMachine(machine, kHost64)) {
      OMB_TRACE(kTraceErrors, "LoadPluginLibrary", L"Machine %04X refused: %s", machine, path);
      return E_FAIL;
    }
    // Room in the list first, so an accepted library is always listed.
    std::vector<HMODULE>& libraries = Libraries();
    libraries.reserve(libraries.size() + 1);

    unique_hmodule library(::LoadLibraryW(full.c_str()));
    if (!library) {
      OMB_TRACE(kTraceErrors, "LoadPluginLibrary", L"LoadLibraryW failed (%u): %s",
                ::GetLastError(), path);
      return S_OK;
    }
    if (RegisterLibraryPlugin(library.get(), path)) libraries.push_back(library.release());
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

std::wstring PluginFolder() {
  const DWORD attributes = ::GetFileAttributesW(L"resource");
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
    return L"plugins";
  return ExecutablePath() + L"\\..\\plugins";
}

void ScanPluginFolder() noexcept {
  if (!Libraries().empty()) return;
  try {
    const std::wstring folder = PluginFolder();
    (void)WalkDirectory(folder.c_str(), L"\\.dll$", false, LoadFoundLibrary, nullptr);
  } catch (const std::bad_alloc&) {
    // Out of memory: no library is loaded; the next window tries again.
  }
}

}  // namespace omb
