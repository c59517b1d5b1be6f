// A second process for messaging tests: a hidden frame window with a message
// object that answers to the ids given on the command line.
//
//   msgpeer <reply id> <context> <id>...
//
// A "ping" message is answered by sending "pong" to <reply id> with the
// payload "<received payload>|<context>"; "quit" ends the program. For tests
// of slow and hung receivers: "slow" (payload: milliseconds) waits that long
// inside its handler and then answers like "ping"; "freeze" (payload:
// milliseconds) returns at once and then stops taking messages for that long;
// "claim" (payload: a name) claims the name as a unique window.
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <utility>

#include "app/plugins/window/msg_dispatch.h"
#include "sdk/com.h"
#include "sdk/dispatch.h"

namespace {

omb::ComPtr<IDispatch> g_msg;
std::wstring g_replyId;
HWND g_frame = nullptr;
DWORD g_freezeMs = 0;

enum class Kind { kPing, kQuit, kSlow, kFreeze, kClaim };

HRESULT CallMember(IDispatch* obj, const wchar_t* name, WORD flags, VARIANT* args, UINT count,
                   DISPID* named = nullptr) {
  DISPID id = 0;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  OMB_RETURN_IF_FAILED(obj->GetIDsOfNames(IID_NULL, names, 1, 0, &id));
  DISPPARAMS params = {args, named, count, named ? 1u : 0u};
  omb::unique_variant result;
  return obj->Invoke(id, IID_NULL, 0, flags, &params, result.put(), nullptr, nullptr);
}

VARIANT Text(BSTR s) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = s;
  return v;
}

// A handler function: called as handler(payload, context).
class Handler : public omb::ComObject<Handler, omb::InvokeOnly> {
 public:
  explicit Handler(Kind kind) : kind_(kind) {}
  STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                      UINT*) noexcept override {
    if (kind_ == Kind::kQuit) {
      PostQuitMessage(0);
      return S_OK;
    }
    if (params->cArgs != 2 || params->rgvarg[1].vt != VT_BSTR || params->rgvarg[0].vt != VT_BSTR)
      return E_INVALIDARG;
    const BSTR payload = params->rgvarg[1].bstrVal;
    if (kind_ == Kind::kFreeze) {
      g_freezeMs = static_cast<DWORD>(_wtoi(payload));
      return S_OK;
    }
    if (kind_ == Kind::kClaim) {
      bool unique = false;
      return omb::IsUniqueWindow(g_frame, payload, &unique);
    }
    if (kind_ == Kind::kSlow) Sleep(static_cast<DWORD>(_wtoi(payload)));
    const BSTR context = params->rgvarg[0].bstrVal;
    std::wstring reply(payload, SysStringLen(payload));
    reply += L"|";
    reply.append(context, SysStringLen(context));
    omb::unique_bstr target(SysAllocString(g_replyId.c_str()));
    omb::unique_bstr name(SysAllocString(L"pong"));
    omb::unique_bstr text(SysAllocStringLen(reply.data(), static_cast<UINT>(reply.size())));
    VARIANT args[] = {Text(text.get()), Text(name.get()), Text(target.get())};
    return CallMember(g_msg.Get(), L"sendMsg", DISPATCH_METHOD, args, 3);
  }

 private:
  Kind kind_;
};

LRESULT CALLBACK FrameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
  if (message == omb::MSG_DELIVER) return omb::DeliverMessage(window, wParam, lParam);
  return DefWindowProcW(window, message, wParam, lParam);
}

HRESULT Register(const wchar_t* name, Kind kind, const wchar_t* context) {
  omb::ComPtr<Handler> handler = omb::Make<Handler>(kind);
  omb::unique_bstr nameText(SysAllocString(name));
  omb::unique_bstr contextText(SysAllocString(context));
  VARIANT fn;
  omb::SetDispatch(&fn, handler.Get());
  VARIANT args[] = {Text(contextText.get()), fn, Text(nameText.get())};
  const HRESULT hr = CallMember(g_msg.Get(), L"registerMsg", DISPATCH_METHOD, args, 3);
  VariantClear(&fn);
  return hr;
}

}  // namespace

int main() {
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv || argc < 4) return 2;
  OleInitialize(nullptr);
  g_replyId = argv[1];

  WNDCLASSW wc{};
  wc.lpfnWndProc = FrameProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"OmbrelMsgPeer";
  RegisterClassW(&wc);
  HWND frame = CreateWindowExW(0, wc.lpszClassName, L"msgpeer", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                               nullptr, nullptr, wc.hInstance, nullptr);
  if (!frame || FAILED(omb::CreateMsgDispatch(frame, &g_msg))) return 3;
  g_frame = frame;
  if (FAILED(Register(L"ping", Kind::kPing, argv[2])) || FAILED(Register(L"quit", Kind::kQuit, L"")) ||
      FAILED(Register(L"slow", Kind::kSlow, argv[2])) ||
      FAILED(Register(L"freeze", Kind::kFreeze, L"")) || FAILED(Register(L"claim", Kind::kClaim, L"")))
    return 4;
  DISPID put = DISPID_PROPERTYPUT;
  for (int i = 3; i < argc; ++i) {
    omb::unique_bstr id(SysAllocString(argv[i]));
    VARIANT value = Text(id.get());
    if (FAILED(CallMember(g_msg.Get(), L"uniqueID", DISPATCH_PROPERTYPUT, &value, 1, &put))) return 5;
  }

  MSG msg;
  const ULONGLONG deadline = GetTickCount64() + 60000;
  while (GetTickCount64() < deadline) {
    if (MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT) != WAIT_OBJECT_0) continue;
    bool quit = false;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) quit = true;
      DispatchMessageW(&msg);
    }
    if (quit) break;
    // A hung peer: no message is taken, sent ones included.
    if (g_freezeMs) Sleep(std::exchange(g_freezeMs, 0));
  }
  omb::ReleaseFrameMessages(frame);
  g_msg = nullptr;
  DestroyWindow(frame);
  LocalFree(argv);
  return 0;
}
