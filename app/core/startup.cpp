#include "app/core/startup.h"

#include <shellapi.h>
#include <shlwapi.h>

#include "app/core/cmdline.h"
#include "app/core/first_window.h"
#include "app/core/message_loop.h"
#include "app/core/package.h"
#include "app/core/plugin_registry.h"
#include "sdk/com.h"
#include "sdk/trace.h"

namespace omb {
namespace {

// Chooses the application folder: "d" names it; without "d" the package
// appended to the executable is extracted and used.
void EnterApplicationFolder(std::wstring& packageFolder) noexcept {
  unique_coinit com(COINIT_MULTITHREADED);
  try {
    CCmdLine cmd;
    if (const std::wstring* folder = cmd.Value(L"d"))
      SetCurrentDirectoryW(folder->c_str());
    else
      (void)ExtractPackage(packageFolder);
  } catch (...) {
    // Out of memory while parsing: start in the current directory.
  }
}

}  // namespace

void DeletePackageFolder(const std::wstring& folder) noexcept {
  if (folder.empty() || PathFileExistsW(folder.c_str()) != TRUE) return;
  try {
    std::wstring path = folder;
    while (path.size() > 1 && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
    // The folder is still the current directory, which cannot be deleted:
    // step out to its parent first.
    const size_t slash = path.find_last_of(L"\\/");
    if (slash != std::wstring::npos) SetCurrentDirectoryW(path.substr(0, slash + 1).c_str());
    // The shell wants a list ended by two terminators.
    std::wstring from = path;
    from.append(2, L'\0');
    SHFILEOPSTRUCTW op = {};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR | FOF_NOERRORUI;
    (void)SHFileOperationW(&op);
  } catch (...) {
  }
}

int RunHost(HINSTANCE instance) noexcept {
  ConfigureLoggerFromEnvironment();
  std::wstring packageFolder;
  EnterApplicationFolder(packageFolder);

  CAppModule& module = Module();
  module.Init(instance);
  CMessageLoop loop;
  int exitCode = 0;
  try {
    module.AddMessageLoop(&loop);
    ComPtr<IUnknown> firstWindow;
    (void)CreateFirstWindow(firstWindow);
    exitCode = loop.Run();
    module.RemoveMessageLoop();
    firstWindow.Reset();
  } catch (...) {
    exitCode = static_cast<int>(E_OUTOFMEMORY);
  }
  module.Term();

  UnloadPluginLibraries();
  DeletePackageFolder(packageFolder);
  return exitCode;
}

}  // namespace omb
