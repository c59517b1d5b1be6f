// The host site's policies: keys it swallows, context menus, host flags,
// trust for every URL, the security-manager service and script errors.
#include <gtest/gtest.h>

#include <mshtmhst.h>

#include "app/core/browser_host.h"
#include "app/core/script_call.h"
#include "tests/unit/host/host_test_support.h"

namespace {

using omb::CWebBrowserHost;

constexpr GUID kCgidDocHostCommandHandler = {
    0xf38bc242, 0xb950, 0x11d1, {0x89, 0x18, 0x00, 0xc0, 0x4f, 0xc2, 0xc8, 0x36}};

// Sets the thread's Ctrl key state for GetKeyState while the object lives.
class CtrlKey {
 public:
  explicit CtrlKey(bool down) {
    GetKeyboardState(saved_);
    BYTE state[256];
    memcpy(state, saved_, sizeof(state));
    state[VK_CONTROL] = down ? 0x80 : 0;
    SetKeyboardState(state);
  }
  ~CtrlKey() { SetKeyboardState(saved_); }

 private:
  BYTE saved_[256];
};

TEST(SwallowedKeys, ReloadZoomAndLocationKeysNeedCtrlExceptF5) {
  for (WPARAM key : {WPARAM('L'), WPARAM('O'), WPARAM('M'), WPARAM('0'), WPARAM(VK_OEM_MINUS),
                     WPARAM(VK_OEM_PLUS)}) {
    EXPECT_TRUE(omb::IsSwallowedKey(WM_KEYDOWN, key, true)) << key;
    EXPECT_FALSE(omb::IsSwallowedKey(WM_KEYDOWN, key, false)) << key;
  }
  EXPECT_TRUE(omb::IsSwallowedKey(WM_KEYDOWN, VK_F5, false));
  EXPECT_TRUE(omb::IsSwallowedKey(WM_KEYDOWN, VK_F5, true));
  // Copy and paste reach the control; only key-down messages count.
  EXPECT_FALSE(omb::IsSwallowedKey(WM_KEYDOWN, 'C', true));
  EXPECT_FALSE(omb::IsSwallowedKey(WM_KEYDOWN, 'V', true));
  EXPECT_FALSE(omb::IsSwallowedKey(WM_KEYUP, VK_F5, false));
  EXPECT_FALSE(omb::IsSwallowedKey(WM_SYSKEYDOWN, VK_F5, false));
}

TEST(SwallowedKeys, TheSiteReadsTheCtrlKeyOfTheThread) {
  auto host = omb::Make<CWebBrowserHost>();
  IDocHostUIHandler* ui = host.Get();
  MSG ctrlL = {nullptr, WM_KEYDOWN, 'L', 0, 0, {0, 0}};
  MSG f5 = {nullptr, WM_KEYDOWN, VK_F5, 0, 0, {0, 0}};
  {
    CtrlKey ctrl(true);
    EXPECT_EQ(S_OK, ui->TranslateAccelerator(&ctrlL, nullptr, 0));
  }
  {
    CtrlKey ctrl(false);
    EXPECT_EQ(S_FALSE, ui->TranslateAccelerator(&ctrlL, nullptr, 0));
    EXPECT_EQ(S_OK, ui->TranslateAccelerator(&f5, nullptr, 0));
  }
  MSG character = {nullptr, WM_CHAR, 'L', 0, 0, {0, 0}};
  EXPECT_EQ(S_FALSE, ui->TranslateAccelerator(&character, nullptr, 0));
}

TEST(ContextMenu, OnlyTextFieldsShowTheControlsMenu) {
  EXPECT_TRUE(omb::ShowsContextMenuFor(L"INPUT"));
  EXPECT_TRUE(omb::ShowsContextMenuFor(L"TEXTAREA"));
  EXPECT_FALSE(omb::ShowsContextMenuFor(L"input"));
  EXPECT_FALSE(omb::ShowsContextMenuFor(L"DIV"));
  EXPECT_FALSE(omb::ShowsContextMenuFor(L"INPUTS"));
  EXPECT_FALSE(omb::ShowsContextMenuFor(nullptr));
  // Without an element nothing is shown.
  auto host = omb::Make<CWebBrowserHost>();
  POINT at = {1, 1};
  EXPECT_EQ(S_OK, host->ShowContextMenu(CONTEXT_MENU_DEFAULT, &at, nullptr, nullptr));
}

TEST(HostInfo, AddsDialogNoHelpMenuAndNoBorderFlagsOnly) {
  auto host = omb::Make<CWebBrowserHost>();
  DOCHOSTUIINFO info = {};
  info.cbSize = sizeof(info);
  info.dwFlags = DOCHOSTUIFLAG_SCROLL_NO;
  info.dwDoubleClick = DOCHOSTUIDBLCLK_SHOWCODE;
  ASSERT_EQ(S_OK, host->GetHostInfo(&info));
  EXPECT_EQ(DWORD(DOCHOSTUIFLAG_SCROLL_NO | 0x7), info.dwFlags);
  EXPECT_EQ(DWORD(DOCHOSTUIDBLCLK_SHOWCODE), info.dwDoubleClick);
  EXPECT_EQ(E_POINTER, host->GetHostInfo(nullptr));
}

TEST(Identity, OneObjectAnswersEverySiteInterface) {
  auto host = omb::Make<CWebBrowserHost>();
  ComPtr<IUnknown> identity;
  ASSERT_EQ(S_OK, host->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)));
  for (const IID* iid : {&IID_IOleClientSite, &IID_IOleInPlaceSite, &IID_IOleInPlaceFrame,
                         &IID_IOleInPlaceUIWindow, &IID_IOleWindow, &IID_IOleControlSite,
                         &IID_IServiceProvider, &IID_IDocHostUIHandler, &IID_IDropTarget,
                         &IID_IOleCommandTarget, &IID_IDispatch, &IID_IInternetSecurityManager,
                         &__uuidof(IHTMLChangeSink), &__uuidof(omb::IWebbrowserHost)}) {
    ComPtr<IUnknown> asked, back;
    ASSERT_EQ(S_OK, host->QueryInterface(*iid, reinterpret_cast<void**>(&asked)));
    ASSERT_EQ(S_OK, asked->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&back)));
    EXPECT_EQ(identity.Get(), back.Get());
  }
  ComPtr<IUnknown> none;
  EXPECT_EQ(E_NOINTERFACE, host->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&none)));

  ComPtr<IDispatch> external;
  ASSERT_EQ(S_OK, host->GetExternal(&external));
  ComPtr<IDropTarget> target;
  ASSERT_EQ(S_OK, host->GetDropTarget(nullptr, &target));
  ComPtr<IUnknown> a, b;
  external.As(&a);
  target.As(&b);
  EXPECT_EQ(identity.Get(), a.Get());
  EXPECT_EQ(identity.Get(), b.Get());
  EXPECT_EQ(E_POINTER, host->GetExternal(nullptr));
  EXPECT_EQ(E_POINTER, host->GetDropTarget(nullptr, nullptr));
}

TEST(Security, EveryUrlIsLocalMachineAndEveryActionAllowed) {
  auto host = omb::Make<CWebBrowserHost>();
  IInternetSecurityManager* security = host.Get();
  DWORD zone = 99;
  EXPECT_EQ(S_OK, security->MapUrlToZone(L"http://example.invalid/", &zone, 0));
  EXPECT_EQ(DWORD(URLZONE_LOCAL_MACHINE), zone);
  EXPECT_EQ(E_INVALIDARG, security->MapUrlToZone(L"x", nullptr, 0));

  DWORD policy = 0xFFFFFFFF;
  EXPECT_EQ(S_OK, security->ProcessUrlAction(L"file:///C:/a.html", URLACTION_SCRIPT_RUN,
                                             reinterpret_cast<BYTE*>(&policy), sizeof(policy),
                                             nullptr, 0, 0, 0));
  EXPECT_EQ(DWORD(URLPOLICY_ALLOW), policy);
  // A buffer too small for the 32-bit policy is not written.
  BYTE small[2] = {0xAB, 0xCD};
  EXPECT_EQ(E_INVALIDARG, security->ProcessUrlAction(L"x", URLACTION_SCRIPT_RUN, small, 2, nullptr,
                                                     0, 0, 0));
  EXPECT_EQ(0xAB, small[0]);

  BYTE id[64];
  DWORD idSize = sizeof(id);
  EXPECT_EQ(INET_E_DEFAULT_ACTION, security->GetSecurityId(L"http://a/", id, &idSize, 0));
}

TEST(Services, TheSecurityManagerIsOfferedOnlyUnderItsOwnIdentifiers) {
  auto host = omb::Make<CWebBrowserHost>();
  IServiceProvider* services = host.Get();
  ComPtr<IInternetSecurityManager> manager;
  ASSERT_EQ(S_OK, services->QueryService(IID_IInternetSecurityManager, IID_IInternetSecurityManager,
                                         reinterpret_cast<void**>(&manager)));
  EXPECT_EQ(static_cast<IInternetSecurityManager*>(host.Get()), manager.Get());
  EXPECT_EQ(E_INVALIDARG,
            services->QueryService(IID_IInternetSecurityManager, IID_IInternetSecurityManager, nullptr));
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(E_NOINTERFACE, services->QueryService(IID_IInternetSecurityManager, IID_IUnknown, &out));
  EXPECT_EQ(nullptr, out);
  EXPECT_EQ(E_NOINTERFACE, services->QueryService(IID_IOleClientSite, IID_IOleClientSite, &out));
}

class ScriptErrors : public ::testing::Test {
 protected:
  void SetUp() override { host = omb::Make<CWebBrowserHost>(); }
  IOleCommandTarget* Commands() { return host.Get(); }
  HRESULT ShowError(VARIANT* out) {
    return Commands()->Exec(&kCgidDocHostCommandHandler, OLECMDID_SHOWSCRIPTERROR, 0, nullptr, out);
  }
  void SetShowJsError(const VARIANT& value) {
    ComPtr<IDispatch> console;
    ASSERT_EQ(S_OK, host->QueryPlugin(L"console", &console));
    DISPID id = 0;
    ASSERT_EQ(S_OK, hosttest::IdOf(console.Get(), L"showJsError", &id));
    ASSERT_EQ(S_OK, hosttest::Call(console.Get(), id, DISPATCH_PROPERTYPUT, {value}, nullptr));
  }
  ComPtr<CWebBrowserHost> host;
};

TEST_F(ScriptErrors, OtherCommandsAndGroupsAreRefused) {
  EXPECT_EQ(OLECMDERR_E_NOTSUPPORTED, Commands()->Exec(nullptr, OLECMDID_SHOWSCRIPTERROR, 0, nullptr, nullptr));
  EXPECT_EQ(OLECMDERR_E_UNKNOWNGROUP, Commands()->Exec(&GUID_NULL, OLECMDID_SHOWSCRIPTERROR, 0, nullptr, nullptr));
  EXPECT_EQ(OLECMDERR_E_UNKNOWNGROUP, Commands()->Exec(&kCgidDocHostCommandHandler, OLECMDID_PRINT, 0, nullptr, nullptr));
  OLECMD command = {OLECMDID_SHOWSCRIPTERROR, 0};
  EXPECT_EQ(OLECMDERR_E_UNKNOWNGROUP, Commands()->QueryStatus(&kCgidDocHostCommandHandler, 1, &command, nullptr));
  EXPECT_EQ(OLECMDERR_E_NOTSUPPORTED, Commands()->QueryStatus(nullptr, 1, &command, nullptr));
}

TEST_F(ScriptErrors, TheControlsDialogShowsUnlessShowJsErrorIsFalse) {
  // Never set: the control shows its dialog.
  EXPECT_EQ(E_NOTIMPL, ShowError(nullptr));
  SetShowJsError(ArgBool(true));
  EXPECT_EQ(E_NOTIMPL, ShowError(nullptr));
  SetShowJsError(hosttest::I4(0));  // not the boolean false
  EXPECT_EQ(E_NOTIMPL, ShowError(nullptr));

  SetShowJsError(ArgBool(false));
  omb::unique_variant keepRunning;
  EXPECT_EQ(S_OK, ShowError(keepRunning.get()));
  ASSERT_EQ(VT_BOOL, keepRunning.vt());
  EXPECT_EQ(VARIANT_TRUE, keepRunning->boolVal);
  EXPECT_EQ(S_OK, ShowError(nullptr));
}

TEST(ScriptErrorDecision, WithoutAConsoleTheErrorIsSwallowed) {
  EXPECT_FALSE(omb::ShowsScriptErrorDialog(nullptr));
}

TEST(DropTarget, NothingIsAcceptedWithoutAPageOrADropZone) {
  auto host = omb::Make<CWebBrowserHost>();
  DWORD effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
  EXPECT_EQ(S_OK, host->DragEnter(nullptr, 0, POINTL{5, 5}, &effect));
  EXPECT_EQ(DWORD(DROPEFFECT_NONE), effect);
  effect = DROPEFFECT_COPY;
  EXPECT_EQ(S_OK, host->DragOver(0, POINTL{5, 5}, &effect));
  EXPECT_EQ(DWORD(DROPEFFECT_NONE), effect);
  effect = DROPEFFECT_COPY;
  EXPECT_EQ(S_OK, host->Drop(nullptr, 0, POINTL{5, 5}, &effect));
  EXPECT_EQ(DWORD(DROPEFFECT_NONE), effect);
  EXPECT_EQ(E_NOTIMPL, host->DragLeave());
}

}  // namespace
