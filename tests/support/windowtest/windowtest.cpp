// The plug-in library the window plug-in's end-to-end applications load as
// "wintest": it reads what script cannot see of its frame window (outer
// rectangle, style bits, region, tracking sizes, hit tests) and sends the
// frame and page view the messages a user's actions would produce. Move and
// size loops that a posted caption or edge press would start are caught on
// the way and counted instead, so tests never wait on the mouse.
#include <windows.h>

#include <memory>
#include <string>

#include "sdk/com.h"
#include "sdk/dispatch.h"
#include "sdk/omb.h"
#include "sdk/plugin_library.h"

namespace {

HHOOK g_hook = nullptr;
LONG g_captionPresses = 0;
LONG g_lastSizeCommand = 0;

// Posted WM_NCLBUTTONDOWN on the caption and WM_SYSCOMMAND SC_SIZE+n are
// recorded and turned into WM_NULL.
LRESULT CALLBACK GetMessageHook(int code, WPARAM removal, LPARAM lParam) noexcept {
  if (code == HC_ACTION && removal == PM_REMOVE) {
    auto* msg = reinterpret_cast<MSG*>(lParam);
    if (msg->message == WM_NCLBUTTONDOWN && msg->wParam == HTCAPTION) {
      ++g_captionPresses;
      msg->message = WM_NULL;
    } else if (msg->message == WM_SYSCOMMAND && (msg->wParam & 0xFFF0) == SC_SIZE) {
      g_lastSizeCommand = static_cast<LONG>(msg->wParam);
      msg->message = WM_NULL;
    }
  }
  return CallNextHookEx(g_hook, code, removal, lParam);
}

BOOL CALLBACK FindView(HWND window, LPARAM found) {
  wchar_t name[64] = L"";
  GetClassNameW(window, name, 64);
  if (wcscmp(name, L"Internet Explorer_Server") != 0) return TRUE;
  *reinterpret_cast<HWND*>(found) = window;
  return FALSE;
}

struct ChoiceRequest {
  std::wstring text;  // typed into the file name box first, unless empty
  WPARAM button;
  DWORD timeoutMs;
};

BOOL CALLBACK FindEdit(HWND window, LPARAM found) {
  wchar_t name[64] = L"";
  GetClassNameW(window, name, 64);
  if (_wcsicmp(name, L"Edit") != 0 || !IsWindowVisible(window)) return TRUE;
  *reinterpret_cast<HWND*>(found) = window;
  return FALSE;
}

BOOL CALLBACK FindDialog(HWND window, LPARAM found) {
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  wchar_t name[64] = L"";
  GetClassNameW(window, name, 64);
  if (pid != GetCurrentProcessId() || wcscmp(name, L"#32770") != 0 || !IsWindowVisible(window))
    return TRUE;
  *reinterpret_cast<HWND*>(found) = window;
  return FALSE;
}

// Waits for a dialog of this process, types the text into its file name box
// when there is text, and presses the button.
DWORD WINAPI ChooseThread(void* param) {
  std::unique_ptr<ChoiceRequest> request(static_cast<ChoiceRequest*>(param));
  const ULONGLONG end = GetTickCount64() + request->timeoutMs;
  while (GetTickCount64() < end) {
    HWND dialog = nullptr;
    EnumWindows(FindDialog, reinterpret_cast<LPARAM>(&dialog));
    HWND edit = nullptr;
    if (dialog && !request->text.empty())
      EnumChildWindows(dialog, FindEdit, reinterpret_cast<LPARAM>(&edit));
    if (dialog && (edit || request->text.empty())) {
      Sleep(100);
      if (edit) SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(request->text.c_str()));
      PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(request->button, BN_CLICKED), 0);
      return 0;
    }
    Sleep(20);
  }
  return 0;
}

HANDLE g_peer = nullptr;

struct IdSearch {
  const wchar_t* id;
  HWND found;
};

BOOL CALLBACK FindCarrier(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<IdSearch*>(param);
  if (reinterpret_cast<ULONG_PTR>(GetPropW(window, search->id)) != 0x10102) return TRUE;
  search->found = window;
  return FALSE;
}

BOOL CALLBACK CollectPropertyName(HWND, LPWSTR name, HANDLE, ULONG_PTR names) {
  if (!IS_INTRESOURCE(name)) {
    auto* list = reinterpret_cast<std::wstring*>(names);
    if (!list->empty()) *list += L",";
    *list += name;
  }
  return TRUE;
}

LONG Arg(const omb::DispArgs& args, UINT i) {
  LONG value = 0;
  args.Number(i, &value);
  return value;
}

std::wstring ArgText(const omb::DispArgs& args, UINT i) {
  const wchar_t* s = nullptr;
  UINT n = 0;
  return SUCCEEDED(args.String(i, &s, &n)) ? std::wstring(s, n) : std::wstring();
}

class CWindowTestPlugin
    : public omb::ComObject<CWindowTestPlugin, OMB::IPluginImpl<CWindowTestPlugin>,
                            omb::DispatchTable<CWindowTestPlugin>> {
 public:
  static constexpr const char* kClassName = "CWindowTestPlugin";
  static std::span<const omb::DispMember<CWindowTestPlugin>> Members() noexcept;

  STDMETHODIMP Initialize(OMB::ICore* core, IUnknown*) noexcept override {
    if (core) frame_ = core->GetWindowHandle();
    if (!g_hook) g_hook = SetWindowsHookExW(WH_GETMESSAGE, GetMessageHook, nullptr, GetCurrentThreadId());
    return S_OK;
  }

  // rect() -> "left,top,right,bottom" of the frame's outer rectangle
  HRESULT Rect(omb::DispCall& call) {
    RECT r{};
    GetWindowRect(frame_, &r);
    return ReturnText(call, r.left, r.top, r.right, r.bottom);
  }
  // style(), exStyle(), classStyle() -> the frame's style bits
  HRESULT Style(omb::DispCall& call) { return call.ReturnInt(static_cast<LONG>(GetWindowLongPtrW(frame_, GWL_STYLE))); }
  HRESULT ExStyle(omb::DispCall& call) { return call.ReturnInt(static_cast<LONG>(GetWindowLongPtrW(frame_, GWL_EXSTYLE))); }
  HRESULT ClassStyle(omb::DispCall& call) { return call.ReturnInt(static_cast<LONG>(GetClassLongPtrW(frame_, GCL_STYLE))); }
  // sysCommand(command) -> whether the frame still exists afterwards
  HRESULT SysCommand(omb::DispCall& call) {
    SendMessageW(frame_, WM_SYSCOMMAND, static_cast<WPARAM>(Arg(call.args, 0)), 0);
    return call.ReturnBool(IsWindow(frame_) != FALSE);
  }
  // postSysCommand(command): the command as the user's click would post it
  HRESULT PostSysCommand(omb::DispCall& call) {
    return call.ReturnBool(PostMessageW(frame_, WM_SYSCOMMAND, static_cast<WPARAM>(Arg(call.args, 0)), 0) != FALSE);
  }
  // send(message, wParam) -> the frame's answer
  HRESULT Send(omb::DispCall& call) {
    return call.ReturnInt(static_cast<LONG>(SendMessageW(frame_, static_cast<UINT>(Arg(call.args, 0)),
                                                         static_cast<WPARAM>(Arg(call.args, 1)), 0)));
  }
  // trackSize() -> "minX,minY,maxX,maxY" as the frame answers WM_GETMINMAXINFO
  // for a structure pre-filled with 1,2,30000,40000
  HRESULT TrackSize(omb::DispCall& call) {
    MINMAXINFO info{};
    info.ptMinTrackSize = {1, 2};
    info.ptMaxTrackSize = {30000, 40000};
    SendMessageW(frame_, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
    return ReturnText(call, info.ptMinTrackSize.x, info.ptMinTrackSize.y, info.ptMaxTrackSize.x,
                      info.ptMaxTrackSize.y);
  }
  HRESULT HasMenu(omb::DispCall& call) { return call.ReturnBool(GetMenu(frame_) != nullptr); }
  // inRegion(x, y) -> whether the window point is inside the frame's region
  // (true when the frame has no region)
  HRESULT InRegion(omb::DispCall& call) {
    omb::unique_hrgn region(CreateRectRgn(0, 0, 0, 0));
    if (GetWindowRgn(frame_, region.get()) == ERROR) return call.ReturnBool(true);
    return call.ReturnBool(PtInRegion(region.get(), Arg(call.args, 0), Arg(call.args, 1)) != FALSE);
  }
  // viewHitTest(x, y) -> the page view's WM_NCHITTEST answer for its client point
  HRESULT ViewHitTest(omb::DispCall& call) {
    HWND view = View();
    POINT p{Arg(call.args, 0), Arg(call.args, 1)};
    ClientToScreen(view, &p);
    return call.ReturnInt(static_cast<LONG>(SendMessageW(view, WM_NCHITTEST, 0, MAKELPARAM(p.x, p.y))));
  }
  // viewClient() -> "0,0,width,height" of the page view
  HRESULT ViewClient(omb::DispCall& call) {
    RECT r{};
    GetClientRect(View(), &r);
    return ReturnText(call, r.left, r.top, r.right, r.bottom);
  }
  // edgePress(x, y): a non-client left press on the page view's client point
  HRESULT EdgePress(omb::DispCall& call) {
    HWND view = View();
    POINT p{Arg(call.args, 0), Arg(call.args, 1)};
    ClientToScreen(view, &p);
    SendMessageW(view, WM_NCLBUTTONDOWN, HTLEFT, MAKELPARAM(p.x, p.y));
    return S_OK;
  }
  // lastSizeCommand() -> the last SC_SIZE+n posted to this thread
  HRESULT LastSizeCommand(omb::DispCall& call) { return call.ReturnInt(g_lastSizeCommand); }
  // mouseDown(x, y): cursor to the page view's client point, then a press there
  HRESULT MouseDown(omb::DispCall& call) {
    HWND view = View();
    POINT p{Arg(call.args, 0), Arg(call.args, 1)};
    POINT screen = p;
    ClientToScreen(view, &screen);
    SetCursorPos(screen.x, screen.y);
    SendMessageW(view, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(p.x, p.y));
    SendMessageW(view, WM_LBUTTONUP, 0, MAKELPARAM(p.x, p.y));
    return S_OK;
  }
  // captionPresses() -> caption presses posted to this thread so far
  HRESULT CaptionPresses(omb::DispCall& call) { return call.ReturnInt(g_captionPresses); }
  // chooseInDialog(text, timeoutMs): a thread waits for a file dialog, types
  // text as the file name and presses OK.
  HRESULT ChooseInDialog(omb::DispCall& call) {
    const wchar_t* text = L"";
    call.args.String(0, &text);
    return StartChoice(call, text, IDOK, Arg(call.args, 1));
  }
  // pressInDialog(buttonId, timeoutMs): a thread waits for a dialog or message
  // box and presses the button.
  HRESULT PressInDialog(omb::DispCall& call) {
    return StartChoice(call, L"", static_cast<WPARAM>(Arg(call.args, 0)), Arg(call.args, 1));
  }
  HRESULT StartChoice(omb::DispCall& call, const wchar_t* text, WPARAM button, LONG timeoutMs) {
    auto* request = new ChoiceRequest{text, button, static_cast<DWORD>(timeoutMs)};
    HANDLE thread = CreateThread(nullptr, 0, ChooseThread, request, 0, nullptr);
    if (!thread) {
      delete request;
      return call.ReturnBool(false);
    }
    CloseHandle(thread);
    return call.ReturnBool(true);
  }
  // menuState(position) -> the state flags of the menu bar's item, or -1
  HRESULT MenuState(omb::DispCall& call) {
    return call.ReturnInt(static_cast<LONG>(
        GetMenuState(GetMenu(frame_), static_cast<UINT>(Arg(call.args, 0)), MF_BYPOSITION)));
  }
  // setProp(name, value), getProp(name) -> a property of the frame
  HRESULT PutProp(omb::DispCall& call) {
    return call.ReturnBool(SetPropW(frame_, ArgText(call.args, 0).c_str(),
                                    reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(Arg(call.args, 1)))) != FALSE);
  }
  HRESULT ReadProp(omb::DispCall& call) {
    return call.ReturnInt(static_cast<LONG>(
        reinterpret_cast<LONG_PTR>(GetPropW(frame_, ArgText(call.args, 0).c_str()))));
  }
  // propNames() -> the names of the frame's properties, comma-separated
  HRESULT PropNames(omb::DispCall& call) {
    std::wstring names;
    EnumPropsExW(frame_, CollectPropertyName, reinterpret_cast<LPARAM>(&names));
    return call.ReturnString(names.c_str());
  }
  // makeFile(folder, name) -> the full path of folder (inside the current
  // directory), created with an empty file of that name in it
  HRESULT MakeFile(omb::DispCall& call) {
    wchar_t cwd[MAX_PATH] = L"";
    GetCurrentDirectoryW(MAX_PATH, cwd);
    const std::wstring folder = std::wstring(cwd) + L"\\" + ArgText(call.args, 0);
    const std::wstring file = L"\\\\?\\" + folder + L"\\" + ArgText(call.args, 1);
    CreateDirectoryW((L"\\\\?\\" + folder).c_str(), nullptr);
    HANDLE handle = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return call.ReturnNull();
    CloseHandle(handle);
    return call.ReturnString(folder.c_str());
  }
  // startPeer(arguments): starts msgpeer.exe with the arguments
  HRESULT StartPeer(omb::DispCall& call) {
    wchar_t dir[MAX_PATH] = L".";
    GetEnvironmentVariableW(L"OMBREL_SUPPORT_DIR", dir, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(dir) + L"\\msgpeer.exe\" " + ArgText(call.args, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
      return call.ReturnBool(false);
    CloseHandle(process.hThread);
    g_peer = process.hProcess;
    return call.ReturnBool(true);
  }
  // stopPeer(): ends the peer whatever state it is in
  HRESULT StopPeer(omb::DispCall&) {
    if (g_peer) {
      TerminateProcess(g_peer, 9);
      WaitForSingleObject(g_peer, 5000);
      CloseHandle(g_peer);
      g_peer = nullptr;
    }
    return S_OK;
  }
  // waitForId(id, timeoutMs, hung) -> whether a window carrying the message
  // id appeared (and, with hung true, has stopped taking messages) in time
  HRESULT WaitForId(omb::DispCall& call) {
    const std::wstring id = ArgText(call.args, 0);
    bool hung = false;
    call.args.Bool(2, &hung);
    const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(Arg(call.args, 1));
    do {
      IdSearch search{id.c_str(), nullptr};
      EnumWindows(FindCarrier, reinterpret_cast<LPARAM>(&search));
      if (search.found && (!hung || IsHungAppWindow(search.found))) return call.ReturnBool(true);
      Sleep(50);
    } while (GetTickCount64() < end);
    return call.ReturnBool(false);
  }
  HRESULT IsIconic(omb::DispCall& call) { return call.ReturnBool(::IsIconic(frame_) != FALSE); }
  HRESULT IsZoomed(omb::DispCall& call) { return call.ReturnBool(::IsZoomed(frame_) != FALSE); }

 private:
  HWND View() const {
    HWND found = nullptr;
    EnumChildWindows(frame_, FindView, reinterpret_cast<LPARAM>(&found));
    return found;
  }
  static HRESULT ReturnText(omb::DispCall& call, LONG a, LONG b, LONG c, LONG d) {
    const std::wstring text = std::to_wstring(a) + L"," + std::to_wstring(b) + L"," +
                              std::to_wstring(c) + L"," + std::to_wstring(d);
    return call.ReturnString(text.c_str());
  }

  HWND frame_ = nullptr;
};

const omb::DispMember<CWindowTestPlugin> kMembers[] = {
    {-10000, L"rect", &CWindowTestPlugin::Rect},
    {-9999, L"style", &CWindowTestPlugin::Style},
    {-9998, L"exStyle", &CWindowTestPlugin::ExStyle},
    {-9997, L"classStyle", &CWindowTestPlugin::ClassStyle},
    {-9996, L"sysCommand", &CWindowTestPlugin::SysCommand},
    {-9995, L"send", &CWindowTestPlugin::Send},
    {-9994, L"trackSize", &CWindowTestPlugin::TrackSize},
    {-9993, L"hasMenu", &CWindowTestPlugin::HasMenu},
    {-9992, L"inRegion", &CWindowTestPlugin::InRegion},
    {-9991, L"viewHitTest", &CWindowTestPlugin::ViewHitTest},
    {-9990, L"viewClient", &CWindowTestPlugin::ViewClient},
    {-9989, L"edgePress", &CWindowTestPlugin::EdgePress},
    {-9988, L"lastSizeCommand", &CWindowTestPlugin::LastSizeCommand},
    {-9987, L"mouseDown", &CWindowTestPlugin::MouseDown},
    {-9986, L"captionPresses", &CWindowTestPlugin::CaptionPresses},
    {-9985, L"isIconic", &CWindowTestPlugin::IsIconic},
    {-9984, L"isZoomed", &CWindowTestPlugin::IsZoomed},
    {-9983, L"chooseInDialog", &CWindowTestPlugin::ChooseInDialog},
    {-9982, L"pressInDialog", &CWindowTestPlugin::PressInDialog},
    {-9981, L"postSysCommand", &CWindowTestPlugin::PostSysCommand},
    {-9980, L"menuState", &CWindowTestPlugin::MenuState},
    {-9979, L"setProp", &CWindowTestPlugin::PutProp},
    {-9978, L"getProp", &CWindowTestPlugin::ReadProp},
    {-9977, L"propNames", &CWindowTestPlugin::PropNames},
    {-9976, L"startPeer", &CWindowTestPlugin::StartPeer},
    {-9975, L"stopPeer", &CWindowTestPlugin::StopPeer},
    {-9974, L"waitForId", &CWindowTestPlugin::WaitForId},
    {-9973, L"makeFile", &CWindowTestPlugin::MakeFile},
};

std::span<const omb::DispMember<CWindowTestPlugin>> CWindowTestPlugin::Members() noexcept {
  return kMembers;
}

}  // namespace

OMB_EXPORT_CREATE_INTERFACE {
  return omb::AnswerCreateInterface<CWindowTestPlugin>(iid, out, {L"wintest"});
}
