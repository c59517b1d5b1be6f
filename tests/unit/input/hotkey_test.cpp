// Hot keys: the text parser as one table, and the keys going back to the
// system when their window is destroyed.
#include <gtest/gtest.h>

#include <windows.h>

#include "app/plugins/hotkey/hotkey_plugin.h"
#include "app/plugins/hotkey/hotkey_text.h"
#include "tests/unit/core/recording_dispatch.h"
#include "tests/unit/input/frame_core.h"
#include "tests/unit/stream/script_caller.h"

namespace {

using omb::HotkeyCombination;
using namespace scripttest;

constexpr UINT kCtrlAlt = MOD_CONTROL | MOD_ALT;

TEST(HotkeyText, ParsesAsWritten) {
  const struct {
    const wchar_t* text;
    DWORD expected;  // 0: invalid
  } cases[] = {
      {L"ctrl+alt+f5", HotkeyCombination(kCtrlAlt, VK_F5)},
      {L"CTRL+Alt+F5", HotkeyCombination(kCtrlAlt, VK_F5)},
      {L"alt+ctrl+ctrl+f5", HotkeyCombination(kCtrlAlt, VK_F5)},
      {L"shift+win+pause", HotkeyCombination(MOD_SHIFT | MOD_WIN, 3)},
      {L"ctrlx+shifty+alt1+windows+esc", HotkeyCombination(kCtrlAlt | MOD_SHIFT | MOD_WIN, VK_ESCAPE)},
      {L"f10", HotkeyCombination(0, VK_F10)},
      {L"ctrl+F12", HotkeyCombination(MOD_CONTROL, VK_F12)},
      {L"ctrl+PageDown", HotkeyCombination(MOD_CONTROL, VK_NEXT)},
      {L"alt+return", HotkeyCombination(MOD_ALT, VK_RETURN)},
      {L"ctrl+a", HotkeyCombination(MOD_CONTROL, 'A')},
      {L"ctrl+A", HotkeyCombination(MOD_CONTROL, 'A')},
      {L"shift+1", HotkeyCombination(MOD_SHIFT, '1')},
      {L"", 0},
      {L"ctrl", 0},
      {L"ctrl+alt", 0},
      {L"ctrl+", 0},
      {L"+a", 0},
      {L"ctrl++", 0},
      {L"control+a", 0},
      {L"ctr+a", 0},
      {L"ctrl+f13", 0},
      {L"ctrl+escape", 0},
      {L"ctrl+\u4E2D", 0},
  };
  for (const auto& c : cases) {
    const auto parsed = omb::ParseHotkeyText(c.text);
    EXPECT_EQ(parsed.value_or(0), c.expected) << testing::PrintToString(std::wstring(c.text));
  }
}

// The system would keep the keys of a destroyed window registered, where no
// one sees them again: the window's end gives them back.
TEST(HotkeyPlugin, GivesTheKeysBackWhenTheWindowIsDestroyed) {
  auto newWindow = [] {
    return CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                           nullptr, nullptr);
  };
  HWND frame = newWindow(), other = newWindow();
  auto plugin = omb::Make<omb::CHotkeyPlugin>();
  ASSERT_EQ(plugin->Initialize(omb::Make<FrameCore>(frame).Get(), nullptr), S_OK);
  Strings s;
  auto function = New<RecordingDispatch>();
  omb::unique_variant result;
  ASSERT_EQ(Call(plugin.Get(), L"set", {s(L"ctrl+alt+f11"), Obj(function.Get())}, result.get()), S_OK);
  ASSERT_TRUE(omb::IsTrue(*result));
  EXPECT_FALSE(RegisterHotKey(other, 1, kCtrlAlt, VK_F11));
  SendMessageW(frame, WM_DESTROY, 0, 0);
  EXPECT_TRUE(RegisterHotKey(other, 1, kCtrlAlt, VK_F11));
  UnregisterHotKey(other, 1);
  DestroyWindow(other);
  DestroyWindow(frame);
}

}  // namespace
