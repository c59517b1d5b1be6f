// The tray icon's record, and the plug-in's hook on a plain window: which
// notifications reach which function, and what is refused.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "app/plugins/tray/tray_plugin.h"
#include "tests/unit/core/recording_dispatch.h"
#include "tests/unit/input/input_test_support.h"
#include "tests/unit/stream/script_caller.h"

namespace {

using namespace scripttest;

TEST(TrayRecord, CarriesTheIconIdentityMessageAndTip) {
  HWND window = reinterpret_cast<HWND>(0x1234);
  HICON icon = reinterpret_cast<HICON>(0x5678);
  const NOTIFYICONDATAW record = omb::TrayRecord(window, icon, L"tip");
  EXPECT_EQ(record.cbSize, static_cast<DWORD>(NOTIFYICONDATAW_V3_SIZE));
  if (sizeof(void*) == 8) {
    EXPECT_EQ(record.cbSize, 968u);
  }
  EXPECT_EQ(record.hWnd, window);
  EXPECT_EQ(record.uID, 200u);
  EXPECT_EQ(record.uFlags, 7u);
  EXPECT_EQ(record.uCallbackMessage, 4024u);
  EXPECT_EQ(record.hIcon, icon);
  EXPECT_STREQ(record.szTip, L"tip");

  const std::wstring longest(127, L'x');
  EXPECT_EQ(omb::TrayRecord(window, icon, longest.c_str()).szTip, longest) << "127 characters fit whole";
  const std::wstring tooLong = longest + L"yz";
  EXPECT_EQ(omb::TrayRecord(window, icon, tooLong.c_str()).szTip, longest) << "longer tips are cut";
}

class TrayPlugin : public ::testing::Test {
 protected:
  void SetUp() override {
    frame_ = CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                             nullptr, nullptr);
    ASSERT_TRUE(frame_);
    plugin_ = omb::Make<omb::CTrayPlugin>();
    auto core = omb::Make<FakeCore>(frame_, L"Z:\\no such folder");
    EXPECT_EQ(plugin_->Initialize(core.Get(), nullptr), E_INVALIDARG) << "needs the browser too";
    ASSERT_EQ(plugin_->Initialize(core.Get(), core.Get()), S_OK);
  }
  void TearDown() override { DestroyWindow(frame_); }
  HRESULT Put(const wchar_t* name, VARIANT value) {
    return Invoke(plugin_.Get(), name, DISPATCH_PROPERTYPUT, {value}, nullptr);
  }
  void Notify(WPARAM id, LPARAM mouse) { EXPECT_EQ(SendMessageW(frame_, 4024, id, mouse), 0); }

  HWND frame_ = nullptr;
  ComPtr<omb::CTrayPlugin> plugin_;
  Strings s_;
};

TEST_F(TrayPlugin, RoutesTheIconsReleasesAndSwallowsTheRest) {
  Notify(200, WM_LBUTTONUP);  // no function yet: nothing to call
  auto click = New<RecordingDispatch>(), dbl = New<RecordingDispatch>(), right = New<RecordingDispatch>();
  ASSERT_EQ(Put(L"onClick", Obj(click.Get())), S_OK);
  ASSERT_EQ(Put(L"onDbClick", Obj(dbl.Get())), S_OK);
  ASSERT_EQ(Put(L"onRClick", Obj(right.Get())), S_OK);
  for (LPARAM mouse : {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_RBUTTONDOWN, WM_RBUTTONUP,
                       WM_MOUSEMOVE, WM_MBUTTONUP})
    Notify(200, mouse);
  Notify(201, WM_LBUTTONUP);  // another icon's
  EXPECT_EQ(click->calls.size(), 1u);
  EXPECT_EQ(dbl->calls.size(), 1u);
  ASSERT_EQ(right->calls.size(), 1u);
  EXPECT_TRUE(right->calls[0].args.empty()) << "called without arguments";
  EXPECT_EQ(right->calls[0].id, DISPID_VALUE);
}

TEST_F(TrayPlugin, RefusesWrongCallsAndIconsThatDoNotLoad) {
  EXPECT_EQ(Put(L"onClick", I4(5)), E_INVALIDARG);
  EXPECT_EQ(Call(plugin_.Get(), L"onClick", {}, nullptr), E_NOTIMPL) << "write only";
  EXPECT_EQ(Put(L"show", I4(1)), E_NOTIMPL) << "methods are only called";
  EXPECT_EQ(Call(plugin_.Get(), L"addTray", {}, nullptr), E_NOTIMPL);
  EXPECT_EQ(Call(plugin_.Get(), L"addTray", {s_(L"tip"), I4(1)}, nullptr), E_INVALIDARG);
  const HRESULT missing = Call(plugin_.Get(), L"addTray", {s_(L"tip"), s_(L"missing.ico")}, nullptr);
  EXPECT_TRUE(FAILED(missing)) << std::hex << missing;
  EXPECT_EQ(Call(plugin_.Get(), L"hide", {}, nullptr), S_OK);
  EXPECT_EQ(Call(plugin_.Get(), L"hide", {}, nullptr), S_OK) << "twice is harmless";
}

}  // namespace
