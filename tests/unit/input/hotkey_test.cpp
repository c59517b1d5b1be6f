// Hot keys: the text parser as one table, and the plug-in on a plain window:
// registration answers, WM_HOTKEY reaching the function with its context,
// and the keys going back to the system when the window is destroyed.
#include <gtest/gtest.h>

#include <windows.h>

#include "app/plugins/hotkey/hotkey_plugin.h"
#include "app/plugins/hotkey/hotkey_text.h"
#include "tests/unit/core/recording_dispatch.h"
#include "tests/unit/input/input_test_support.h"
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

class HotkeyPlugin : public ::testing::Test {
 protected:
  void SetUp() override {
    frame_ = CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                             nullptr, nullptr);
    ASSERT_TRUE(frame_);
    plugin_ = omb::Make<omb::CHotkeyPlugin>();
    ASSERT_EQ(plugin_->Initialize(omb::Make<FakeCore>(frame_).Get(), nullptr), S_OK);
  }
  void TearDown() override {
    if (IsWindow(frame_)) DestroyWindow(frame_);
  }
  bool Set(const wchar_t* text, IDispatch* function, const VARIANT* context = nullptr) {
    omb::unique_variant result;
    const HRESULT hr = context ? Call(plugin_.Get(), L"set", {s_(text), Obj(function), *context}, result.get())
                               : Call(plugin_.Get(), L"set", {s_(text), Obj(function)}, result.get());
    EXPECT_EQ(hr, S_OK);
    return omb::IsTrue(*result);
  }
  bool Clear(const wchar_t* text) {
    omb::unique_variant result;
    EXPECT_EQ(Call(plugin_.Get(), L"clear", {s_(text)}, result.get()), S_OK);
    return omb::IsTrue(*result);
  }

  HWND frame_ = nullptr;
  ComPtr<omb::CHotkeyPlugin> plugin_;
  Strings s_;
};

TEST_F(HotkeyPlugin, RegistersOnceAndCallsWithTheContext) {
  auto first = New<RecordingDispatch>();
  auto second = New<RecordingDispatch>();
  const VARIANT context = I4(7);
  EXPECT_TRUE(Set(L"Ctrl+Alt+F7", first.Get(), &context));
  EXPECT_FALSE(Set(L"alt+ctrl+f7", second.Get())) << "the same combination twice";
  EXPECT_FALSE(Set(L"control+f7", second.Get()));
  EXPECT_TRUE(Set(L"shift+alt+f8", second.Get()));

  EXPECT_EQ(SendMessageW(frame_, WM_HOTKEY, 1000, HotkeyCombination(kCtrlAlt, VK_F7)), 0);
  EXPECT_EQ(SendMessageW(frame_, WM_HOTKEY, 1001, HotkeyCombination(MOD_SHIFT | MOD_ALT, VK_F8)), 0);
  SendMessageW(frame_, WM_HOTKEY, 0, HotkeyCombination(MOD_ALT, VK_F9));  // not ours: nothing
  ASSERT_EQ(first->calls.size(), 1u);
  EXPECT_EQ(first->calls[0].args, std::vector<std::wstring>{L"3:7"});
  ASSERT_EQ(second->calls.size(), 1u);
  EXPECT_EQ(second->calls[0].args, std::vector<std::wstring>{L"0:"}) << "one undefined argument";

  EXPECT_TRUE(Clear(L"CTRL+ALT+F7"));
  EXPECT_FALSE(Clear(L"ctrl+alt+f7"));
  SendMessageW(frame_, WM_HOTKEY, 1000, HotkeyCombination(kCtrlAlt, VK_F7));
  EXPECT_EQ(first->calls.size(), 1u);
  EXPECT_TRUE(Set(L"ctrl+alt+f7", second.Get())) << "registered again after clear";
  omb::unique_variant result;
  EXPECT_EQ(Call(plugin_.Get(), L"set", {s_(L"ctrl+f7")}, result.get()), E_NOTIMPL);
  EXPECT_EQ(Call(plugin_.Get(), L"set", {s_(L"ctrl+f7"), I4(1)}, result.get()), E_INVALIDARG);
}

// The system would keep the keys of a destroyed window registered: the
// window's end gives them back, so another window can take them.
TEST_F(HotkeyPlugin, GivesTheKeysBackWhenTheWindowIsDestroyed) {
  auto function = New<RecordingDispatch>();
  ASSERT_TRUE(Set(L"ctrl+alt+f11", function.Get()));
  HWND other = CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                               nullptr, nullptr);
  EXPECT_FALSE(RegisterHotKey(other, 1, kCtrlAlt, VK_F11));
  SendMessageW(frame_, WM_DESTROY, 0, 0);
  EXPECT_TRUE(RegisterHotKey(other, 1, kCtrlAlt, VK_F11));
  UnregisterHotKey(other, 1);
  DestroyWindow(other);
}

}  // namespace
