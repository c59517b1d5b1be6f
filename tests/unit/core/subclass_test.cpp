// Window subclass chains: order, removal at any time (also inside a hook and
// in nested messages), procedures set on top of the chain, the final message.
#include "app/core/subclass.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

namespace {

constexpr UINT kProbe = WM_APP + 7;

std::wstring g_trail;

LRESULT CALLBACK OriginalProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kProbe) {
    g_trail += L'o';
    return 100;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

const wchar_t* ProbeClass() {
  static const wchar_t* name = [] {
    WNDCLASSW cls = {};
    cls.lpfnWndProc = OriginalProc;
    cls.hInstance = GetModuleHandleW(nullptr);
    cls.lpszClassName = L"OmbrelSubclassTest";
    RegisterClassW(&cls);
    return cls.lpszClassName;
  }();
  return name;
}

HWND NewWindow() {
  return CreateWindowExW(0, ProbeClass(), nullptr, WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                         GetModuleHandleW(nullptr), nullptr);
}

// A hook that writes its letter (data) to the trail and passes the message on,
// adding its id to the answer.
LRESULT CALLBACK Letter(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                        DWORD_PTR data) {
  if (message != kProbe) return omb::DefSubclass(window, message, wParam, lParam);
  g_trail += static_cast<wchar_t>(data);
  return omb::DefSubclass(window, message, wParam, lParam) + static_cast<LRESULT>(id);
}

// Removes itself before passing the message on.
LRESULT CALLBACK Once(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                      DWORD_PTR) {
  if (message == kProbe) {
    g_trail += L'1';
    EXPECT_TRUE(omb::RemoveSubclass(window, Once, id));
  }
  return omb::DefSubclass(window, message, wParam, lParam);
}

// On the first probe, sends a second one to the same window (nested) and
// removes the hook below it while that runs.
LRESULT CALLBACK Nesting(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                         DWORD_PTR) {
  if (message == kProbe && wParam == 0) {
    g_trail += L'n';
    SendMessageW(window, kProbe, 1, 0);
    g_trail += L'|';
    EXPECT_TRUE(omb::RemoveSubclass(window, Letter, 2));
  }
  return omb::DefSubclass(window, message, wParam, lParam);
}

int g_finalMessages = 0;
LRESULT CALLBACK CountsFinal(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                             DWORD_PTR) {
  if (message == WM_NCDESTROY) ++g_finalMessages;
  return omb::DefSubclass(window, message, wParam, lParam);
}

WNDPROC g_belowLater = nullptr;
LRESULT CALLBACK LaterProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kProbe) g_trail += L'L';
  return CallWindowProcW(g_belowLater, window, message, wParam, lParam);
}

WNDPROC ProcOf(HWND window) {
  return reinterpret_cast<WNDPROC>(GetWindowLongPtrW(window, GWLP_WNDPROC));
}

TEST(Subclass, NewestHookFirstThenOlderOnesThenTheWindowsProcedure) {
  const HWND window = NewWindow();
  ASSERT_TRUE(window);
  const WNDPROC original = ProcOf(window);
  ASSERT_TRUE(omb::SetSubclass(window, Letter, 1, L'a'));
  ASSERT_TRUE(omb::SetSubclass(window, Letter, 2, L'b'));
  // The same hook again only takes the new data.
  ASSERT_TRUE(omb::SetSubclass(window, Letter, 1, L'A'));
  g_trail.clear();
  EXPECT_EQ(SendMessageW(window, kProbe, 0, 0), 103);
  EXPECT_EQ(g_trail, L"bAo");

  EXPECT_TRUE(omb::RemoveSubclass(window, Letter, 2));
  EXPECT_FALSE(omb::RemoveSubclass(window, Letter, 2));
  g_trail.clear();
  EXPECT_EQ(SendMessageW(window, kProbe, 0, 0), 101);
  EXPECT_EQ(g_trail, L"Ao");

  EXPECT_TRUE(omb::RemoveSubclass(window, Letter, 1));
  EXPECT_EQ(ProcOf(window), original);
  g_trail.clear();
  EXPECT_EQ(SendMessageW(window, kProbe, 0, 0), 100);
  EXPECT_EQ(g_trail, L"o");
  DestroyWindow(window);
}

TEST(Subclass, HooksMayGoWhileMessagesAreHandledAlsoNestedOnes) {
  const HWND window = NewWindow();
  ASSERT_TRUE(window);
  const WNDPROC original = ProcOf(window);
  ASSERT_TRUE(omb::SetSubclass(window, Letter, 2, L'b'));
  ASSERT_TRUE(omb::SetSubclass(window, Once, 5, 0));
  ASSERT_TRUE(omb::SetSubclass(window, Nesting, 9, 0));
  g_trail.clear();
  // Outer: n, then nested (1 b o), then b is removed: the outer message goes
  // on past the removed hooks to the window's procedure.
  EXPECT_EQ(SendMessageW(window, kProbe, 0, 0), 100);
  EXPECT_EQ(g_trail, L"n1bo|o");
  g_trail.clear();
  EXPECT_EQ(SendMessageW(window, kProbe, 2, 0), 100);
  EXPECT_EQ(g_trail, L"o");
  EXPECT_TRUE(omb::RemoveSubclass(window, Nesting, 9));
  EXPECT_EQ(ProcOf(window), original);
  DestroyWindow(window);
}

TEST(Subclass, AProcedureSetLaterKeepsWorkingWhenTheHooksGo) {
  const HWND window = NewWindow();
  ASSERT_TRUE(window);
  ASSERT_TRUE(omb::SetSubclass(window, Letter, 1, L'a'));
  g_belowLater = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(LaterProc)));
  EXPECT_TRUE(omb::RemoveSubclass(window, Letter, 1));
  EXPECT_EQ(ProcOf(window), LaterProc);
  g_trail.clear();
  EXPECT_EQ(SendMessageW(window, kProbe, 0, 0), 100);
  EXPECT_EQ(g_trail, L"Lo");
  // A hook added again joins the chain that is still there.
  ASSERT_TRUE(omb::SetSubclass(window, Letter, 3, L'c'));
  g_trail.clear();
  EXPECT_EQ(SendMessageW(window, kProbe, 0, 0), 103);
  EXPECT_EQ(g_trail, L"Lco");
  DestroyWindow(window);
}

TEST(Subclass, HooksLeftOnTheWindowSeeItsFinalMessageAndTheChainGoes) {
  const HWND window = NewWindow();
  ASSERT_TRUE(window);
  ASSERT_TRUE(omb::SetSubclass(window, CountsFinal, 1, 0));
  ASSERT_TRUE(omb::SetSubclass(window, CountsFinal, 2, 0));
  g_finalMessages = 0;
  DestroyWindow(window);
  EXPECT_EQ(g_finalMessages, 2);
  EXPECT_FALSE(omb::RemoveSubclass(window, CountsFinal, 1));
}

TEST(Subclass, RefusesWindowsOfOtherThreadsAndMissingArguments) {
  const HWND window = NewWindow();
  ASSERT_TRUE(window);
  bool fromOtherThread = true;
  std::thread([&] { fromOtherThread = omb::SetSubclass(window, Letter, 1, L'a'); }).join();
  EXPECT_FALSE(fromOtherThread);
  EXPECT_FALSE(omb::SetSubclass(nullptr, Letter, 1, L'a'));
  EXPECT_FALSE(omb::SetSubclass(window, nullptr, 1, L'a'));
  EXPECT_FALSE(omb::RemoveSubclass(window, Letter, 1));
  DestroyWindow(window);
}

}  // namespace
