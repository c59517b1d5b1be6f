// The frame subclass on a plain top-level window: what it answers for the
// messages it handles, where menu commands go, and that it holds its owner
// exactly until the window's final message.
#include <gtest/gtest.h>

#include <windows.h>

#include "app/plugins/window/frame_subclass.h"
#include "sdk/omb.h"

namespace omb {
namespace {

class CRecordingMenu : public ComObject<CRecordingMenu, OMB::IMenu> {
 public:
  explicit CRecordingMenu(UINT ownId) : ownId_(ownId) {}
  STDMETHODIMP GetTypeInfoCount(UINT*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) noexcept override {
    return E_NOTIMPL;
  }
  STDMETHODIMP Create(HWND, HWND, LONG) noexcept override { return S_OK; }
  STDMETHODIMP_(HMENU) GetHandle() noexcept override { return nullptr; }
  STDMETHODIMP Exec(UINT id) noexcept override {
    last = id;
    return id == ownId_ ? S_OK : S_FALSE;
  }
  UINT last = 0;

 private:
  UINT ownId_;
};

// A script function stand-in that answers a fixed value and counts calls.
class CAnswer : public ComObject<CAnswer, IDispatch> {
 public:
  explicit CAnswer(VARIANT_BOOL answer) : answer_(answer) {}
  STDMETHODIMP GetTypeInfoCount(UINT*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO*, UINT*) noexcept override {
    EXPECT_EQ(id, DISPID_VALUE);
    EXPECT_EQ(params->cArgs, 0u);
    ++calls;
    if (result) SetBool(result, answer_ == VARIANT_TRUE);
    return S_OK;
  }
  int calls = 0;

 private:
  VARIANT_BOOL answer_;
};

class FrameSubclass : public ::testing::Test {
 protected:
  void SetUp() override {
    frame_ = CreateWindowExW(0, L"STATIC", L"frame", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                             nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(frame_);
  }
  void TearDown() override {
    if (IsWindow(frame_)) DestroyWindow(frame_);
  }
  HWND frame_ = nullptr;
};

TEST_F(FrameSubclass, HoldsItsOwnerUntilTheFinalMessage) {
  ComPtr<CAnswer> owner = Make<CAnswer>(VARIANT_TRUE);
  CMainSubclassWindow subclass;
  ASSERT_TRUE(subclass.Attach(frame_, owner.Get()));
  owner->AddRef();
  EXPECT_EQ(owner->Release(), 2u);  // the test's and the subclass's
  ComPtr<CAnswer> closed = Make<CAnswer>(VARIANT_TRUE);
  subclass.SetEvent(CMainSubclassWindow::kOnClosed, closed.Get());
  DestroyWindow(frame_);
  EXPECT_EQ(closed->calls, 1);
  owner->AddRef();
  EXPECT_EQ(owner->Release(), 1u);
}

TEST_F(FrameSubclass, OnlyAnExactFalseCancelsASystemCommand) {
  CMainSubclassWindow subclass;
  ASSERT_TRUE(subclass.Attach(frame_, nullptr));
  ComPtr<CAnswer> refuse = Make<CAnswer>(VARIANT_FALSE);
  subclass.SetEvent(CMainSubclassWindow::kOnClose, refuse.Get());
  SendMessageW(frame_, WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_TRUE(IsWindow(frame_));
  ComPtr<CAnswer> allow = Make<CAnswer>(VARIANT_TRUE);
  subclass.SetEvent(CMainSubclassWindow::kOnClose, allow.Get());
  SendMessageW(frame_, WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_FALSE(IsWindow(frame_));
  EXPECT_EQ(refuse->calls + allow->calls, 2);
}

TEST_F(FrameSubclass, MenuCommandsGoToTheMenuWhateverTheirIdentifier) {
  CMainSubclassWindow subclass;
  ASSERT_TRUE(subclass.Attach(frame_, nullptr));
  ComPtr<CRecordingMenu> menu = Make<CRecordingMenu>(2005);
  subclass.SetMenu(menu.Get());
  SendMessageW(frame_, WM_COMMAND, 2005, 0);
  EXPECT_EQ(menu->last, 2005u);
  SendMessageW(frame_, WM_COMMAND, 3001, 0);  // past the first thousand identifiers
  EXPECT_EQ(menu->last, 3001u);
  SendMessageW(frame_, WM_COMMAND, 0xFFFF, 0);
  EXPECT_EQ(menu->last, 0xFFFFu);
  // A control's notification (it names its window) is not a menu command.
  SendMessageW(frame_, WM_COMMAND, 2005, reinterpret_cast<LPARAM>(frame_));
  EXPECT_EQ(menu->last, 0xFFFFu);
}

TEST_F(FrameSubclass, AClosingFrameLeavesItsMenuBarToTheMenuObjects) {
  CMainSubclassWindow subclass;
  ASSERT_TRUE(subclass.Attach(frame_, nullptr));
  HMENU bar = CreateMenu();
  HMENU sub = CreatePopupMenu();
  AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(sub), L"Sub");
  SetMenu(frame_, bar);
  ComPtr<CRecordingMenu> menu = Make<CRecordingMenu>(2005);
  subclass.SetMenu(menu.Get());
  DestroyWindow(frame_);
  EXPECT_TRUE(IsMenu(bar));
  EXPECT_TRUE(IsMenu(sub));
  DestroyMenu(bar);
}

TEST_F(FrameSubclass, CaptionlessFrameHasNoNonClientArea) {
  CMainSubclassWindow subclass;
  ASSERT_TRUE(subclass.Attach(frame_, nullptr));
  subclass.SetCaptionless(true);
  SetWindowPos(frame_, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED);
  RECT window{}, client{};
  GetWindowRect(frame_, &window);
  GetClientRect(frame_, &client);
  EXPECT_EQ(client.right, window.right - window.left);
  EXPECT_EQ(client.bottom, window.bottom - window.top);
}

TEST_F(FrameSubclass, QueryEndSessionAlwaysAllowsTheEnd) {
  CMainSubclassWindow subclass;
  ASSERT_TRUE(subclass.Attach(frame_, nullptr));
  ComPtr<CAnswer> refuse = Make<CAnswer>(VARIANT_FALSE);
  subclass.SetEvent(CMainSubclassWindow::kOnShutdown, refuse.Get());
  EXPECT_EQ(SendMessageW(frame_, WM_QUERYENDSESSION, 0, 0), 1);
  EXPECT_EQ(refuse->calls, 1);
}

}  // namespace
}  // namespace omb
