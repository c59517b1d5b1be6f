// Messages between windows: the block format, the receiver's checks on what
// it maps, and delivery through real windows and shared memory, within this
// process and to a second process (tests/support/msgpeer); unique windows.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "app/plugins/window/msg_dispatch.h"
#include "sdk/dispatch.h"
#include "tests/unit/core/recording_dispatch.h"

// Allocations of this size and more fail while a test sets it, as they do
// when memory runs out.
std::atomic<size_t> g_failAllocationsFrom{SIZE_MAX};

void* operator new(std::size_t size) {
  if (size >= g_failAllocationsFrom.load()) throw std::bad_alloc();
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

using namespace std::string_literals;

// ---------------------------------------------------------------------------
// Helpers

BSTR Keep(const std::wstring& s) {
  static std::vector<omb::unique_bstr> strings;
  strings.emplace_back(SysAllocStringLen(s.data(), static_cast<UINT>(s.size())));
  return strings.back().get();
}
VARIANT Str(const std::wstring& s) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = Keep(s);
  return v;
}
VARIANT Obj(IDispatch* d) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_DISPATCH;
  v.pdispVal = d;
  return v;
}
VARIANT Int(LONG n) {
  VARIANT v;
  omb::SetI4(&v, n);
  return v;
}

HRESULT Call(IDispatch* obj, const wchar_t* name, std::vector<VARIANT> args, VARIANT* result,
             WORD flags = DISPATCH_METHOD | DISPATCH_PROPERTYGET) {
  DISPID id = 0;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  OMB_RETURN_IF_FAILED(obj->GetIDsOfNames(IID_NULL, names, 1, 0, &id));
  std::vector<VARIANT> reversed(args.rbegin(), args.rend());
  DISPID put = DISPID_PROPERTYPUT;
  const bool isPut = (flags & DISPATCH_PROPERTYPUT) != 0;
  DISPPARAMS params = {reversed.data(), isPut ? &put : nullptr, static_cast<UINT>(reversed.size()),
                       isPut ? 1u : 0u};
  return obj->Invoke(id, IID_NULL, 0, flags, &params, result, nullptr, nullptr);
}

bool CallBool(IDispatch* obj, const wchar_t* name, std::vector<VARIANT> args) {
  omb::unique_variant result;
  EXPECT_EQ(Call(obj, name, std::move(args), result.put()), S_OK) << name;
  return omb::IsTrue(*result);
}

void SetId(IDispatch* msg, const std::wstring& id) {
  EXPECT_EQ(Call(msg, L"uniqueID", {Str(id)}, nullptr, DISPATCH_PROPERTYPUT), S_OK);
}

LRESULT CALLBACK FrameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
  if (message == omb::MSG_DELIVER) return omb::DeliverMessage(window, wParam, lParam);
  if (message == omb::MSG_SHOW_WINDOW) {
    omb::OnShowWindowMessage(window, lParam);
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

// A hidden top-level frame that receives the private messages, with its
// message object.
struct Frame {
  HWND window = nullptr;
  ComPtr<IDispatch> msg;

  Frame() {
    static const ATOM atom = [] {
      WNDCLASSW wc{};
      wc.lpfnWndProc = FrameProc;
      wc.hInstance = GetModuleHandleW(nullptr);
      wc.lpszClassName = L"OmbrelMessagingTestFrame";
      return RegisterClassW(&wc);
    }();
    window = CreateWindowExW(0, MAKEINTATOM(atom), L"frame", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                             nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    EXPECT_TRUE(window);
    EXPECT_EQ(omb::CreateMsgDispatch(window, &msg), S_OK);
  }
  ~Frame() {
    omb::ReleaseFrameMessages(window);
    DestroyWindow(window);
  }
};

// A handler that records each call's arguments in script order as
// "type:text", strings at their full length (NULs included).
class Handler : public omb::ComObject<Handler, omb::InvokeOnly> {
 public:
  struct Call {
    DISPID id = 0;
    LCID lcid = 0;
    std::vector<std::wstring> args;
  };
  std::vector<Call> calls;

  STDMETHODIMP Invoke(DISPID id, REFIID, LCID lcid, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                      UINT*) noexcept override {
    Call call{id, lcid, {}};
    for (UINT i = params->cArgs; i-- > 0;) {
      const VARIANT& v = params->rgvarg[i];
      std::wstring text = std::to_wstring(v.vt) + L":";
      if (v.vt == VT_BSTR) text.append(v.bstrVal, SysStringLen(v.bstrVal));
      else if (v.vt == VT_I4) text += std::to_wstring(v.lVal);
      call.args.push_back(text);
    }
    calls.push_back(std::move(call));
    return S_OK;
  }
};

std::wstring Arg(const Handler::Call& call, size_t i) { return call.args.at(i); }

// ---------------------------------------------------------------------------
// The block

TEST(MessageBlock, NameAndPayloadRoundTripWithEmbeddedNuls) {
  const std::wstring payload = L"a\0b\0"s;
  std::vector<wchar_t> block;
  ASSERT_EQ(omb::BuildMessageBlock(L"greet", 5, payload.data(), payload.size(), &block), S_OK);
  EXPECT_EQ(block.size() * 2, 2 * (5 + payload.size()) + 4);
  EXPECT_EQ(block[5], L'\0');
  EXPECT_EQ(block.back(), L'\0');

  std::wstring name, read;
  ASSERT_EQ(omb::ParseMessageBlock(block.data(), block.size() * 2, &name, &read), S_OK);
  EXPECT_EQ(name, L"greet");
  EXPECT_EQ(read, payload);

  ASSERT_EQ(omb::BuildMessageBlock(L"x", 1, nullptr, 0, &block), S_OK);
  EXPECT_EQ(block, (std::vector<wchar_t>{L'x', 0, 0}));
  ASSERT_EQ(omb::ParseMessageBlock(block.data(), block.size() * 2, &name, &read), S_OK);
  EXPECT_EQ(read, L"");
}

TEST(MessageBlock, NameCarriesSenderAndReceiverInHexadecimal) {
  EXPECT_EQ(omb::MessageBlockName(0x1A2B, reinterpret_cast<HWND>(0x5C0DE)),
            L"Ombrel_MsgMap_00001A2B_0005C0DE");
}

// The parser must stay inside the block: it is put right before a page that
// cannot be read, so any read past its end faults.
TEST(MessageBlock, MalformedBlocksAreRefusedWithoutReadingPastThem) {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  auto* pages = static_cast<BYTE*>(
      VirtualAlloc(nullptr, 2 * info.dwPageSize, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  ASSERT_TRUE(pages);
  DWORD old = 0;
  ASSERT_TRUE(VirtualProtect(pages + info.dwPageSize, info.dwPageSize, PAGE_NOACCESS, &old));
  auto placed = [&](const std::wstring& text) {
    BYTE* at = pages + info.dwPageSize - text.size() * 2;
    memcpy(at, text.data(), text.size() * 2);
    return at;
  };
  std::wstring name, payload;
  EXPECT_EQ(omb::ParseMessageBlock(placed(L"nameWithoutEnd"), 28, &name, &payload), E_FAIL);
  EXPECT_EQ(omb::ParseMessageBlock(placed(L"\0\0"s), 4, &name, &payload), E_FAIL);  // empty name
  EXPECT_EQ(omb::ParseMessageBlock(placed(L"a"), 2, &name, &payload), E_FAIL);      // below 4
  EXPECT_EQ(omb::ParseMessageBlock(placed(L"ab\0\0"s), 7, &name, &payload), E_FAIL);  // odd
  // A name ended by the block's last NUL: no payload.
  EXPECT_EQ(omb::ParseMessageBlock(placed(L"ab\0"s), 6, &name, &payload), S_OK);
  EXPECT_EQ(name, L"ab");
  EXPECT_EQ(payload, L"");
  VirtualFree(pages, 0, MEM_RELEASE);
}

// ---------------------------------------------------------------------------
// Delivery in one process

TEST(Messaging, SendReachesEveryWindowWithTheIdWithPayloadAndContext) {
  Frame a, b;
  auto handlerA = New<Handler>();
  auto handlerB = New<Handler>();
  SetId(a.msg.Get(), L"group");
  SetId(b.msg.Get(), L"group");
  ASSERT_TRUE(CallBool(a.msg.Get(), L"registerMsg", {Str(L"note"), Obj(handlerA.Get()), Int(7)}));
  ASSERT_TRUE(CallBool(b.msg.Get(), L"registerMsg", {Str(L"note"), Obj(handlerB.Get())}));

  // The sender's own window is a receiver too.
  EXPECT_TRUE(CallBool(a.msg.Get(), L"sendMsg", {Str(L"group"), Str(L"note"), Str(L"x\0y"s)}));
  ASSERT_EQ(handlerA->calls.size(), 1u);
  EXPECT_EQ(handlerA->calls[0].id, DISPID_VALUE);
  EXPECT_EQ(handlerA->calls[0].lcid, 0x0400u);
  EXPECT_EQ(Arg(handlerA->calls[0], 0), L"8:x\0y"s);
  EXPECT_EQ(Arg(handlerA->calls[0], 1), L"3:7");
  ASSERT_EQ(handlerB->calls.size(), 1u);
  EXPECT_EQ(Arg(handlerB->calls[0], 0), L"8:x\0y"s);
  EXPECT_EQ(Arg(handlerB->calls[0], 1), L"0:");

  // Without a payload the handler gets an empty string; numbers become text.
  EXPECT_TRUE(CallBool(a.msg.Get(), L"sendMsg", {Str(L"group"), Str(L"note")}));
  EXPECT_EQ(Arg(handlerB->calls.at(1), 0), L"8:");
  EXPECT_TRUE(CallBool(a.msg.Get(), L"sendMsg", {Str(L"group"), Str(L"note"), Int(12)}));
  EXPECT_EQ(Arg(handlerB->calls.at(2), 0), L"8:12");

  EXPECT_FALSE(CallBool(a.msg.Get(), L"sendMsg", {Str(L"nobody"), Str(L"note")}));
  // Names match case-sensitively: a receiver is found, no handler runs.
  EXPECT_TRUE(CallBool(a.msg.Get(), L"sendMsg", {Str(L"group"), Str(L"NOTE")}));
  EXPECT_EQ(handlerB->calls.size(), 3u);
}

TEST(Messaging, ABlockThatCannotBeAllocatedFailsThatDeliveryOnly) {
  Frame a;
  auto handler = New<Handler>();
  SetId(a.msg.Get(), L"roomless");
  ASSERT_TRUE(CallBool(a.msg.Get(), L"registerMsg", {Str(L"big"), Obj(handler.Get())}));
  std::vector<VARIANT> args = {Str(L"roomless"), Str(L"big"), Str(std::wstring(1 << 20, L'x'))};
  omb::unique_variant result;
  g_failAllocationsFrom = 1 << 20;  // the block needs about 2 MB
  const HRESULT hr = Call(a.msg.Get(), L"sendMsg", std::move(args), result.put());
  g_failAllocationsFrom = SIZE_MAX;
  EXPECT_EQ(hr, S_OK);  // no script error
  EXPECT_TRUE(omb::IsTrue(*result));  // a receiver was found
  EXPECT_TRUE(handler->calls.empty());
}

TEST(Messaging, RegistrationKeepsTheFirstHandlerAndIdsAccumulate) {
  Frame a;
  auto first = New<Handler>();
  auto second = New<Handler>();
  ASSERT_TRUE(CallBool(a.msg.Get(), L"registerMsg", {Str(L"m"), Obj(first.Get())}));
  EXPECT_FALSE(CallBool(a.msg.Get(), L"registerMsg", {Str(L"m"), Obj(second.Get())}));
  SetId(a.msg.Get(), L"one");
  SetId(a.msg.Get(), L"two");
  omb::unique_variant id;
  ASSERT_EQ(Call(a.msg.Get(), L"uniqueID", {}, id.put(), DISPATCH_PROPERTYGET), S_OK);
  EXPECT_STREQ(id->bstrVal, L"two");

  EXPECT_TRUE(CallBool(a.msg.Get(), L"sendMsg", {Str(L"one"), Str(L"m")}));
  EXPECT_TRUE(CallBool(a.msg.Get(), L"sendMsg", {Str(L"two"), Str(L"m")}));
  EXPECT_EQ(first->calls.size(), 2u);
  EXPECT_TRUE(second->calls.empty());

  EXPECT_TRUE(CallBool(a.msg.Get(), L"unregisterMsg", {Str(L"m")}));
  EXPECT_TRUE(CallBool(a.msg.Get(), L"unregisterMsg", {Str(L"m")}));
  EXPECT_TRUE(CallBool(a.msg.Get(), L"sendMsg", {Str(L"one"), Str(L"m")}));
  EXPECT_EQ(first->calls.size(), 2u);
  ASSERT_TRUE(CallBool(a.msg.Get(), L"registerMsg", {Str(L"m"), Obj(second.Get())}));
}

TEST(Messaging, CallKindsArgumentsAndAReleasedFrame) {
  auto fn = New<Handler>();
  omb::unique_variant result;
  ComPtr<IDispatch> orphan;
  {
    Frame a;
    EXPECT_EQ(Call(a.msg.Get(), L"registerMsg", {Str(L"m")}, result.put()), E_NOTIMPL);
    EXPECT_EQ(Call(a.msg.Get(), L"registerMsg", {Int(1), Obj(fn.Get())}, result.put()), E_INVALIDARG);
    EXPECT_EQ(Call(a.msg.Get(), L"registerMsg", {Str(L"m"), Str(L"f")}, result.put()), E_INVALIDARG);
    EXPECT_EQ(Call(a.msg.Get(), L"unregisterMsg", {Int(1)}, result.put()), E_INVALIDARG);
    EXPECT_EQ(Call(a.msg.Get(), L"sendMsg", {Str(L"x")}, result.put()), E_NOTIMPL);
    EXPECT_EQ(Call(a.msg.Get(), L"uniqueID", {}, result.put(), DISPATCH_METHOD), E_NOTIMPL);
    EXPECT_EQ(Call(a.msg.Get(), L"sendMsg", {Str(L"x"), Str(L"y")}, result.put(), DISPATCH_PROPERTYGET),
              E_NOTIMPL);
    EXPECT_EQ(Call(a.msg.Get(), L"SendMsg", {}, result.put()), DISP_E_UNKNOWNNAME);
    orphan = a.msg;
  }
  // The frame is gone; the object script still holds refuses every call.
  EXPECT_EQ(Call(orphan.Get(), L"uniqueID", {}, result.put(), DISPATCH_PROPERTYGET), E_FAIL);
}

TEST(Messaging, ReceiverRefusesBlocksItCannotTrust) {
  Frame a;
  auto fn = New<Handler>();
  ASSERT_TRUE(CallBool(a.msg.Get(), L"registerMsg", {Str(L"m"), Obj(fn.Get())}));
  const DWORD pid = GetCurrentProcessId();
  auto deliver = [&](const std::wstring& content, DWORD claimed) {
    omb::unique_handle mapping(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                                  static_cast<DWORD>(content.size() * 2),
                                                  omb::MessageBlockName(pid, a.window).c_str()));
    EXPECT_TRUE(mapping);
    omb::unique_mapview view(MapViewOfFile(mapping.get(), FILE_MAP_WRITE, 0, 0, 0));
    memcpy(view.get(), content.data(), content.size() * 2);
    return static_cast<HRESULT>(SendMessageW(a.window, omb::MSG_DELIVER, pid, claimed));
  };
  EXPECT_EQ(deliver(L"m\0p\0"s, 8), S_OK);
  ASSERT_EQ(fn->calls.size(), 1u);
  EXPECT_EQ(Arg(fn->calls[0], 0), L"8:p");
  // A page full of name characters without a NUL, sized to the whole page.
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  EXPECT_EQ(deliver(std::wstring(info.dwPageSize / 2, L'm'), info.dwPageSize), E_FAIL);
  // A size beyond the block and its page.
  EXPECT_EQ(deliver(L"m\0p\0"s, 4 * info.dwPageSize), E_FAIL);
  EXPECT_EQ(deliver(L"m\0p\0"s, 0), E_FAIL);
  EXPECT_EQ(deliver(L"m\0p\0"s, 7), E_FAIL);
  EXPECT_EQ(deliver(L"zz\0\0"s, 8), E_FAIL);  // not registered
  // No block at all for this sender.
  EXPECT_EQ(SendMessageW(a.window, omb::MSG_DELIVER, pid + 1, 8), E_FAIL);
  EXPECT_EQ(fn->calls.size(), 1u);
}

// ---------------------------------------------------------------------------
// Unique windows

TEST(UniqueWindow, SecondClaimFindsAndShowsTheFirstHolder) {
  Frame a, b;
  const std::wstring name = L"UniqueTest" + std::to_wstring(GetCurrentProcessId());
  bool unique = false, shown = true;
  ASSERT_EQ(omb::IsUniqueWindow(a.window, name.c_str(), &unique), S_OK);
  EXPECT_TRUE(unique);
  ASSERT_EQ(omb::IsUniqueWindow(b.window, name.c_str(), &unique), S_OK);
  EXPECT_FALSE(unique);

  ASSERT_EQ(omb::ShowExistedWindow(a.window, &shown), S_OK);
  EXPECT_FALSE(shown);  // the holder itself has nothing to show
  EXPECT_FALSE(IsWindowVisible(a.window));
  ASSERT_EQ(omb::ShowExistedWindow(b.window, &shown), S_OK);
  EXPECT_TRUE(shown);
  EXPECT_TRUE(IsWindowVisible(a.window));

  // A new claim in the first window frees the name for the second... once
  // the second window's handle to it is closed too.
  ASSERT_EQ(omb::IsUniqueWindow(a.window, (name + L"b").c_str(), &unique), S_OK);
  EXPECT_TRUE(unique);
  omb::ReleaseFrameMessages(b.window);
  Frame c;
  ASSERT_EQ(omb::IsUniqueWindow(c.window, name.c_str(), &unique), S_OK);
  EXPECT_TRUE(unique);
  EXPECT_EQ(omb::IsUniqueWindow(c.window, L"", &unique), E_INVALIDARG);
}

// ---------------------------------------------------------------------------
// Another process

std::wstring PeerPath() {
  const wchar_t* dir = _wgetenv(L"OMBREL_SUPPORT_DIR");
  return std::wstring(dir ? dir : L".") + L"\\msgpeer.exe";
}

bool WindowCarries(const std::wstring& id) {
  std::pair<const wchar_t*, bool> search{id.c_str(), false};
  EnumWindows(
      [](HWND w, LPARAM p) noexcept -> BOOL {
        auto* s = reinterpret_cast<std::pair<const wchar_t*, bool>*>(p);
        if (reinterpret_cast<ULONG_PTR>(GetPropW(w, s->first)) != 0x10102) return TRUE;
        s->second = true;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.second;
}

void Pump(DWORD ms) {
  const ULONGLONG end = GetTickCount64() + ms;
  MSG msg;
  while (GetTickCount64() < end) {
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    Sleep(5);
  }
}

TEST(Messaging, AnotherProcessReceivesAndAnswersWithinTheSend) {
  const std::wstring tag = std::to_wstring(GetCurrentProcessId());
  const std::wstring shared = L"both" + tag, mine = L"tester" + tag, peerId = L"peer" + tag;
  std::wstring command = L"\"" + PeerPath() + L"\" " + mine + L" peerctx " + shared + L" " + peerId;
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi{};
  if (GetFileAttributesW(PeerPath().c_str()) == INVALID_FILE_ATTRIBUTES)
    GTEST_SKIP() << "msgpeer.exe not built";
  ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                             &si, &pi));
  omb::unique_handle process(pi.hProcess), thread(pi.hThread);
  for (int i = 0; i < 500 && !WindowCarries(peerId); ++i) Pump(20);
  ASSERT_TRUE(WindowCarries(peerId));

  Frame a;
  auto pong = New<Handler>();
  auto ping = New<Handler>();
  SetId(a.msg.Get(), mine);
  SetId(a.msg.Get(), shared);
  ASSERT_TRUE(CallBool(a.msg.Get(), L"registerMsg", {Str(L"pong"), Obj(pong.Get())}));
  ASSERT_TRUE(CallBool(a.msg.Get(), L"registerMsg", {Str(L"ping"), Obj(ping.Get()), Str(L"here")}));

  // Both windows carry the shared id: this one and the peer, whose handler
  // sends "pong" back while this thread waits in the send.
  EXPECT_TRUE(CallBool(a.msg.Get(), L"sendMsg", {Str(shared), Str(L"ping"), Str(L"hi\0there"s)}));
  ASSERT_EQ(ping->calls.size(), 1u);
  EXPECT_EQ(Arg(ping->calls[0], 0), L"8:hi\0there"s);
  EXPECT_EQ(Arg(ping->calls[0], 1), L"8:here");
  ASSERT_EQ(pong->calls.size(), 1u);
  EXPECT_EQ(Arg(pong->calls[0], 0), L"8:hi\0there|peerctx"s);

  EXPECT_TRUE(CallBool(a.msg.Get(), L"sendMsg", {Str(peerId), Str(L"quit")}));
  EXPECT_EQ(WaitForSingleObject(process.get(), 10000), WAIT_OBJECT_0);
  DWORD code = 1;
  GetExitCodeProcess(process.get(), &code);
  EXPECT_EQ(code, 0u);
}

}  // namespace
