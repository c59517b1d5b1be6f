// The window's modal dialogs: the message box, the open/save file dialog and
// the folder browser, each driven by a script options object. They run a
// nested message loop on the user-interface thread, so window events and
// inter-window messages may run while one is open.
#include <windows.h>
#include <commdlg.h>
#include <mshtml.h>
#include <shlobj.h>

#include "app/core/script_call.h"
#include "app/core/system_function.h"
#include "app/plugins/window/window_logic.h"
#include "app/plugins/window/window_plugin.h"
#include "sdk/trace.h"

namespace omb {
namespace {

// Room for the longest path the platform accepts, so a long path is returned
// whole rather than reported as a failed (too small) dialog.
constexpr DWORD kSingleSelectChars = 32768;
// Room for the folder and the names of a multiple selection.
constexpr DWORD kMultiSelectChars = 65536;

const wchar_t* StringOr(const unique_bstr& s, const wchar_t* fallback) noexcept {
  return s ? s.get() : fallback;
}

// An optional object argument: none, or exactly a dispatch variant.
HRESULT OptionsArg(const DispArgs& args, IDispatch** options) noexcept {
  *options = nullptr;
  if (args.Count() == 0) return S_OK;
  if (args.Type(0) != VT_DISPATCH) return E_INVALIDARG;
  *options = args[0].pdispVal;
  return S_OK;
}

void CallFunctionOption(IDispatch* options, const wchar_t* name) noexcept {
  ComPtr<IDispatch> function = OptionFunction(options, name);
  if (!function) return;
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  unique_variant ignored;
  function->Invoke(DISPID_VALUE, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none,
                   ignored.get(), nullptr, nullptr);
}

const wchar_t* FunctionForButton(int button) noexcept {
  switch (button) {
    case IDOK: return L"onOk";
    case IDCANCEL: return L"onCancel";
    case IDYES: return L"onYes";
    case IDNO: return L"onNo";
    default: return nullptr;
  }
}

// The full paths of a multiple selection: one full path, or a folder followed
// by names, each ended by a NUL. Every path is returned whole, however long.
std::vector<std::wstring> SelectedPaths(const wchar_t* buffer) {
  std::vector<std::wstring> paths;
  const std::wstring first(buffer);
  const wchar_t* name = buffer + first.size() + 1;
  if (!*name) {
    paths.push_back(first);
    return paths;
  }
  for (; *name; name += wcslen(name) + 1) {
    std::wstring path = first;
    if (!path.empty() && path.back() != L'\\') path += L'\\';
    path += name;
    paths.push_back(std::move(path));
  }
  return paths;
}

int CALLBACK FolderDialogCallback(HWND dialog, UINT message, LPARAM, LPARAM initial) noexcept {
  if (message == BFFM_INITIALIZED && initial) {
    SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, initial);
    SendMessageW(dialog, BFFM_SETEXPANDED, TRUE, initial);
  }
  return 0;
}

}  // namespace

HWND CWindowPlugin::DialogOwner() const noexcept { return frame_ ? frame_ : GetActiveWindow(); }

// ---------------------------------------------------------------------------
// Message box

HRESULT CWindowPlugin::ShowMessageBox(DispCall& call) {
  if (call.args.Type(0) != VT_DISPATCH) return E_INVALIDARG;
  IDispatch* options = call.args[0].pdispVal;
  if (!options) return call.ReturnBool(false);
  unique_bstr caption, text, type, icon;
  OptionString(options, L"caption", &caption);
  OptionString(options, L"text", &text);
  OptionString(options, L"type", &type);
  OptionString(options, L"icon", &icon);
  const int button = MessageBoxW(frame_, StringOr(text, L""), StringOr(caption, L""),
                                 MessageBoxStyle(type.get(), icon.get()));
  if (const wchar_t* function = FunctionForButton(button)) CallFunctionOption(options, function);
  return call.ReturnBool(true);
}

// ---------------------------------------------------------------------------
// File dialog

HRESULT CWindowPlugin::SelectFile(DispCall& call) {
  if (!call.result) {
    OMB_TRACE(kTraceErrors, "CWindowPlugin::SelectFile", L"pResult is NULL.");
    return E_INVALIDARG;
  }
  IDispatch* options = nullptr;
  OMB_RETURN_IF_FAILED(OptionsArg(call.args, &options));
  call.ReturnNull();
  return ShowFileDialog(options, call.result);
}

HRESULT CWindowPlugin::ShowFileDialog(IDispatch* options, VARIANT* result) {
  unique_bstr title, filter, initDir;
  OptionString(options, L"title", &title);
  OptionString(options, L"filter", &filter);
  OptionString(options, L"initDir", &initDir);
  std::wstring folder;
  if (initDir) OMB_RETURN_IF_FAILED(ResolvePath(initDir.get(), &folder));
  const bool multi = OptionBool(options, L"multi", false);
  const bool saveMode = !multi && OptionBool(options, L"saveMode", false);
  // The filter is taken whole, NULs included, and ends with one more NUL.
  std::wstring filterList;
  if (filter) filterList.assign(filter.get(), SysStringLen(filter.get())).push_back(L'\0');

  std::vector<wchar_t> buffer(multi ? kMultiSelectChars : kSingleSelectChars, L'\0');
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof(dialog);
  dialog.hwndOwner = DialogOwner();
  dialog.lpstrFilter = filter ? filterList.c_str() : nullptr;
  dialog.lpstrFile = buffer.data();
  dialog.nMaxFile = static_cast<DWORD>(buffer.size());
  dialog.Flags = FileDialogFlags(multi, OptionBool(options, L"fileMustExist", false),
                                 OptionBool(options, L"overwritePrompt", false)) |
                 OFN_EXPLORER | OFN_ENABLESIZING;
  if (multi || (title && *title.get())) dialog.lpstrTitle = StringOr(title, L"");
  if (multi || !folder.empty()) dialog.lpstrInitialDir = folder.c_str();

  static const auto getSaveFileName =
      SystemFunction<decltype(&GetSaveFileNameW)>(L"comdlg32.dll", "GetSaveFileNameW");
  static const auto getOpenFileName =
      SystemFunction<decltype(&GetOpenFileNameW)>(L"comdlg32.dll", "GetOpenFileNameW");
  const auto show = saveMode ? getSaveFileName : getOpenFileName;
  if (!show || !show(&dialog)) return S_OK;
  if (!multi) return SetString(result, buffer.data());
  return NativeArray(SelectedPaths(buffer.data()), result);
}

// A native array of the page's script (not a host-built one), so that page
// script can use every Array method on it.
HRESULT CWindowPlugin::NativeArray(const std::vector<std::wstring>& items, VARIANT* result) {
  ComPtr<IDispatch> documentDispatch;
  ComPtr<IHTMLDocument2> document;
  ComPtr<IDispatch> script;
  OMB_RETURN_HR_IF(E_FAIL, !browser_);
  OMB_RETURN_IF_FAILED(browser_->get_Document(&documentDispatch));
  OMB_RETURN_HR_IF(E_FAIL, !documentDispatch);
  OMB_RETURN_IF_FAILED(documentDispatch.As(&document));
  OMB_RETURN_IF_FAILED(document->get_Script(&script));
  OMB_RETURN_HR_IF(E_FAIL, !script);
  unique_variant constructor;
  OMB_RETURN_IF_FAILED(ReadMember(script.Get(), L"Array", constructor.get()));
  OMB_RETURN_HR_IF(E_FAIL, constructor.vt() != VT_DISPATCH || !constructor->pdispVal);
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  unique_variant array;
  OMB_RETURN_IF_FAILED(constructor->pdispVal->Invoke(DISPID_VALUE, IID_NULL, LOCALE_USER_DEFAULT,
                                                     DISPATCH_CONSTRUCT, &none, array.get(),
                                                     nullptr, nullptr));
  OMB_RETURN_HR_IF(E_FAIL, array.vt() != VT_DISPATCH || !array->pdispVal);
  for (size_t i = 0; i < items.size(); ++i) {
    unique_variant item;
    OMB_RETURN_IF_FAILED(SetString(item.get(), items[i].c_str()));
    OMB_RETURN_IF_FAILED(
        WriteMemberByName(array->pdispVal, std::to_wstring(i).c_str(), *item));
  }
  ::VariantClear(result);
  array.Detach(result);
  return S_OK;
}

// ---------------------------------------------------------------------------
// Folder dialog

HRESULT CWindowPlugin::SelectFolder(DispCall& call) {
  if (!call.result) {
    OMB_TRACE(kTraceErrors, "CWindowPlugin::SelectFolder", L"pResult is NULL.");
    return E_INVALIDARG;
  }
  IDispatch* options = nullptr;
  OMB_RETURN_IF_FAILED(OptionsArg(call.args, &options));
  call.ReturnNull();
  return ShowFolderDialog(options, call.result);
}

HRESULT CWindowPlugin::ShowFolderDialog(IDispatch* options, VARIANT* result) {
  unique_bstr title, initDir;
  OptionString(options, L"title", &title);
  OptionString(options, L"initDir", &initDir);
  std::wstring folder;
  if (initDir) OMB_RETURN_IF_FAILED(ResolvePath(initDir.get(), &folder));

  BROWSEINFOW dialog{};
  dialog.hwndOwner = DialogOwner();
  dialog.lpszTitle = title ? title.get() : nullptr;
  dialog.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
  if (!OptionBool(options, L"newFolderButton", false)) dialog.ulFlags |= BIF_NONEWFOLDERBUTTON;
  if (!folder.empty()) {
    dialog.lpfn = FolderDialogCallback;
    dialog.lParam = reinterpret_cast<LPARAM>(folder.c_str());
  }
  PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&dialog);
  if (!chosen) return S_OK;
  wchar_t path[MAX_PATH] = L"";
  const BOOL hasPath = SHGetPathFromIDListW(chosen, path);
  CoTaskMemFree(chosen);
  return hasPath ? SetString(result, path) : S_OK;
}

}  // namespace omb
