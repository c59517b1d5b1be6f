#include "app/plugins/system/shortcut.h"

#include <shlobj.h>
#include <shlwapi.h>
// The Internet-shortcut identifiers are not in the import libraries.
#include <initguid.h>
#include <intshcut.h>

#include "app/core/text_buffer.h"
#include "app/plugins/system/system_logic.h"
#include "sdk/com.h"

namespace omb {
namespace {

// Shell-link paths and arguments are read 260 characters at a time at first,
// and never beyond the longest text a shortcut stores.
constexpr DWORD kTextBuffer = MAX_PATH;
constexpr DWORD kTextLimit = 32768;

// Sets the icon location on a shell link: a relative icon path is taken from
// the current folder.
HRESULT SetIcon(IShellLinkW* link, const ShortcutContent& shortcut) {
  std::wstring icon = shortcut.icon;
  if (::PathIsRelativeW(icon.c_str())) {
    wchar_t folder[MAX_PATH];
    const DWORD n = ::GetCurrentDirectoryW(MAX_PATH, folder);
    if (n > 0 && n < MAX_PATH) icon = std::wstring(folder) + L"\\" + icon;
  }
  return link->SetIconLocation(icon.c_str(), shortcut.iconIndex);
}

HRESULT Save(IUnknown* object, const std::wstring& path) {
  ComPtr<IPersistFile> file;
  OMB_RETURN_IF_FAILED(object->QueryInterface(IID_PPV_ARGS(&file)));
  return file->Save(path.c_str(), TRUE);
}

}  // namespace

HRESULT WriteProgramShortcut(const ShortcutContent& shortcut, const wchar_t* path) noexcept {
  try {
    ComPtr<IShellLinkW> link;
    OMB_RETURN_IF_FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                            IID_PPV_ARGS(&link)));
    OMB_RETURN_IF_FAILED(link->SetPath(shortcut.target.c_str()));
    OMB_RETURN_IF_FAILED(link->SetWorkingDirectory(ParentFolder(shortcut.target).c_str()));
    OMB_RETURN_IF_FAILED(link->SetArguments(shortcut.arguments.c_str()));
    if (!shortcut.icon.empty()) OMB_RETURN_IF_FAILED(SetIcon(link.Get(), shortcut));
    return Save(link.Get(), WithExtension(path, L".lnk"));
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

HRESULT WriteInternetShortcut(const ShortcutContent& shortcut, const wchar_t* path) noexcept {
  try {
    ComPtr<IUniformResourceLocatorW> url;
    OMB_RETURN_IF_FAILED(::CoCreateInstance(CLSID_InternetShortcut, nullptr,
                                            CLSCTX_INPROC_SERVER, IID_IUniformResourceLocatorW,
                                            reinterpret_cast<void**>(&url)));
    OMB_RETURN_IF_FAILED(url->SetURL(shortcut.target.c_str(), 0));
    if (!shortcut.icon.empty()) {
      ComPtr<IShellLinkW> link;
      OMB_RETURN_IF_FAILED(url->QueryInterface(IID_PPV_ARGS(&link)));
      OMB_RETURN_IF_FAILED(SetIcon(link.Get(), shortcut));
    }
    return Save(url.Get(), WithExtension(path, L".url"));
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

HRESULT ReadShortcut(const wchar_t* path, std::wstring* target, std::wstring* arguments) noexcept {
  try {
    ComPtr<IShellLinkW> link;
    OMB_RETURN_IF_FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                            IID_PPV_ARGS(&link)));
    ComPtr<IPersistFile> file;
    OMB_RETURN_IF_FAILED(link.As(&file));
    OMB_RETURN_IF_FAILED(file->Load(path, STGM_READ));
    OMB_RETURN_IF_FAILED(ReadCutText(
        [&](wchar_t* buffer, DWORD capacity) {
          return link->GetPath(buffer, static_cast<int>(capacity), nullptr, 0);
        },
        kTextBuffer, kTextLimit, target));
    return ReadCutText(
        [&](wchar_t* buffer, DWORD capacity) {
          return link->GetArguments(buffer, static_cast<int>(capacity));
        },
        kTextBuffer, kTextLimit, arguments);
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace omb
