// The host site's external object (window.external): name resolution,
// plug-in creation with catch-up notifications, property reads and the
// loadPlugin / createWindow methods; and the site's plug-in lifetime.
#include <gtest/gtest.h>

#include <exdispid.h>

#include "app/core/browser_host.h"
#include "app/core/script_call.h"
#include "app/core/script_object.h"
#include "tests/unit/host/host_test_support.h"

namespace {

using hosttest::Call;
using hosttest::I4;
using hosttest::IdOf;
using hosttest::PluginLog;
using omb::CWebBrowserHost;

class ExternalObject : public ::testing::Test {
 protected:
  void SetUp() override {
    hosttest::RegisterTestPlugins();
    PluginLog().clear();
    host = omb::Make<CWebBrowserHost>();
    ASSERT_TRUE(host);
  }
  IDispatch* External() { return static_cast<IDispatch*>(host.Get()); }

  ComPtr<CWebBrowserHost> host;
};

TEST_F(ExternalObject, OwnMethodsResolveBeforePluginNamesAndNamesAreCaseSensitive) {
  DISPID id = 0;
  ASSERT_EQ(S_OK, IdOf(External(), L"loadPlugin", &id));
  EXPECT_EQ(-6999, id);
  ASSERT_EQ(S_OK, IdOf(External(), L"createWindow", &id));
  EXPECT_EQ(-6998, id);
  EXPECT_EQ(DISP_E_UNKNOWNNAME, IdOf(External(), L"LoadPlugin", &id));
  EXPECT_EQ(DISP_E_UNKNOWNNAME, IdOf(External(), L"noSuchPlugin", &id));
  EXPECT_EQ(DISPID_UNKNOWN, id);
  EXPECT_EQ(DISP_E_UNKNOWNNAME, IdOf(External(), L"Console", &id));
  EXPECT_TRUE(PluginLog().empty());
}

TEST_F(ExternalObject, FirstLookupCreatesAndInitialisesOnceThenKeepsTheDispId) {
  DISPID first = 0, second = 0;
  ASSERT_EQ(S_OK, IdOf(External(), hosttest::kKeptName, &first));
  ASSERT_EQ(S_OK, IdOf(External(), hosttest::kKeptName, &second));
  EXPECT_EQ(first, second);
  EXPECT_LE(first, -6001);
  EXPECT_EQ((std::vector<std::wstring>{L"init hostKept"}), PluginLog());

  // Another window names the same plug-in with a new DISPID.
  auto other = omb::Make<CWebBrowserHost>();
  DISPID elsewhere = 0;
  ASSERT_EQ(S_OK, IdOf(static_cast<IDispatch*>(other.Get()), hosttest::kKeptName, &elsewhere));
  EXPECT_NE(first, elsewhere);
}

TEST_F(ExternalObject, FailingCreationSurfacesItsCodeAndIsRetriedNextTime) {
  const int before = hosttest::FailingFactoryCalls();
  DISPID id = 0;
  EXPECT_EQ(E_OUTOFMEMORY, IdOf(External(), hosttest::kFailingName, &id));
  EXPECT_EQ(E_OUTOFMEMORY, IdOf(External(), hosttest::kFailingName, &id));
  EXPECT_EQ(before + 2, hosttest::FailingFactoryCalls());
}

TEST_F(ExternalObject, PluginsCreatedAfterNavigationCatchUpOnNotifications) {
  DISPID kept = 0, late = 0;
  ASSERT_EQ(S_OK, IdOf(External(), hosttest::kKeptName, &kept));
  // No control: the start-up script cannot be injected, the rest goes on.
  EXPECT_EQ(S_OK, host->OnBrowserEvent(DISPID_NAVIGATECOMPLETE2));
  EXPECT_EQ(S_OK, host->OnBrowserEvent(DISPID_DOCUMENTCOMPLETE));
  EXPECT_EQ(omb::NavigationState::kDocumentComplete, host->Navigation());
  ASSERT_EQ(S_OK, IdOf(External(), hosttest::kLateName, &late));
  EXPECT_EQ((std::vector<std::wstring>{L"init hostKept", L"nav hostKept", L"doc hostKept",
                                       L"init hostLate", L"nav hostLate", L"doc hostLate"}),
            PluginLog());

  // A new navigation: state 1, and a plug-in created now hears only "nav".
  PluginLog().clear();
  EXPECT_EQ(S_OK, host->OnBrowserEvent(DISPID_NAVIGATECOMPLETE2));
  EXPECT_EQ(omb::NavigationState::kNavigated, host->Navigation());
  DISPID fresh = 0;
  ASSERT_EQ(S_OK, IdOf(External(), hosttest::kFreshName, &fresh));
  // Kept plug-ins hear in DISPID order: the later name has the lower DISPID.
  EXPECT_EQ((std::vector<std::wstring>{L"nav hostLate", L"nav hostKept", L"init hostFresh",
                                       L"nav hostFresh"}),
            PluginLog());
  EXPECT_EQ(S_OK, host->OnBrowserEvent(DISPID_BEFORENAVIGATE2));  // ignored
  EXPECT_EQ(omb::NavigationState::kNavigated, host->Navigation());
}

TEST_F(ExternalObject, PropertyReadsGiveKeptOrFreshInstancesAndLeaveOtherResultsUntouched) {
  DISPID kept = 0, fresh = 0;
  ASSERT_EQ(S_OK, IdOf(External(), hosttest::kKeptName, &kept));
  ASSERT_EQ(S_OK, IdOf(External(), hosttest::kFreshName, &fresh));
  omb::unique_variant a, b, c, d;
  ASSERT_EQ(S_OK, Call(External(), kept, DISPATCH_PROPERTYGET, {}, a.get()));
  ASSERT_EQ(S_OK, Call(External(), kept, DISPATCH_PROPERTYGET, {}, b.get()));
  ASSERT_EQ(VT_UNKNOWN, a.vt());
  EXPECT_EQ(a->punkVal, b->punkVal);
  ASSERT_EQ(S_OK, Call(External(), fresh, DISPATCH_PROPERTYGET, {}, c.get()));
  ASSERT_EQ(S_OK, Call(External(), fresh, DISPATCH_PROPERTYGET, {}, d.get()));
  ASSERT_EQ(VT_UNKNOWN, c.vt());
  EXPECT_NE(c->punkVal, d->punkVal);

  // loadPlugin and createWindow read as properties, and ambient-property
  // queries: S_OK with the result left as it was (script sees undefined).
  for (DISPID id : {DISPID(-6999), DISPID(-6998), DISPID(-5512), DISPID(12345)}) {
    VARIANT untouched = I4(77);
    EXPECT_EQ(S_OK, Call(External(), id, DISPATCH_PROPERTYGET, {}, &untouched)) << id;
    EXPECT_EQ(VT_I4, untouched.vt);
    EXPECT_EQ(77, untouched.lVal);
  }
  EXPECT_EQ(E_INVALIDARG, Call(External(), kept, DISPATCH_PROPERTYGET, {}, nullptr));
  EXPECT_EQ(E_NOTIMPL, Call(External(), kept, DISPATCH_PROPERTYPUT, {I4(1)}, nullptr));
  EXPECT_EQ(E_NOTIMPL, Call(External(), kept, DISPATCH_METHOD, {}, nullptr));
}

TEST_F(ExternalObject, QueryPluginReadsLikeScriptAndNeedsAnObject) {
  ComPtr<IDispatch> plugin;
  EXPECT_EQ(E_INVALIDARG, host->QueryPlugin(hosttest::kKeptName, nullptr));
  ASSERT_EQ(S_OK, host->QueryPlugin(hosttest::kKeptName, &plugin));
  ComPtr<IDispatch> again;
  ASSERT_EQ(S_OK, host->QueryPlugin(hosttest::kKeptName, &again));
  EXPECT_EQ(plugin.Get(), again.Get());
  EXPECT_EQ(DISP_E_UNKNOWNNAME, host->QueryPlugin(L"noSuchPlugin", &plugin));
  EXPECT_FALSE(plugin);
  EXPECT_TRUE(FAILED(host->QueryPlugin(L"loadPlugin", &plugin)));
  EXPECT_FALSE(plugin);
}

TEST_F(ExternalObject, LoadPluginAnswersFalseForAFileThatIsNoImage) {
  omb::unique_variant result;
  EXPECT_EQ(E_INVALIDARG, Call(External(), -6999, DISPATCH_METHOD, {}, result.get()));
  omb::unique_bstr missing(SysAllocString(L"C:\\no\\such\\plugin.dll"));
  ASSERT_EQ(S_OK, Call(External(), -6999, DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                       {ArgString(missing.get())}, result.get()));
  ASSERT_EQ(VT_BOOL, result.vt());
  EXPECT_EQ(VARIANT_FALSE, result->boolVal);
  // A non-string argument is converted, not refused.
  EXPECT_EQ(S_OK, Call(External(), -6999, DISPATCH_METHOD, {I4(5)}, result.put()));
  EXPECT_EQ(VARIANT_FALSE, result->boolVal);
}

TEST_F(ExternalObject, CreateWindowReadsTypedOptionsAndAnswersTheWindowOrNull) {
  auto core = omb::Make<hosttest::FakeCore>();
  ASSERT_EQ(S_OK, host->SetCore(core.Get(), nullptr));

  ComPtr<IDispatch> options;
  ASSERT_EQ(S_OK, CreateScriptObject(L"object", &options));
  omb::unique_bstr url(SysAllocString(L"b.html"));
  ASSERT_EQ(S_OK, WriteMemberByName(options.Get(), L"url", ArgString(url.get())));
  ASSERT_EQ(S_OK, WriteMemberByName(options.Get(), L"inherit", ArgBool(true)));
  ASSERT_EQ(S_OK, WriteMemberByName(options.Get(), L"context", I4(42)));

  omb::unique_variant result;
  ASSERT_EQ(S_OK, Call(External(), -6998, DISPATCH_METHOD, {ArgObject(options.Get())}, result.get()));
  ASSERT_EQ(1u, core->requests.size());
  EXPECT_EQ(L"b.html", core->requests[0].url);
  EXPECT_TRUE(core->requests[0].inherit);
  EXPECT_EQ(VT_EMPTY, core->requests[0].callbackType);
  EXPECT_EQ(VT_I4, core->requests[0].contextType);
  EXPECT_EQ(42, core->requests[0].contextValue);
  // No window: a null object, and still S_OK.
  EXPECT_EQ(VT_DISPATCH, result.vt());
  EXPECT_EQ(nullptr, result->pdispVal);

  // Options of the wrong type count as absent.
  ComPtr<IDispatch> wrong;
  ASSERT_EQ(S_OK, CreateScriptObject(L"object", &wrong));
  ASSERT_EQ(S_OK, WriteMemberByName(wrong.Get(), L"url", I4(3)));
  ASSERT_EQ(S_OK, WriteMemberByName(wrong.Get(), L"inherit", I4(1)));
  core->windowToGive = wrong;  // any object stands for the new window plug-in
  ASSERT_EQ(S_OK, Call(External(), -6998, DISPATCH_METHOD, {ArgObject(wrong.Get())}, result.put()));
  ASSERT_EQ(2u, core->requests.size());
  EXPECT_FALSE(core->requests[1].urlGiven);
  EXPECT_FALSE(core->requests[1].inherit);
  ASSERT_EQ(VT_DISPATCH, result.vt());
  EXPECT_EQ(wrong.Get(), result->pdispVal);

  EXPECT_EQ(E_INVALIDARG, Call(External(), -6998, DISPATCH_METHOD, {}, result.put()));
  EXPECT_EQ(E_NOTIMPL, Call(External(), -6001 + 100, DISPATCH_METHOD, {}, result.put()));
}

TEST_F(ExternalObject, ReleasePluginsLetsKeptPluginsAndTheCoreGoForGood) {
  auto core = omb::Make<hosttest::FakeCore>();
  const ULONG alone = core->Refs();
  ASSERT_EQ(S_OK, host->SetCore(core.Get(), nullptr));
  EXPECT_GT(core->Refs(), alone);
  const int liveBefore = hosttest::LivePlugins();
  DISPID kept = 0;
  ASSERT_EQ(S_OK, IdOf(External(), hosttest::kKeptName, &kept));
  EXPECT_EQ(liveBefore + 1, hosttest::LivePlugins());

  EXPECT_EQ(S_OK, host->ReleasePlugins());
  EXPECT_EQ(liveBefore, hosttest::LivePlugins());
  EXPECT_EQ(alone, core->Refs());
  // The window is gone: no plug-in is made for it any more (it would have no core).
  PluginLog().clear();
  EXPECT_EQ(DISP_E_UNKNOWNNAME, IdOf(External(), hosttest::kKeptName, &kept));
  EXPECT_TRUE(PluginLog().empty());
}

}  // namespace
