// The "system" members that hand files to the shell: launching programs and
// documents (with the wait for their exit), shortcut files and taskbar pins.
#include "app/plugins/system/system_plugin.h"

#include <shellapi.h>
#include <shldisp.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <vector>

#include "app/core/job.h"
#include "app/core/script_call.h"
#include "app/core/script_object.h"
#include "app/plugins/system/shortcut.h"
#include "app/plugins/system/system_logic.h"

namespace omb {
namespace {

constexpr UINT kPinVerbText = 5386;
constexpr UINT kUnpinVerbText = 5387;

HRESULT OptionsArgument(const DispCall& call, IDispatch** options) {
  if (call.args.Count() != 1) return E_NOTIMPL;
  return call.args.Object(0, options);
}

std::wstring StringOption(IDispatch* options, const wchar_t* name) {
  unique_bstr value;
  return OptionString(options, name, &value) ? std::wstring(value.get()) : std::wstring();
}

// The pin or unpin verb text from the shell library's string resources.
std::wstring ShellVerbText(UINT id) {
  unique_hmodule shell(::LoadLibraryW(L"Shell32.dll"));
  if (!shell) return std::wstring();
  const wchar_t* text = nullptr;
  // With no buffer the call answers the resource's own text and length.
  const int length = ::LoadStringW(shell.get(), id, reinterpret_cast<LPWSTR>(&text), 0);
  return length > 0 && text ? std::wstring(text, static_cast<size_t>(length)) : std::wstring();
}

VARIANT StringVariant(BSTR text) {
  VARIANT v;
  ::VariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = text;
  return v;
}

// Runs the file's shell verb named verbText (the shell automation objects:
// the folder, its item, the item's verbs).
bool RunShellVerb(const std::wstring& path, const std::wstring& verbText) {
  ComPtr<IShellDispatch> shell;
  if (FAILED(::CoCreateInstance(CLSID_Shell, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&shell))))
    return false;
  unique_bstr folderPath(::SysAllocString(ParentFolder(path).c_str()));
  unique_bstr fileName(::SysAllocString(::PathFindFileNameW(path.c_str())));
  if (!folderPath || !fileName) return false;
  ComPtr<Folder> folder;
  ComPtr<FolderItem> item;
  ComPtr<FolderItemVerbs> verbs;
  long count = 0;
  if (FAILED(shell->NameSpace(StringVariant(folderPath.get()), &folder)) || !folder ||
      FAILED(folder->ParseName(fileName.get(), &item)) || !item || FAILED(item->Verbs(&verbs)) ||
      !verbs || FAILED(verbs->get_Count(&count)))
    return false;
  std::vector<ComPtr<FolderItemVerb>> found;
  std::vector<std::wstring> names;
  for (long i = 0; i < count; ++i) {
    VARIANT index;
    SetI4(&index, i);
    ComPtr<FolderItemVerb> verb;
    unique_bstr name;
    if (FAILED(verbs->Item(index, &verb)) || !verb || FAILED(verb->get_Name(name.put()))) continue;
    found.push_back(verb);
    names.emplace_back(name ? name.get() : L"");
  }
  const int match = FindVerb(names, verbText.c_str());
  return match >= 0 && SUCCEEDED(found[static_cast<size_t>(match)]->DoIt());
}

}  // namespace

HRESULT CSystemPlugin::PathOption(IDispatch* options, const wchar_t* name, std::wstring* out) {
  return Resolve(StringOption(options, name).c_str(), out);
}

HRESULT CSystemPlugin::Launch(DispCall& call) {
  IDispatch* options = nullptr;
  OMB_RETURN_IF_FAILED(OptionsArgument(call, &options));
  std::wstring path, workDir;
  OMB_RETURN_IF_FAILED(PathOption(options, L"path", &path));
  if (path.empty()) return call.ReturnBool(false);
  OMB_RETURN_IF_FAILED(PathOption(options, L"workDir", &workDir));
  unique_bstr args;
  const wchar_t* parameters = OptionString(options, L"args", &args) ? args.get() : nullptr;
  const wchar_t* directory = workDir.empty() ? nullptr : workDir.c_str();
  const wchar_t* verb = OptionBool(options, L"requestAdmin", false) && !IsElevated() ? L"runas"
                                                                                      : nullptr;
  CScriptCallbacks callbacks(options, {L"exitCallback"});
  if (!callbacks.Has(L"exitCallback")) {
    const HINSTANCE started =
        ::ShellExecuteW(nullptr, verb, path.c_str(), parameters, directory, SW_SHOWNORMAL);
    return call.ReturnBool(reinterpret_cast<INT_PTR>(started) > 32);
  }

  SHELLEXECUTEINFOW info = {};
  info.cbSize = sizeof(info);
  info.fMask = SEE_MASK_NOCLOSEPROCESS;
  info.lpVerb = verb;
  info.lpFile = path.c_str();
  info.lpParameters = parameters;
  info.lpDirectory = directory;
  info.nShow = SW_SHOWNORMAL;
  // A refused elevation prompt fails here like any other failure.
  if (!::ShellExecuteExW(&info)) return call.ReturnBool(false);
  // The worker waits for the exit and hands the code to the window's thread.
  // Without a process handle (the shell gave the file to a running program)
  // the wait fails at once and the failure's result code is reported.
  unique_handle process(info.hProcess);
  const HRESULT started = StartJob(callbacks, Unknown(), [process = std::move(process)](CJob& job) mutable {
    DWORD code = 0;
    // The host's exit does not wait for the program: the job ends unheard.
    const HANDLE waits[] = {process.get(), job.StopEvent()};
    const DWORD waited = ::WaitForMultipleObjects(waits[1] ? 2 : 1, waits, FALSE, INFINITE);
    if (waited == WAIT_OBJECT_0 + 1) return;
    if (waited == WAIT_FAILED || !::GetExitCodeProcess(process.get(), &code))
      code = static_cast<DWORD>(HResultFromLastError());
    process.reset();
    job.Call(L"exitCallback", {ArgUI4(code)});
  });
  return call.ReturnBool(SUCCEEDED(started));
}

HRESULT CSystemPlugin::CreateShortcut(DispCall& call) {
  IDispatch* options = nullptr;
  OMB_RETURN_IF_FAILED(OptionsArgument(call, &options));
  ShortcutContent shortcut;
  std::wstring dest;
  OMB_RETURN_IF_FAILED(PathOption(options, L"src", &shortcut.target));
  if (shortcut.target.empty()) return call.ReturnBool(false);
  shortcut.arguments = StringOption(options, L"arg");
  OMB_RETURN_IF_FAILED(PathOption(options, L"dest", &dest));
  OMB_RETURN_IF_FAILED(PathOption(options, L"icon", &shortcut.icon));
  if (!shortcut.icon.empty()) shortcut.iconIndex = OptionInt(options, L"iconIndex").value_or(0);
  const bool isUrl = ::PathIsURLW(shortcut.target.c_str()) != FALSE;

  if (OptionBool(options, L"desktop", false)) {
    std::wstring name = StringOption(options, L"destName");
    if (!dest.empty()) return call.ReturnBool(false);
    if (name.empty()) {
      if (isUrl) return call.ReturnBool(false);
      name = ::PathFindFileNameW(shortcut.target.c_str());
    }
    wchar_t desktop[MAX_PATH];
    if (!::SHGetSpecialFolderPathW(nullptr, desktop, CSIDL_DESKTOPDIRECTORY, FALSE))
      return call.ReturnBool(false);
    dest = std::wstring(desktop) + L"\\" + name + L".lnk";
  } else if (dest.empty()) {
    return call.ReturnBool(false);
  }
  const HRESULT written = isUrl ? WriteInternetShortcut(shortcut, dest.c_str())
                                : WriteProgramShortcut(shortcut, dest.c_str());
  return call.ReturnBool(SUCCEEDED(written));
}

HRESULT CSystemPlugin::ParseShortcut(DispCall& call) {
  if (call.args.Count() != 1) return E_NOTIMPL;
  const wchar_t* path = nullptr;
  OMB_RETURN_IF_FAILED(call.args.String(0, &path));
  call.ReturnNull();
  std::wstring target, arguments;
  if (FAILED(ReadShortcut(path, &target, &arguments))) return S_OK;
  ComPtr<CObject> object = Make<CObject>();
  unique_bstr targetText(::SysAllocStringLen(target.data(), static_cast<UINT>(target.size())));
  unique_bstr argumentsText(
      ::SysAllocStringLen(arguments.data(), static_cast<UINT>(arguments.size())));
  if (!object || !targetText || !argumentsText ||
      FAILED(object->SetMember(L"path", StringVariant(targetText.get()))) ||
      FAILED(object->SetMember(L"args", StringVariant(argumentsText.get()))))
    return S_OK;
  return call.ReturnDispatch(object.Get());
}

HRESULT CSystemPlugin::PinToTaskbar(DispCall& call) { return Pin(call, true); }
HRESULT CSystemPlugin::UnpinFromTaskbar(DispCall& call) { return Pin(call, false); }

HRESULT CSystemPlugin::Pin(DispCall& call, bool pin) {
  std::wstring path;
  OMB_RETURN_IF_FAILED(PathArgument(call, &path));
  const std::wstring verbText = ShellVerbText(pin ? kPinVerbText : kUnpinVerbText);
  switch (ChoosePinRoute(verbText.c_str(), ::PathFileExistsW(path.c_str()) != FALSE,
                         path.c_str())) {
    case PinRoute::kTaskbarVerb: {
      const HINSTANCE done = ::ShellExecuteW(nullptr, pin ? L"TaskbarPin" : L"TaskbarUnPin",
                                             path.c_str(), nullptr, nullptr, SW_SHOW);
      return call.ReturnBool(reinterpret_cast<INT_PTR>(done) > 32);
    }
    case PinRoute::kShellVerbs:
      return call.ReturnBool(RunShellVerb(path, verbText));
    case PinRoute::kRefuse:
    default:
      return call.ReturnBool(false);
  }
}

}  // namespace omb
