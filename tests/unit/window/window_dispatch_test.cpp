// The argument and access rules of the window plug-in's dispatch, checked on
// an instance that has no window yet, so no call can reach the desktop.
#include <gtest/gtest.h>

#include <windows.h>

#include <vector>

#include "app/plugins/window/window_plugin.h"

namespace omb {
namespace {

class WindowDispatch : public ::testing::Test {
 protected:
  DISPID Id(const wchar_t* name) {
    DISPID id = 0;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    EXPECT_EQ(plugin_->GetIDsOfNames(IID_NULL, names, 1, 0, &id), S_OK) << name;
    return id;
  }
  // Calls name with the arguments in script order.
  HRESULT Call(const wchar_t* name, WORD flags, std::vector<VARIANT> args, VARIANT* result) {
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPID put = DISPID_PROPERTYPUT;
    DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    if (flags & DISPATCH_PROPERTYPUT) {
      params.rgdispidNamedArgs = &put;
      params.cNamedArgs = 1;
    }
    return plugin_->Invoke(Id(name), IID_NULL, 0, flags, &params, result, nullptr, nullptr);
  }
  HRESULT Method(const wchar_t* name, std::vector<VARIANT> args = {}) {
    unique_variant result;
    return Call(name, DISPATCH_METHOD | DISPATCH_PROPERTYGET, std::move(args), result.get());
  }
  HRESULT Put(const wchar_t* name, VARIANT value) {
    return Call(name, DISPATCH_PROPERTYPUT, {value}, nullptr);
  }

  static VARIANT I4(LONG n) { VARIANT v; SetI4(&v, n); return v; }
  static VARIANT Bool(bool b) { VARIANT v; SetBool(&v, b); return v; }
  static VARIANT Double(double d) { VARIANT v; VariantInit(&v); v.vt = VT_R8; v.dblVal = d; return v; }

  ComPtr<CWindowPlugin> plugin_ = Make<CWindowPlugin>();
};

TEST_F(WindowDispatch, NamesAreCaseSensitiveAndMessageNamesBelongElsewhere) {
  DISPID id = 0;
  for (const wchar_t* name : {L"Show", L"sendMsg", L"uniqueID", L"registerMsg"}) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    EXPECT_EQ(plugin_->GetIDsOfNames(IID_NULL, names, 1, 0, &id), DISP_E_UNKNOWNNAME) << name;
  }
  EXPECT_EQ(Id(L"show"), -10000);
  EXPECT_EQ(Id(L"onShutdown"), -9957);
}

TEST_F(WindowDispatch, EachKindReachesOnlyItsMembers) {
  unique_variant result;
  EXPECT_EQ(Call(L"width", DISPATCH_METHOD | DISPATCH_PROPERTYGET, {}, result.get()), E_NOTIMPL);
  EXPECT_EQ(Call(L"minWidth", DISPATCH_PROPERTYGET, {}, result.get()), E_NOTIMPL);
  EXPECT_EQ(Call(L"onClose", DISPATCH_PROPERTYGET, {}, result.get()), E_NOTIMPL);
  EXPECT_EQ(Put(L"workAreaWidth", I4(5)), E_NOTIMPL);
  EXPECT_EQ(Put(L"msg", I4(5)), E_NOTIMPL);
  EXPECT_EQ(Call(L"show", DISPATCH_PROPERTYGET, {}, result.get()), E_NOTIMPL);
  EXPECT_EQ(Call(L"workAreaWidth", DISPATCH_PROPERTYGET, {}, nullptr), E_INVALIDARG);
  EXPECT_EQ(Call(L"workAreaWidth", DISPATCH_PROPERTYGET, {}, result.get()), S_OK);
  EXPECT_EQ(result.vt(), VT_I4);
}

TEST_F(WindowDispatch, ArgumentCountsMustMatch) {
  EXPECT_EQ(Method(L"show"), E_NOTIMPL);
  EXPECT_EQ(Method(L"isVisible", {I4(1)}), E_NOTIMPL);
  EXPECT_EQ(Method(L"quit", {I4(1), I4(2)}), E_NOTIMPL);
  EXPECT_EQ(Method(L"setWindowPos", {I4(1), I4(2), I4(3)}), E_NOTIMPL);
  EXPECT_EQ(Method(L"selectFile", {I4(1), I4(2)}), E_NOTIMPL);
}

TEST_F(WindowDispatch, ArgumentTypesAreChecked) {
  EXPECT_EQ(Method(L"show", {I4(1)}), E_INVALIDARG);
  EXPECT_EQ(Method(L"quit", {Double(2)}), E_INVALIDARG);
  EXPECT_EQ(Method(L"messageBox", {I4(1)}), E_INVALIDARG);
  EXPECT_EQ(Method(L"selectFile", {Bool(true)}), E_INVALIDARG);
  EXPECT_EQ(Method(L"isUniqueWindow", {I4(1)}), E_INVALIDARG);
  EXPECT_EQ(Put(L"caption", I4(1)), E_INVALIDARG);
  EXPECT_EQ(Put(L"onClose", I4(1)), E_INVALIDARG);
  EXPECT_EQ(Put(L"menu", Bool(true)), E_INVALIDARG);
  EXPECT_EQ(Put(L"title", I4(1)), E_INVALIDARG);
}

TEST_F(WindowDispatch, ZeroSizesAreArgumentErrors) {
  EXPECT_EQ(Method(L"setTaskbarProgress", {I4(1), I4(0)}), E_INVALIDARG);
  EXPECT_EQ(Method(L"setWindowPos", {I4(1), I4(2), I4(0), I4(4)}), E_INVALIDARG);
  EXPECT_EQ(Put(L"width", I4(0)), E_INVALIDARG);
  EXPECT_EQ(Put(L"maxHeight", Double(0.2)), E_INVALIDARG);
}

TEST_F(WindowDispatch, MessageBoxWithNullOptionsAnswersFalse) {
  VARIANT none;
  SetDispatch(&none, nullptr);
  unique_variant result;
  EXPECT_EQ(Call(L"messageBox", DISPATCH_METHOD, {none}, result.get()), S_OK);
  EXPECT_EQ(result.vt(), VT_BOOL);
  EXPECT_EQ(result->boolVal, VARIANT_FALSE);
}

TEST_F(WindowDispatch, DialogsNeedAResultSlot) {
  EXPECT_EQ(Call(L"selectFile", DISPATCH_METHOD, {}, nullptr), E_INVALIDARG);
  EXPECT_EQ(Call(L"selectFolder", DISPATCH_METHOD, {}, nullptr), E_INVALIDARG);
}

// A shape whose region never reached a window is not a shape: size writes
// still apply afterwards.
TEST_F(WindowDispatch, AShapeThatWasNotAppliedLeavesSizeWritesWorking) {
  // A 2 by 2 bitmap, 24 bits, rows padded to 4 bytes, one pixel not white.
  const BYTE pixels[16] = {0, 0, 0, 255, 255, 255, 0, 0, 255, 255, 255, 255, 255, 255, 0, 0};
  BITMAPINFOHEADER info{sizeof(info), 2, 2, 1, 24, BI_RGB, sizeof(pixels), 0, 0, 0, 0};
  BITMAPFILEHEADER file{0x4D42, sizeof(file) + sizeof(info) + sizeof(pixels), 0, 0,
                        sizeof(file) + sizeof(info)};
  HANDLE out = CreateFileW(L"shape.bmp", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(out, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  WriteFile(out, &file, sizeof(file), &written, nullptr);
  WriteFile(out, &info, sizeof(info), &written, nullptr);
  WriteFile(out, pixels, sizeof(pixels), &written, nullptr);
  CloseHandle(out);

  VARIANT path;
  VariantInit(&path);
  path.vt = VT_BSTR;
  path.bstrVal = SysAllocString(L"shape.bmp");
  EXPECT_EQ(Put(L"shapeImage", path), S_OK);  // no frame: no region can be set
  VariantClear(&path);
  unique_variant result;
  EXPECT_EQ(Call(L"width", DISPATCH_PROPERTYPUT, {I4(50)}, result.get()), S_OK);
  EXPECT_EQ(result.vt(), VT_EMPTY);  // not the refusal (false) of a shaped window
}

TEST_F(WindowDispatch, InitializeNeedsCoreAndBrowser) {
  EXPECT_EQ(plugin_->Initialize(nullptr, nullptr), E_INVALIDARG);
}

}  // namespace
}  // namespace omb
