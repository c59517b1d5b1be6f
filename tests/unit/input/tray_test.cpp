// The record that puts the frame's icon into the notification area, and the
// icon leaving with its window.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "app/plugins/tray/tray_icon.h"
#include "app/plugins/tray/tray_plugin.h"
#include "tests/unit/input/frame_core.h"
#include "tests/unit/stream/script_caller.h"

namespace {

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

// A window that closes takes its icon along: none is left behind in the
// notification area.
TEST(TrayPlugin, RemovesTheIconWhenTheWindowIsDestroyed) {
  HWND frame = CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                               nullptr, nullptr);
  auto core = omb::Make<FrameCore>(frame);
  auto plugin = omb::Make<omb::CTrayPlugin>();
  ASSERT_EQ(plugin->Initialize(core.Get(), core.Get()), S_OK);
  scripttest::Strings s;
  wchar_t source[MAX_PATH] = L"";
  ASSERT_TRUE(GetEnvironmentVariableW(L"OMBREL_SOURCE_DIR", source, MAX_PATH));
  const std::wstring icon = std::wstring(source) + L"\\app\\res\\ombrel.ico";
  ASSERT_EQ(scripttest::Call(plugin.Get(), L"addTray", {s(L"tip"), s(icon.c_str())}, nullptr), S_OK);
  NOTIFYICONDATAW identity{};
  identity.cbSize = NOTIFYICONDATAW_V3_SIZE;
  identity.hWnd = frame;
  identity.uID = omb::kTrayIconId;
  ASSERT_TRUE(Shell_NotifyIconW(NIM_MODIFY, &identity)) << "the icon is shown";
  DestroyWindow(frame);
  EXPECT_FALSE(Shell_NotifyIconW(NIM_MODIFY, &identity)) << "and gone with its window";
}

}  // namespace
