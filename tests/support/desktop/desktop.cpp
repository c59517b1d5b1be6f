// "desktop": what end-to-end tests of the tray, hot keys and the mouse need
// from outside the page: messages to the frame as the shell would send them,
// the shell's view of the frame's tray icon, real key presses through the X
// server (xdotool), raw button input, and a window that records the button
// messages it receives.
#include <windows.h>
#include <shellapi.h>

#include <string>

#include "sdk/com.h"
#include "sdk/dispatch.h"
#include "sdk/omb.h"
#include "sdk/plugin_library.h"

namespace {

constexpr UINT kTrayIconId = 200;
std::wstring g_recorded;  // button messages the recorder received

LRESULT CALLBACK RecorderProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
  const wchar_t* name = nullptr;
  switch (message) {
    case WM_LBUTTONDOWN: name = L"ld"; break;
    case WM_LBUTTONUP: name = L"lu"; break;
    case WM_RBUTTONDOWN: name = L"rd"; break;
    case WM_RBUTTONUP: name = L"ru"; break;
    case WM_MBUTTONDOWN: name = L"md"; break;
    case WM_MBUTTONUP: name = L"mu"; break;
    case WM_MOUSEACTIVATE: return MA_NOACTIVATE;
    default: return DefWindowProcW(window, message, wParam, lParam);
  }
  g_recorded += std::wstring(g_recorded.empty() ? L"" : L" ") + name + L"@" +
                std::to_wstring(static_cast<short>(LOWORD(lParam))) + L"," +
                std::to_wstring(static_cast<short>(HIWORD(lParam)));
  return 0;
}

LONG Arg(const omb::DispArgs& args, UINT i) {
  LONG value = 0;
  args.Number(i, &value);
  return value;
}

class CDesktopPlugin : public omb::ComObject<CDesktopPlugin, OMB::IPluginImpl<CDesktopPlugin>,
                                             omb::DispatchTable<CDesktopPlugin>> {
 public:
  static constexpr const char* kClassName = "CDesktopPlugin";
  static std::span<const omb::DispMember<CDesktopPlugin>> Members() noexcept;

  STDMETHODIMP Initialize(OMB::ICore* core, IUnknown*) noexcept override {
    if (core) frame_ = core->GetWindowHandle();
    return S_OK;
  }

  // send(message, wParam, lParam) -> the frame's answer
  HRESULT Send(omb::DispCall& call) {
    return call.ReturnInt(static_cast<LONG>(SendMessageW(frame_, static_cast<UINT>(Arg(call.args, 0)),
                                                         static_cast<WPARAM>(Arg(call.args, 1)),
                                                         static_cast<LPARAM>(Arg(call.args, 2)))));
  }
  // broadcast(name): the registered message to every top-level window, as
  // the shell announces a new taskbar
  HRESULT Broadcast(omb::DispCall& call) {
    const wchar_t* name = L"";
    call.args.String(0, &name);
    DWORD_PTR answer = 0;
    SendMessageTimeoutW(HWND_BROADCAST, RegisterWindowMessageW(name), 0, 0, SMTO_ABORTIFHUNG, 5000,
                        &answer);
    return S_OK;
  }
  // trayShown() -> whether the shell shows the frame's icon
  HRESULT TrayShown(omb::DispCall& call) {
    NOTIFYICONDATAW record = Identity();
    return call.ReturnBool(Shell_NotifyIconW(NIM_MODIFY, &record) != FALSE);
  }
  // trayForget(): removes the frame's icon behind the plug-in's back, as a
  // taskbar that restarts forgets every icon
  HRESULT TrayForget(omb::DispCall& call) {
    NOTIFYICONDATAW record = Identity();
    return call.ReturnBool(Shell_NotifyIconW(NIM_DELETE, &record) != FALSE);
  }
  // keys(sequence) -> whether xdotool started: it gives the frame the X
  // keyboard focus, then presses the keys ("ctrl+alt+F5")
  HRESULT Keys(omb::DispCall& call) {
    const wchar_t* keys = L"";
    call.args.String(0, &keys);
    const auto xid = reinterpret_cast<ULONG_PTR>(GetPropW(frame_, L"__wine_x11_whole_window"));
    if (!xid) return call.ReturnBool(false);
    std::wstring command = L"/usr/bin/xdotool windowfocus --sync " + std::to_wstring(xid) +
                           L" key --clearmodifiers " + keys;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
      return call.ReturnBool(false);
    if (process.hThread) CloseHandle(process.hThread);
    if (process.hProcess) CloseHandle(process.hProcess);
    return call.ReturnBool(true);
  }
  // button(flags): one raw mouse input with these MOUSEEVENTF flags
  HRESULT Button(omb::DispCall& call) {
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = static_cast<DWORD>(Arg(call.args, 0));
    return call.ReturnBool(SendInput(1, &input, sizeof(input)) == 1);
  }
  // recorder(left, top, width, height): a top-most window at that screen
  // rectangle that records the button messages it receives
  HRESULT Recorder(omb::DispCall& call) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = RecorderProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"OmbrelTestRecorder";
    RegisterClassW(&windowClass);
    HWND window = CreateWindowExW(WS_EX_TOPMOST | WS_EX_NOACTIVATE, windowClass.lpszClassName, L"",
                                  WS_POPUP | WS_VISIBLE, Arg(call.args, 0), Arg(call.args, 1),
                                  Arg(call.args, 2), Arg(call.args, 3), nullptr, nullptr,
                                  windowClass.hInstance, nullptr);
    g_recorded.clear();
    return call.ReturnBool(window != nullptr);
  }
  // recorded() -> "ld@x,y lu@x,y ..." in client coordinates
  HRESULT Recorded(omb::DispCall& call) { return call.ReturnString(g_recorded.c_str()); }

 private:
  NOTIFYICONDATAW Identity() const {
    NOTIFYICONDATAW record{};
    record.cbSize = NOTIFYICONDATAW_V3_SIZE;
    record.hWnd = frame_;
    record.uID = kTrayIconId;
    return record;
  }

  HWND frame_ = nullptr;
};

const omb::DispMember<CDesktopPlugin> kMembers[] = {
    {-10000, L"send", &CDesktopPlugin::Send},
    {-9999, L"broadcast", &CDesktopPlugin::Broadcast},
    {-9998, L"trayShown", &CDesktopPlugin::TrayShown},
    {-9997, L"trayForget", &CDesktopPlugin::TrayForget},
    {-9996, L"keys", &CDesktopPlugin::Keys},
    {-9995, L"button", &CDesktopPlugin::Button},
    {-9994, L"recorder", &CDesktopPlugin::Recorder},
    {-9993, L"recorded", &CDesktopPlugin::Recorded},
};

std::span<const omb::DispMember<CDesktopPlugin>> CDesktopPlugin::Members() noexcept {
  return kMembers;
}

}  // namespace

OMB_EXPORT_CREATE_INTERFACE {
  return omb::AnswerCreateInterface<CDesktopPlugin>(iid, out, {L"desktop"});
}
