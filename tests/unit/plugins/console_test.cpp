#include <gtest/gtest.h>

#include <string>

#include "app/core/plugin_registry.h"
#include "app/plugins/console/console_plugin.h"
#include "sdk/dispatch.h"

namespace {

// Captures what OutputDebugString writes: the platform raises a debug-print
// exception that a vectored handler can read before any debugger would.
std::wstring g_debugOutput;

LONG CALLBACK CaptureDebugPrint(EXCEPTION_POINTERS* info) {
  const EXCEPTION_RECORD* record = info->ExceptionRecord;
  if (record->ExceptionCode == 0x4001000A /* wide */ && record->NumberParameters >= 2) {
    g_debugOutput += reinterpret_cast<const wchar_t*>(record->ExceptionInformation[1]);
    return EXCEPTION_CONTINUE_EXECUTION;
  }
  if (record->ExceptionCode == DBG_PRINTEXCEPTION_C && record->NumberParameters >= 2) {
    const char* text = reinterpret_cast<const char*>(record->ExceptionInformation[1]);
    g_debugOutput += std::wstring(text, text + strlen(text));
    return EXCEPTION_CONTINUE_EXECUTION;
  }
  return EXCEPTION_CONTINUE_SEARCH;
}

class ConsoleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    handler_ = AddVectoredExceptionHandler(1, CaptureDebugPrint);
    g_debugOutput.clear();
    console_ = omb::Make<omb::CConsolePlugin>();
  }
  void TearDown() override { RemoveVectoredExceptionHandler(handler_); }

  DISPID Id(const wchar_t* name) {
    DISPID id = 0;
    LPOLESTR n = const_cast<LPOLESTR>(name);
    last_ = console_->GetIDsOfNames(IID_NULL, &n, 1, LOCALE_USER_DEFAULT, &id);
    return id;
  }
  // Calls a member with arguments in script order.
  HRESULT Call(DISPID id, WORD flags, std::initializer_list<VARIANT> args, VARIANT* result) {
    std::vector<VARIANT> reversed(args.begin(), args.end());
    std::reverse(reversed.begin(), reversed.end());
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params{reversed.data(), (flags & DISPATCH_PROPERTYPUT) ? &named : nullptr,
                      static_cast<UINT>(reversed.size()), (flags & DISPATCH_PROPERTYPUT) ? 1u : 0u};
    return console_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, nullptr,
                            nullptr);
  }
  static VARIANT Str(BSTR s) {
    VARIANT v;
    v.vt = VT_BSTR;
    v.bstrVal = s;
    return v;
  }

  PVOID handler_ = nullptr;
  ComPtr<omb::CConsolePlugin> console_;
  HRESULT last_ = S_OK;
};

TEST_F(ConsoleTest, HasExactlyLogAndShowJsError) {
  EXPECT_EQ(Id(L"log"), omb::CConsolePlugin::kLog);
  EXPECT_EQ(last_, S_OK);
  EXPECT_EQ(Id(L"showJsError"), omb::CConsolePlugin::kShowJsError);
  for (const wchar_t* other : {L"warn", L"error", L"", L"logx"}) {
    Id(other);
    EXPECT_EQ(last_, DISP_E_UNKNOWNNAME) << other;
  }
  VARIANT result;
  VariantInit(&result);
  EXPECT_EQ(Call(DISPID_VALUE, DISPATCH_METHOD, {}, &result), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(Call(-6997, DISPATCH_METHOD, {}, &result), DISP_E_UNKNOWNNAME);
}

TEST_F(ConsoleTest, LogWritesTheFirstStringWithALineFeed) {
  omb::unique_bstr a(SysAllocString(L"first \u00E9"));
  omb::unique_bstr b(SysAllocString(L"ignored"));
  EXPECT_EQ(Call(omb::CConsolePlugin::kLog, DISPATCH_METHOD, {Str(a.get()), Str(b.get())}, nullptr),
            S_OK);
  EXPECT_NE(g_debugOutput.find(L"first"), std::wstring::npos);
  EXPECT_EQ(g_debugOutput.back(), L'\n');
  EXPECT_EQ(g_debugOutput.find(L"ignored"), std::wstring::npos);
}

TEST_F(ConsoleTest, LogOfANumberWritesNothingAndWithoutArgumentsFails) {
  VARIANT n;
  omb::SetI4(&n, 42);
  EXPECT_EQ(Call(omb::CConsolePlugin::kLog, DISPATCH_METHOD, {n}, nullptr), S_OK);
  EXPECT_TRUE(g_debugOutput.empty());
  EXPECT_EQ(Call(omb::CConsolePlugin::kLog, DISPATCH_METHOD, {}, nullptr), E_FAIL);
  // Read as a property, "log" writes nothing and gives an empty value.
  omb::unique_bstr a(SysAllocString(L"x"));
  omb::unique_variant result;
  omb::SetI4(result.get(), 7);
  EXPECT_EQ(Call(omb::CConsolePlugin::kLog, DISPATCH_PROPERTYGET | DISPATCH_METHOD,
                 {Str(a.get())}, result.get()),
            S_OK);
  EXPECT_EQ(result.vt(), VT_EMPTY);
  EXPECT_TRUE(g_debugOutput.empty());
}

TEST_F(ConsoleTest, ShowJsErrorKeepsWhateverScriptWrote) {
  omb::unique_variant value;
  EXPECT_EQ(Call(omb::CConsolePlugin::kShowJsError, DISPATCH_PROPERTYGET, {}, value.get()), S_OK);
  EXPECT_EQ(value.vt(), VT_EMPTY);

  VARIANT f;
  omb::SetBool(&f, false);
  EXPECT_EQ(Call(omb::CConsolePlugin::kShowJsError, DISPATCH_PROPERTYPUT, {f}, nullptr), S_OK);
  EXPECT_EQ(Call(omb::CConsolePlugin::kShowJsError, DISPATCH_PROPERTYGET, {}, value.put()), S_OK);
  EXPECT_EQ(value.vt(), VT_BOOL);
  EXPECT_EQ(value->boolVal, VARIANT_FALSE);

  omb::unique_bstr s(SysAllocString(L"yes"));
  EXPECT_EQ(Call(omb::CConsolePlugin::kShowJsError, DISPATCH_PROPERTYPUT, {Str(s.get())}, nullptr),
            S_OK);
  EXPECT_EQ(Call(omb::CConsolePlugin::kShowJsError, DISPATCH_PROPERTYGET, {}, value.put()), S_OK);
  ASSERT_EQ(value.vt(), VT_BSTR);
  EXPECT_STREQ(value->bstrVal, L"yes");

  EXPECT_EQ(Call(omb::CConsolePlugin::kShowJsError, DISPATCH_METHOD, {}, value.put()), E_FAIL);
}

TEST_F(ConsoleTest, AnswersThePluginContract) {
  ComPtr<OMB::IPlugin> plugin;
  ASSERT_EQ(console_.As(&plugin), S_OK);
  EXPECT_EQ(plugin->Initialize(nullptr, nullptr), S_OK);
  EXPECT_EQ(plugin->OnNavigateComplete(0), E_NOTIMPL);
  EXPECT_EQ(plugin->OnDocumentComplete(0), E_NOTIMPL);

  const omb::RegisteredPlugin* entry = omb::FindRegisteredPlugin(L"console");
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(entry->flags, 0u);
  ComPtr<OMB::IPlugin> made;
  EXPECT_EQ(entry->factory(__uuidof(OMB::IPlugin), reinterpret_cast<void**>(&made)), S_OK);
  ComPtr<IDispatch> dispatch;
  EXPECT_EQ(made.As(&dispatch), S_OK);
}

}  // namespace
