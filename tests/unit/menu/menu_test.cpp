// Menu objects: item records and command identifiers, call-backs through
// Exec (also through submenus), enabling by name, submenu lookup and showing
// a pop-up menu whose chosen item runs.
#include <gtest/gtest.h>

#include <set>
#include <thread>
#include <vector>

#include "app/core/script_object.h"
#include "app/plugins/menu/menu_dispatch.h"
#include "app/plugins/menu/menu_plugin.h"
#include "tests/unit/core/recording_dispatch.h"

namespace {

using omb::CMenuDispatch;

// Calls a member by name with arguments in script order.
HRESULT Call(IDispatch* obj, const wchar_t* name, std::vector<VARIANT> args, VARIANT* result,
             WORD flags = DISPATCH_METHOD | DISPATCH_PROPERTYGET) {
  DISPID id = 0;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  HRESULT hr = obj->GetIDsOfNames(IID_NULL, names, 1, 0, &id);
  if (FAILED(hr)) return hr;
  std::vector<VARIANT> reversed(args.rbegin(), args.rend());
  DISPPARAMS params = {reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
  return obj->Invoke(id, IID_NULL, 0, flags, &params, result, nullptr, nullptr);
}

// A string argument; the strings live until the test program ends.
VARIANT Str(const wchar_t* s) {
  static std::vector<omb::unique_bstr> strings;
  strings.emplace_back(SysAllocString(s));
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = strings.back().get();
  return v;
}
VARIANT Obj(IDispatch* d) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_DISPATCH;
  v.pdispVal = d;
  return v;
}
VARIANT Bool(bool b) {
  VARIANT v;
  omb::SetBool(&v, b);
  return v;
}
VARIANT Int(LONG n) {
  VARIANT v;
  omb::SetI4(&v, n);
  return v;
}

struct Option {
  const wchar_t* name;
  VARIANT value;
};

ComPtr<IDispatch> Options(std::initializer_list<Option> members) {
  ComPtr<CObject> obj = omb::Make<CObject>();
  for (const auto& m : members) EXPECT_EQ(obj->SetMember(m.name, m.value), S_OK);
  return ComPtr<IDispatch>(static_cast<IDispatch*>(obj.Get()));
}

ComPtr<CMenuDispatch> NewMenu(LONG kind = OMB::kPopupMenu, HWND owner = nullptr) {
  ComPtr<CMenuDispatch> menu = omb::Make<CMenuDispatch>();
  menu->Create(owner, owner, kind);
  return menu;
}

bool Append(IDispatch* menu, std::initializer_list<Option> options) {
  omb::unique_variant result;
  EXPECT_EQ(Call(menu, L"appendMenu", {Obj(Options(options).Get())}, result.put()), S_OK);
  return omb::IsTrue(*result);
}

UINT IdAt(CMenuDispatch* menu, int position) { return GetMenuItemID(menu->GetHandle(), position); }
bool Grayed(CMenuDispatch* menu, int position) {
  return (GetMenuState(menu->GetHandle(), position, MF_BYPOSITION) & MF_GRAYED) != 0;
}

TEST(MenuItems, EveryAppendTakesAnIdentifierAndItemsWithoutCallbackAreDisabled) {
  auto fn = New<RecordingDispatch>();
  auto menu = NewMenu();
  ASSERT_TRUE(Append(menu.Get(), {{L"name", Str(L"First")}, {L"callback", Obj(fn.Get())}}));
  EXPECT_FALSE(Append(menu.Get(), {{L"callback", Obj(fn.Get())}}));  // no name: refused
  ASSERT_TRUE(Append(menu.Get(), {{L"name", Str(L"Plain")}}));
  ASSERT_TRUE(Append(menu.Get(), {{L"separator", Bool(true)}}));
  ASSERT_TRUE(Append(menu.Get(), {{L"name", Str(L"Off")}, {L"gray", Bool(true)},
                                  {L"callback", Obj(fn.Get())}}));

  const UINT first = IdAt(menu.Get(), 0);
  EXPECT_GE(first, 2000u);
  EXPECT_EQ(IdAt(menu.Get(), 1), first + 2);  // the refused append used first + 1
  EXPECT_EQ(omb::TakeMenuCommandId(), first + 5);
  EXPECT_FALSE(Grayed(menu.Get(), 0));
  EXPECT_TRUE(Grayed(menu.Get(), 1));
  EXPECT_TRUE(Grayed(menu.Get(), 3));

  omb::unique_variant count;
  ASSERT_EQ(Call(menu.Get(), L"getItemCount", {}, count.put()), S_OK);
  EXPECT_EQ(count->lVal, 4);
}

TEST(MenuItems, SubmenuNeedsAMenuObject) {
  auto menu = NewMenu();
  auto notAMenu = New<RecordingDispatch>();
  EXPECT_FALSE(Append(menu.Get(), {{L"name", Str(L"Sub")}, {L"subMenu", Obj(notAMenu.Get())}}));
  EXPECT_EQ(GetMenuItemCount(menu->GetHandle()), 0);
}

TEST(MenuExec, CallsTheCallbackWithItsContextOrWithoutArguments) {
  auto withContext = New<RecordingDispatch>();
  auto without = New<RecordingDispatch>();
  auto menu = NewMenu();
  Append(menu.Get(), {{L"name", Str(L"A")}, {L"callback", Obj(withContext.Get())},
                      {L"context", Int(42)}});
  Append(menu.Get(), {{L"name", Str(L"B")}, {L"callback", Obj(without.Get())}});

  EXPECT_EQ(menu->Exec(IdAt(menu.Get(), 0)), S_OK);
  EXPECT_EQ(menu->Exec(IdAt(menu.Get(), 1)), S_OK);
  EXPECT_EQ(menu->Exec(IdAt(menu.Get(), 1) + 1000), S_FALSE);

  ASSERT_EQ(withContext->calls.size(), 1u);
  EXPECT_EQ(withContext->calls[0].id, DISPID_VALUE);
  EXPECT_EQ(withContext->calls[0].args, std::vector<std::wstring>{L"3:42"});
  ASSERT_EQ(without->calls.size(), 1u);
  EXPECT_TRUE(without->calls[0].args.empty());
}

TEST(MenuExec, RunsSubmenuItemsThroughTheParent) {
  auto fn = New<RecordingDispatch>();
  auto inner = NewMenu();
  auto sub = NewMenu();
  auto top = NewMenu();
  Append(inner.Get(), {{L"name", Str(L"Deep")}, {L"callback", Obj(fn.Get())}, {L"context", Str(L"d")}});
  Append(sub.Get(), {{L"name", Str(L"Inner")}, {L"subMenu", Obj(inner.Get())}});
  Append(top.Get(), {{L"name", Str(L"Plain")}});
  ASSERT_TRUE(Append(top.Get(), {{L"name", Str(L"Sub")}, {L"subMenu", Obj(sub.Get())}}));

  EXPECT_EQ(top->Exec(IdAt(inner.Get(), 0)), S_OK);
  ASSERT_EQ(fn->calls.size(), 1u);
  EXPECT_EQ(fn->calls[0].args, std::vector<std::wstring>{L"8:d"});

  // The parent keeps the submenu alive.
  const HMENU subHandle = sub->GetHandle();
  sub = nullptr;
  inner = nullptr;
  EXPECT_EQ(GetSubMenu(top->GetHandle(), 1), subHandle);
  omb::unique_variant found;
  ASSERT_EQ(Call(top.Get(), L"getSubMenu", {Str(L"sUB")}, found.put()), S_OK);
  ASSERT_EQ(found.vt(), VT_DISPATCH);
  ComPtr<OMB::IMenu> asMenu;
  ASSERT_EQ(found->pdispVal->QueryInterface(__uuidof(OMB::IMenu), reinterpret_cast<void**>(&asMenu)), S_OK);
  EXPECT_EQ(asMenu->GetHandle(), subHandle);
}

TEST(MenuLookup, GetSubMenuAndEnableMatchNamesIgnoringCase) {
  auto fn = New<RecordingDispatch>();
  auto menu = NewMenu();
  Append(menu.Get(), {{L"name", Str(L"Twin")}, {L"callback", Obj(fn.Get())}});
  Append(menu.Get(), {{L"name", Str(L"TWIN")}, {L"callback", Obj(fn.Get())}});

  omb::unique_variant result;
  ASSERT_EQ(Call(menu.Get(), L"enable", {Str(L"twin"), Bool(false)}, result.put()), S_OK);
  EXPECT_TRUE(omb::IsTrue(*result));
  EXPECT_TRUE(Grayed(menu.Get(), 0));
  EXPECT_FALSE(Grayed(menu.Get(), 1));
  ASSERT_EQ(Call(menu.Get(), L"enable", {Str(L"TwIn"), Bool(true)}, result.put()), S_OK);
  EXPECT_FALSE(Grayed(menu.Get(), 0));
  ASSERT_EQ(Call(menu.Get(), L"enable", {Str(L"none"), Bool(true)}, result.put()), S_OK);
  EXPECT_FALSE(omb::IsTrue(*result));
  ASSERT_EQ(Call(menu.Get(), L"enable", {Str(L""), Bool(true)}, result.put()), S_OK);
  EXPECT_FALSE(omb::IsTrue(*result));

  // "Twin" is a command item, not a submenu.
  ASSERT_EQ(Call(menu.Get(), L"getSubMenu", {Str(L"Twin")}, result.put()), S_OK);
  EXPECT_EQ(result.vt(), VT_EMPTY);
  EXPECT_EQ(Call(menu.Get(), L"getSubMenu", {Str(L"")}, result.put()), E_INVALIDARG);
  EXPECT_EQ(Call(menu.Get(), L"getSubMenu", {Str(L"Twin")}, nullptr), E_POINTER);
}

TEST(MenuArguments, CountsTypesAndCallKinds) {
  auto menu = NewMenu();
  omb::unique_variant result;
  EXPECT_EQ(Call(menu.Get(), L"appendMenu", {}, result.put()), E_NOTIMPL);
  EXPECT_EQ(Call(menu.Get(), L"appendMenu", {Str(L"x")}, result.put()), E_INVALIDARG);
  EXPECT_EQ(Call(menu.Get(), L"enable", {Str(L"x"), Int(1)}, result.put()), E_INVALIDARG);
  EXPECT_EQ(Call(menu.Get(), L"popup", {Int(1)}, result.put()), E_NOTIMPL);
  EXPECT_EQ(Call(menu.Get(), L"getItemCount", {}, nullptr), E_INVALIDARG);
  EXPECT_EQ(Call(menu.Get(), L"getItemCount", {}, result.put(), DISPATCH_PROPERTYGET), E_NOTIMPL);
  EXPECT_EQ(Call(menu.Get(), L"GetItemCount", {}, result.put()), DISP_E_UNKNOWNNAME);
}

TEST(MenuPlugin, CreateMenuChoosesTheKindIgnoringCase) {
  auto plugin = omb::Make<omb::CMenuManagePlugin>();
  IDispatch* dispatch = static_cast<omb::DispatchTable<omb::CMenuManagePlugin>*>(plugin.Get());
  EXPECT_EQ(plugin->Initialize(nullptr, nullptr), E_INVALIDARG);

  omb::unique_variant result;
  ASSERT_EQ(Call(dispatch, L"createMenu", {Str(L"WINDOWMENU")}, result.put()), S_OK);
  ASSERT_EQ(result.vt(), VT_DISPATCH);
  ComPtr<OMB::IMenu> windowMenu;
  ASSERT_EQ(result->pdispVal->QueryInterface(__uuidof(OMB::IMenu), reinterpret_cast<void**>(&windowMenu)), S_OK);
  EXPECT_TRUE(IsMenu(windowMenu->GetHandle()));

  // A window menu cannot be shown as a pop-up, nor can an empty menu.
  auto fn = New<RecordingDispatch>();
  Append(windowMenu.Get(), {{L"name", Str(L"File")}, {L"callback", Obj(fn.Get())}});
  ASSERT_EQ(Call(windowMenu.Get(), L"popup", {Int(1), Int(1)}, result.put()), S_OK);
  EXPECT_FALSE(omb::IsTrue(*result));
  ASSERT_EQ(Call(dispatch, L"createMenu", {}, result.put()), S_OK);
  omb::unique_variant shown;
  ASSERT_EQ(Call(result->pdispVal, L"popup", {}, shown.put()), S_OK);
  EXPECT_FALSE(omb::IsTrue(*shown));

  EXPECT_EQ(Call(dispatch, L"createMenu", {Str(L"contextMenu")}, result.put()), E_NOTIMPL);
  EXPECT_EQ(Call(dispatch, L"createMenu", {Int(1)}, result.put()), E_INVALIDARG);
  EXPECT_EQ(Call(dispatch, L"createMenu", {Str(L"trayMenu")}, nullptr), E_INVALIDARG);
  EXPECT_EQ(Call(dispatch, L"createMenu", {Str(L"trayMenu"), Str(L"x")}, result.put()), E_NOTIMPL);
}

TEST(MenuPopup, ClampsAPointOffEveryMonitorIntoTheWorkArea) {
  MONITORINFO info{};
  info.cbSize = sizeof(info);
  ASSERT_TRUE(GetMonitorInfoW(MonitorFromPoint({-100000, 5}, MONITOR_DEFAULTTONEAREST), &info));
  const POINT left = omb::ClampToWorkArea({-100000, 5});
  EXPECT_EQ(left.x, info.rcWork.left);
  EXPECT_EQ(left.y, 5);
  const POINT inside = omb::ClampToWorkArea({info.rcWork.left + 3, info.rcWork.top + 4});
  EXPECT_EQ(inside.x, info.rcWork.left + 3);
}

// Chooses the second item of the first pop-up menu that appears.
void ChooseSecondItemWhenShown() {
  for (int i = 0; i < 200; ++i) {
    if (HWND popup = FindWindowW(L"#32768", nullptr); popup && IsWindowVisible(popup)) {
      PostMessageW(popup, WM_KEYDOWN, VK_DOWN, 0);
      PostMessageW(popup, WM_KEYDOWN, VK_DOWN, 0);
      PostMessageW(popup, WM_KEYDOWN, VK_RETURN, 0);
      return;
    }
    Sleep(20);
  }
}

TEST(MenuPopup, TheChosenItemRunsInPopupAndTrayMenus) {
  HWND owner = CreateWindowExW(0, L"STATIC", L"owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 50, 50, 200,
                               200, nullptr, nullptr, nullptr, nullptr);
  ASSERT_TRUE(owner);
  for (LONG kind : {OMB::kPopupMenu, OMB::kTrayMenu}) {
    auto first = New<RecordingDispatch>();
    auto second = New<RecordingDispatch>();
    auto menu = NewMenu(kind, owner);
    Append(menu.Get(), {{L"name", Str(L"One")}, {L"callback", Obj(first.Get())}});
    Append(menu.Get(), {{L"name", Str(L"Two")}, {L"callback", Obj(second.Get())}, {L"context", Str(L"ctx")}});
    std::thread chooser(ChooseSecondItemWhenShown);
    omb::unique_variant result;
    EXPECT_EQ(Call(menu.Get(), L"popup", {Int(10), Int(10)}, result.put()), S_OK);
    chooser.join();
    EXPECT_TRUE(omb::IsTrue(*result));
    EXPECT_TRUE(first->calls.empty());
    ASSERT_EQ(second->calls.size(), 1u) << "kind " << kind;
    EXPECT_EQ(second->calls[0].args, std::vector<std::wstring>{L"8:ctx"});
  }
  DestroyWindow(owner);
}

// Runs the process's counter through a whole cycle; keep it last, since it
// moves the counter past its first pass.
TEST(MenuIdentifiers, AfterTheLastIdentifierFreedOnesComeBackAndHeldOnesAreSkipped) {
  auto fn = New<RecordingDispatch>();
  auto kept = NewMenu();
  ASSERT_TRUE(Append(kept.Get(), {{L"name", Str(L"Kept")}, {L"callback", Obj(fn.Get())}}));
  const UINT held = IdAt(kept.Get(), 0);
  UINT freed = 0;
  {
    auto gone = NewMenu();
    ASSERT_TRUE(Append(gone.Get(), {{L"name", Str(L"Gone")}, {L"callback", Obj(fn.Get())}}));
    freed = IdAt(gone.Get(), 0);
  }
  // Command messages carry 16 bits: 2000..0xFFFF, less the one held.
  const UINT cycle = 0xFFFF - 2000;
  std::set<UINT> seen;
  for (UINT i = 0; i < cycle; ++i) {
    const UINT id = omb::TakeMenuCommandId();
    ASSERT_TRUE(id >= 2000 && id <= 0xFFFF) << id;
    ASSERT_NE(id, held);
    seen.insert(id);
  }
  EXPECT_EQ(seen.size(), cycle);
  EXPECT_EQ(seen.count(freed), 1u);
  // The item that holds its identifier still runs by it.
  EXPECT_EQ(kept->Exec(held), S_OK);
  EXPECT_EQ(fn->calls.size(), 1u);
}

}  // namespace
