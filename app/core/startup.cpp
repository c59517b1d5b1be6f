#include "app/core/startup.h"

#include <shlwapi.h>

#include "app/core/cmdline.h"
#include "app/core/first_window.h"
#include "app/core/job.h"
#include "app/core/live_reload.h"
#include "app/core/message_loop.h"
#include "app/core/package.h"
#include "app/core/paths.h"
#include "app/core/plugin_registry.h"
#include "app/core/terminal.h"
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

// Before the plug-in libraries go: running jobs are told to stop (and no new
// one starts), the windows and so their plug-ins are destroyed, and the jobs
// are waited for while this thread keeps answering their calls, so that no
// job runs code of an unloaded library or writes a file after the exit.
void EndWindowsAndJobs(ComPtr<IUnknown>& firstWindow) noexcept {
  StopJobs();
  DestroyBrowserWindows();
  firstWindow.Reset();
  if (!WaitForJobs(kExitJobWaitMs))
    OMB_TRACE(kTraceErrors, "RunHost", L"%u job(s) still running at exit",
              static_cast<unsigned>(RunningJobs()));
}

// The switches for developing an application: "console" (a console for the
// page's log even when not started from one) and "watch" (live reload).
struct DevelopmentSwitches {
  bool console = false;
  bool watch = false;
};

DevelopmentSwitches ReadDevelopmentSwitches() noexcept {
  try {
    CCmdLine cmd;
    return {cmd.HasSwitch(L"console"), cmd.HasSwitch(L"watch")};
  } catch (...) {
    return {};
  }
}

}  // namespace

void DeletePackageFolder(const std::wstring& folder) noexcept {
  if (folder.empty() || PathFileExistsW(folder.c_str()) != TRUE) return;
  try {
    // The folder is still the current directory, which cannot be deleted:
    // step out to its parent first.
    const size_t end = folder.find_last_not_of(L"\\/");
    const size_t slash = end == std::wstring::npos ? end : folder.find_last_of(L"\\/", end);
    if (slash != std::wstring::npos) SetCurrentDirectoryW(folder.substr(0, slash + 1).c_str());
  } catch (...) {
  }
  ShellDeleteTree(folder);
}

int RunHost(HINSTANCE instance) noexcept {
  ConfigureLoggerFromEnvironment();
  const DevelopmentSwitches development = ReadDevelopmentSwitches();
  OpenTerminal(development.console);
  std::wstring packageFolder;
  EnterApplicationFolder(packageFolder);

  CAppModule& module = Module();
  module.Init(instance);
  CMessageLoop loop;
  int exitCode = kExitNoFirstWindow;
  ComPtr<IUnknown> firstWindow;
  try {
    module.AddMessageLoop(&loop);
    // Without a first window (its page is missing: a wrong "d", a broken
    // package) nothing could ever end the loop.
    if (SUCCEEDED(CreateFirstWindow(firstWindow))) {
      CLiveReload reload;
      if (development.watch) WatchApplicationFolder(reload, loop);
      exitCode = loop.Run();
      reload.Stop();
    } else {
      OMB_TRACE(kTraceErrors, "RunHost", L"no first window; the host ends");
    }
  } catch (...) {
    exitCode = static_cast<int>(E_OUTOFMEMORY);
  }
  EndWindowsAndJobs(firstWindow);
  module.RemoveMessageLoop();
  module.Term();

  UnloadPluginLibraries();
  DeletePackageFolder(packageFolder);
  return exitCode;
}

}  // namespace omb
