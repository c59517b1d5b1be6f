// The plug-in library end-to-end applications load as "test": page script
// reports checks through it (written to standard output), drives the host
// the way a user would (keys, clicks, dialogs) and ends the process with the
// number of failures as exit code.
#include <windows.h>
#include <oleauto.h>
#include <shlobj.h>

#include <memory>

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "sdk/com.h"
#include "sdk/dispatch.h"
#include "sdk/omb.h"
#include "sdk/plugin_library.h"

namespace {

void WriteOut(const std::wstring& text) {
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()),
                                        nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), utf8.data(), bytes,
                      nullptr, nullptr);
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), utf8.data(), static_cast<DWORD>(utf8.size()), &written,
            nullptr);
}

// A script value as text, for reports: strings as they are, others converted.
std::wstring Describe(const VARIANT& v) {
  if (v.vt == VT_EMPTY) return L"undefined";
  if (v.vt == VT_NULL) return L"null";
  if (v.vt == VT_DISPATCH || v.vt == VT_UNKNOWN) return v.punkVal ? L"[object]" : L"null";
  omb::unique_variant text;
  if (FAILED(VariantChangeType(text.get(), const_cast<VARIANT*>(&v), VARIANT_ALPHABOOL, VT_BSTR)))
    return L"<vt " + std::to_wstring(v.vt) + L">";
  std::wstring s(text->bstrVal, SysStringLen(text->bstrVal));
  return v.vt == VT_BSTR ? L"\"" + s + L"\"" : s;
}

// Script truthiness: non-empty strings, non-null objects, non-zero numbers.
bool Truthy(const VARIANT& v) {
  switch (v.vt) {
    case VT_EMPTY:
    case VT_NULL:
      return false;
    case VT_BSTR:
      return SysStringLen(v.bstrVal) > 0;
    case VT_DISPATCH:
    case VT_UNKNOWN:
      return v.punkVal != nullptr;
    default: {
      omb::unique_variant b;
      return SUCCEEDED(VariantChangeType(b.get(), const_cast<VARIANT*>(&v), 0, VT_BOOL)) &&
             b->boolVal != VARIANT_FALSE;
    }
  }
}

bool Same(const VARIANT& a, const VARIANT& b) {
  if (a.vt == VT_EMPTY || b.vt == VT_EMPTY || a.vt == VT_NULL || b.vt == VT_NULL) return a.vt == b.vt;
  if ((a.vt == VT_DISPATCH || a.vt == VT_UNKNOWN) && (b.vt == VT_DISPATCH || b.vt == VT_UNKNOWN)) {
    ComPtr<IUnknown> x, y;
    if (a.punkVal) a.punkVal->QueryInterface(IID_PPV_ARGS(&x));
    if (b.punkVal) b.punkVal->QueryInterface(IID_PPV_ARGS(&y));
    return x.Get() == y.Get();
  }
  if ((a.vt == VT_BSTR) != (b.vt == VT_BSTR)) return false;
  return VarCmp(const_cast<VARIANT*>(&a), const_cast<VARIANT*>(&b), LOCALE_USER_DEFAULT, 0) ==
         static_cast<HRESULT>(VARCMP_EQ);
}

std::wstring ArgText(const omb::DispArgs& args, UINT i) {
  const wchar_t* s = nullptr;
  UINT n = 0;
  return SUCCEEDED(args.String(i, &s, &n)) ? std::wstring(s, n) : std::wstring();
}

struct FindContext {
  std::wstring className;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectChild(HWND hwnd, LPARAM lp) {
  auto* ctx = reinterpret_cast<FindContext*>(lp);
  wchar_t name[256];
  if (GetClassNameW(hwnd, name, 256) && ctx->className == name) ctx->found.push_back(hwnd);
  return TRUE;
}

BOOL CALLBACK CollectTop(HWND hwnd, LPARAM lp) {
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  if (pid != GetCurrentProcessId()) return TRUE;
  CollectChild(hwnd, lp);
  EnumChildWindows(hwnd, CollectChild, lp);
  return TRUE;
}

// Every window of this process with the class name, top-level and child.
std::vector<HWND> FindWindowsOfClass(const std::wstring& className) {
  FindContext ctx{className, {}};
  EnumWindows(CollectTop, reinterpret_cast<LPARAM>(&ctx));
  return ctx.found;
}

// A data object holding a list of files (CF_HDROP), as the shell hands to a
// drop target.
class CFileListData : public omb::ComObject<CFileListData, IDataObject> {
 public:
  explicit CFileListData(std::wstring list) : list_(std::move(list)) {}

  STDMETHODIMP GetData(FORMATETC* format, STGMEDIUM* medium) noexcept override {
    if (!format || !medium) return E_INVALIDARG;
    if (format->cfFormat != CF_HDROP || !(format->tymed & TYMED_HGLOBAL)) return DV_E_FORMATETC;
    const SIZE_T bytes = sizeof(DROPFILES) + list_.size() * sizeof(wchar_t);
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes);
    if (!memory) return E_OUTOFMEMORY;
    auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    memcpy(drop + 1, list_.data(), list_.size() * sizeof(wchar_t));
    GlobalUnlock(memory);
    medium->tymed = TYMED_HGLOBAL;
    medium->hGlobal = memory;
    medium->pUnkForRelease = nullptr;
    return S_OK;
  }
  STDMETHODIMP GetDataHere(FORMATETC*, STGMEDIUM*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP QueryGetData(FORMATETC* format) noexcept override {
    return format && format->cfFormat == CF_HDROP ? S_OK : DV_E_FORMATETC;
  }
  STDMETHODIMP GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP SetData(FORMATETC*, STGMEDIUM*, BOOL) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP EnumFormatEtc(DWORD, IEnumFORMATETC**) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP DUnadvise(DWORD) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP EnumDAdvise(IEnumSTATDATA**) noexcept override { return E_NOTIMPL; }

 private:
  std::wstring list_;  // paths, each ended by a NUL, and one more NUL
};

// Totals and counters are process-wide: every window's instance reports into
// the same run.
int g_passed = 0;
int g_failed = 0;
std::map<std::wstring, LONG> g_counters;
// Values kept for later pages of the same run (value(name, v)).
std::map<std::wstring, std::wstring> g_values;

// Windows found (and closed) by watcher threads, by class name.
std::mutex g_seenLock;
std::map<std::wstring, LONG> g_seen;

struct WatchRequest {
  std::wstring className;
  std::wstring title;
  DWORD timeoutMs;
};

// Closes a found window the way a user would: a message box or dialog gets
// OK, a pop-up menu gets Escape.
void Dismiss(HWND hwnd, const std::wstring& className) {
  if (className == L"#32768") {
    PostMessageW(hwnd, WM_KEYDOWN, VK_ESCAPE, 0);
    PostMessageW(hwnd, WM_KEYUP, VK_ESCAPE, 0);
  } else {
    PostMessageW(hwnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  }
}

DWORD WINAPI WatchThread(void* param) {
  std::unique_ptr<WatchRequest> request(static_cast<WatchRequest*>(param));
  const ULONGLONG end = GetTickCount64() + request->timeoutMs;
  while (GetTickCount64() < end) {
    for (HWND hwnd : FindWindowsOfClass(request->className)) {
      wchar_t text[512] = L"";
      GetWindowTextW(hwnd, text, 512);
      if (!request->title.empty() && request->title != text) continue;
      if (!IsWindowVisible(hwnd)) continue;
      {
        std::lock_guard<std::mutex> lock(g_seenLock);
        ++g_seen[request->className];
      }
      Dismiss(hwnd, request->className);
      return 0;
    }
    Sleep(20);
  }
  return 0;
}

class CReporterPlugin : public omb::ComObject<CReporterPlugin, OMB::IPluginImpl<CReporterPlugin>,
                                              omb::DispatchTable<CReporterPlugin>> {
 public:
  static constexpr const char* kClassName = "CReporterPlugin";
  static std::span<const omb::DispMember<CReporterPlugin>> Members() noexcept;

  STDMETHODIMP Initialize(OMB::ICore* core, IUnknown*) noexcept override {
    core_ = core;
    return S_OK;
  }
  // The navigation notices the host gave this instance, in order: "N" for
  // navigate-complete, "D" for document-complete.
  STDMETHODIMP OnNavigateComplete(ULONG_PTR) noexcept override {
    notices_ += L'N';
    return S_OK;
  }
  STDMETHODIMP OnDocumentComplete(ULONG_PTR) noexcept override {
    notices_ += L'D';
    return S_OK;
  }
  HRESULT Notices(omb::DispCall& call) { return call.ReturnString(notices_.c_str()); }

  // count(name[, add]) -> a process-wide counter, after adding add (1 when
  // not given; 0 reads it)
  HRESULT Count(omb::DispCall& call) {
    LONG add = 1;
    if (call.args.Count() > 1) call.args.Number(1, &add);
    return call.ReturnInt(g_counters[ArgText(call.args, 0)] += add);
  }
  // value(name, text) keeps text for the rest of the run (a reloaded page
  // reads it); value(name) -> the kept text, or null
  HRESULT Value(omb::DispCall& call) {
    const std::wstring name = ArgText(call.args, 0);
    if (call.args.Count() > 1) {
      g_values[name] = ArgText(call.args, 1);
      return S_OK;
    }
    const auto kept = g_values.find(name);
    return kept == g_values.end() ? call.ReturnNull() : call.ReturnString(kept->second.c_str());
  }
  // hasOwner() -> whether this window is owned by another
  HRESULT HasOwner(omb::DispCall& call) {
    return call.ReturnBool(core_ && GetWindow(core_->GetWindowHandle(), GW_OWNER) != nullptr);
  }
  // watch(className, title, timeoutMs): a thread waits for such a window of
  // this process, counts it and closes it (OK for dialogs, Escape for menus).
  HRESULT Watch(omb::DispCall& call) {
    LONG timeout = 5000;
    call.args.Number(2, &timeout);
    auto* request = new WatchRequest{ArgText(call.args, 0), ArgText(call.args, 1),
                                     static_cast<DWORD>(timeout)};
    HANDLE thread = CreateThread(nullptr, 0, WatchThread, request, 0, nullptr);
    if (!thread) {
      delete request;
      return call.ReturnBool(false);
    }
    CloseHandle(thread);
    return call.ReturnBool(true);
  }
  // seen(className) -> how many such windows watchers found
  HRESULT Seen(omb::DispCall& call) {
    std::lock_guard<std::mutex> lock(g_seenLock);
    return call.ReturnInt(g_seen[ArgText(call.args, 0)]);
  }

  // drop(x, y, paths...): drags files over the page's client point (x, y) and
  // drops them there through the host's drop target. Answers the effect the
  // host reported while dragging over the point (1 copy, 0 none).
  HRESULT Drop(omb::DispCall& call) {
    LONG x = 0, y = 0;
    call.args.Number(0, &x);
    call.args.Number(1, &y);
    std::wstring list;
    for (UINT i = 2; i < call.args.Count(); ++i) list += ArgText(call.args, i) + L'\0';
    list += L'\0';
    ComPtr<IDropTarget> target = HostDropTarget();
    if (!target) return call.ReturnInt(-1);
    const auto views = FindWindowsOfClass(L"Internet Explorer_Server");
    POINT screen{x, y};
    if (!views.empty()) ClientToScreen(views.front(), &screen);
    const POINTL at{screen.x, screen.y};
    ComPtr<IDataObject> data = omb::Make<CFileListData>(std::move(list));
    DWORD effect = DROPEFFECT_COPY;
    target->DragEnter(data.Get(), MK_LBUTTON, at, &effect);
    DWORD overEffect = DROPEFFECT_COPY;
    target->DragOver(MK_LBUTTON, at, &overEffect);
    DWORD dropEffect = DROPEFFECT_COPY;
    target->Drop(data.Get(), 0, at, &dropEffect);
    return call.ReturnInt(static_cast<LONG>(overEffect));
  }

  // startHost(folder): starts another process of this host on the
  // application folder of that name inside the current directory.
  HRESULT StartHost(omb::DispCall& call) {
    wchar_t exe[MAX_PATH], cwd[MAX_PATH];
    if (!GetModuleFileNameW(nullptr, exe, MAX_PATH) || !GetCurrentDirectoryW(MAX_PATH, cwd))
      return call.ReturnBool(false);
    std::wstring command = L"\"" + std::wstring(exe) + L"\" \"d=" + cwd + L"\\" +
                           ArgText(call.args, 0) + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(exe, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
      return call.ReturnBool(false);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return call.ReturnBool(true);
  }

  // ok(condition, name)
  HRESULT Ok(omb::DispCall& call) {
    const bool passed = call.args.Count() > 0 && Truthy(call.args[0]);
    Report(passed, ArgText(call.args, 1), L"");
    return call.ReturnBool(passed);
  }
  // equal(actual, expected, name)
  HRESULT Equal(omb::DispCall& call) {
    if (call.args.Count() < 2) return E_NOTIMPL;
    const bool passed = Same(call.args[0], call.args[1]);
    Report(passed, ArgText(call.args, 2),
           passed ? L"" : L" (got " + Describe(call.args[0]) + L", expected " + Describe(call.args[1]) + L")");
    return call.ReturnBool(passed);
  }
  // log(text)
  HRESULT Log(omb::DispCall& call) {
    WriteOut(L"# " + (call.args.Count() ? Describe(call.args[0]) : std::wstring()) + L"\n");
    return S_OK;
  }
  // done(): prints the totals and ends the message loop with the failure count.
  HRESULT Done(omb::DispCall&) {
    WriteOut(std::to_wstring(g_passed) + L" passed, " + std::to_wstring(g_failed) + L" failed\n");
    PostQuitMessage(g_failed == 0 && g_passed > 0 ? 0 : 1);
    return S_OK;
  }
  // env(name) -> string or null
  HRESULT Env(omb::DispCall& call) {
    wchar_t value[4096];
    const DWORD n = GetEnvironmentVariableW(ArgText(call.args, 0).c_str(), value, 4096);
    if (n == 0 || n >= 4096) return call.ReturnNull();
    return call.ReturnString(value, n);
  }
  // countWindows(className) -> number of this process's windows of that class
  HRESULT CountWindows(omb::DispCall& call) {
    return call.ReturnInt(static_cast<LONG>(FindWindowsOfClass(ArgText(call.args, 0)).size()));
  }
  // windowText(className) -> text of the first such window, or null
  HRESULT WindowText(omb::DispCall& call) {
    const auto found = FindWindowsOfClass(ArgText(call.args, 0));
    if (found.empty()) return call.ReturnNull();
    wchar_t text[1024] = L"";
    GetWindowTextW(found.front(), text, 1024);
    return call.ReturnString(text);
  }
  // pressButton(className, buttonId): posts a button click to every window of
  // that class (message boxes and dialogs answer posted clicks).
  HRESULT PressButton(omb::DispCall& call) {
    LONG id = IDOK;
    call.args.Number(1, &id);
    const auto found = FindWindowsOfClass(ArgText(call.args, 0));
    for (HWND w : found) PostMessageW(w, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
    return call.ReturnInt(static_cast<LONG>(found.size()));
  }
  // sendKey(virtualKey, ctrl): a key-down through the thread's message loop to
  // the page's view window, with the Ctrl state as given.
  HRESULT SendKey(omb::DispCall& call) {
    LONG vk = 0;
    bool ctrl = false;
    call.args.Number(0, &vk);
    call.args.Bool(1, &ctrl);
    BYTE keys[256];
    GetKeyboardState(keys);
    keys[VK_CONTROL] = ctrl ? 0x80 : 0;
    SetKeyboardState(keys);
    const auto views = FindWindowsOfClass(L"Internet Explorer_Server");
    if (views.empty()) return call.ReturnBool(false);
    PostMessageW(views.front(), WM_KEYDOWN, static_cast<WPARAM>(vk), 1);
    return call.ReturnBool(true);
  }
  // releaseKeys(): Ctrl up again.
  HRESULT ReleaseKeys(omb::DispCall&) {
    BYTE keys[256];
    GetKeyboardState(keys);
    keys[VK_CONTROL] = 0;
    SetKeyboardState(keys);
    return S_OK;
  }
  // rightClick(x, y): a right click at client point (x, y) of the page view.
  HRESULT RightClick(omb::DispCall& call) {
    LONG x = 0, y = 0;
    call.args.Number(0, &x);
    call.args.Number(1, &y);
    const auto views = FindWindowsOfClass(L"Internet Explorer_Server");
    if (views.empty()) return call.ReturnBool(false);
    PostMessageW(views.front(), WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(x, y));
    PostMessageW(views.front(), WM_RBUTTONUP, 0, MAKELPARAM(x, y));
    return call.ReturnBool(true);
  }

 private:
  // The host site of this window answers the "WM_ATLGETHOST" message with
  // its IUnknown (no reference added); its drop target is the one the page
  // engine registered for the view.
  ComPtr<IDropTarget> HostDropTarget() {
    if (!core_) return nullptr;
    static const UINT getHost = RegisterWindowMessageW(L"WM_ATLGETHOST");
    auto* host = reinterpret_cast<IUnknown*>(SendMessageW(core_->GetWindowHandle(), getHost, 0, 0));
    ComPtr<IDropTarget> target;
    if (host) host->QueryInterface(IID_PPV_ARGS(&target));
    return target;
  }

  void Report(bool passed, const std::wstring& name, const std::wstring& detail) {
    (passed ? g_passed : g_failed)++;
    WriteOut((passed ? L"ok - " : L"not ok - ") + name + detail + L"\n");
  }

  ComPtr<OMB::ICore> core_;
  std::wstring notices_;
};

const omb::DispMember<CReporterPlugin> kMembers[] = {
    {-9900, L"value", &CReporterPlugin::Value},
    {-10000, L"ok", &CReporterPlugin::Ok},
    {-9999, L"equal", &CReporterPlugin::Equal},
    {-9998, L"log", &CReporterPlugin::Log},
    {-9997, L"done", &CReporterPlugin::Done},
    {-9996, L"env", &CReporterPlugin::Env},
    {-9995, L"countWindows", &CReporterPlugin::CountWindows},
    {-9994, L"windowText", &CReporterPlugin::WindowText},
    {-9993, L"pressButton", &CReporterPlugin::PressButton},
    {-9992, L"sendKey", &CReporterPlugin::SendKey},
    {-9991, L"releaseKeys", &CReporterPlugin::ReleaseKeys},
    {-9990, L"rightClick", &CReporterPlugin::RightClick},
    {-9989, L"notices", &CReporterPlugin::Notices},
    {-9988, L"count", &CReporterPlugin::Count},
    {-9987, L"hasOwner", &CReporterPlugin::HasOwner},
    {-9986, L"watch", &CReporterPlugin::Watch},
    {-9985, L"seen", &CReporterPlugin::Seen},
    {-9984, L"drop", &CReporterPlugin::Drop},
    {-9983, L"startHost", &CReporterPlugin::StartHost},
};

std::span<const omb::DispMember<CReporterPlugin>> CReporterPlugin::Members() noexcept {
  return kMembers;
}


}  // namespace

OMB_EXPORT_CREATE_INTERFACE {
  return omb::AnswerCreateInterface<CReporterPlugin>(iid, out, {L"test"});
}
