// The container: the order in which it sites, activates, connects and tears
// down a control, and what the control gets from the site while it activates.
#include <gtest/gtest.h>

#include <exdisp.h>

#include <string>
#include <vector>

#include "app/core/ax_host.h"
#include "app/core/browser_host.h"
#include "sdk/dispatch.h"

namespace {

using omb::CWebBrowserHost;

// A control that records what its container does and, like a real control,
// asks the site for its in-place context while it activates.
class FakeControl : public omb::ComObject<FakeControl, IOleObject, IOleInPlaceObject,
                                          IPersistStreamInit, IConnectionPointContainer,
                                          IConnectionPoint> {
 public:
  std::vector<std::wstring> log;
  HRESULT doVerbResult = S_OK;
  bool frameGiven = false;
  HWND frameWindow = nullptr;
  RECT position = {};
  RECT lastObjectRect = {};
  ComPtr<IOleClientSite> site;
  ComPtr<IUnknown> sink;

  // IOleObject
  STDMETHODIMP SetClientSite(IOleClientSite* s) noexcept override {
    log.push_back(s ? L"SetClientSite" : L"SetClientSite(null)");
    site = s;
    return S_OK;
  }
  STDMETHODIMP GetClientSite(IOleClientSite** s) noexcept override { return site.CopyTo(s); }
  STDMETHODIMP SetHostNames(LPCOLESTR, LPCOLESTR) noexcept override { return S_OK; }
  STDMETHODIMP Close(DWORD) noexcept override {
    log.push_back(L"Close");
    return S_OK;
  }
  STDMETHODIMP SetMoniker(DWORD, IMoniker*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker**) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP InitFromData(IDataObject*, BOOL, DWORD) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP GetClipboardData(DWORD, IDataObject**) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP DoVerb(LONG verb, LPMSG, IOleClientSite* active, LONG, HWND parent,
                      LPCRECT) noexcept override {
    log.push_back(L"DoVerb " + std::to_wstring(verb));
    if (FAILED(doVerbResult)) return doVerbResult;
    ComPtr<IOleInPlaceSite> inPlace;
    if (!active || FAILED(active->QueryInterface(IID_PPV_ARGS(&inPlace)))) return E_NOINTERFACE;
    if (inPlace->CanInPlaceActivate() != S_OK) return E_FAIL;
    inPlace->OnInPlaceActivate();
    ComPtr<IOleInPlaceFrame> frame;
    ComPtr<IOleInPlaceUIWindow> document;
    RECT clip;
    OLEINPLACEFRAMEINFO info = {};
    info.cb = sizeof(info);
    if (FAILED(inPlace->GetWindowContext(&frame, &document, &position, &clip, &info))) return E_FAIL;
    frameGiven = frame != nullptr;
    frameWindow = info.hwndFrame;
    HWND siteWindow = nullptr;
    inPlace->GetWindow(&siteWindow);
    if (siteWindow != parent) return E_FAIL;
    return S_OK;
  }
  STDMETHODIMP EnumVerbs(IEnumOLEVERB**) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP Update() noexcept override { return S_OK; }
  STDMETHODIMP IsUpToDate() noexcept override { return S_OK; }
  STDMETHODIMP GetUserClassID(CLSID*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP GetUserType(DWORD, LPOLESTR*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP SetExtent(DWORD, SIZEL*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP GetExtent(DWORD, SIZEL*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP Advise(IAdviseSink*, DWORD*) noexcept override { return E_NOTIMPL; }
  // Unadvise(DWORD) of IOleObject and IConnectionPoint is the one below.
  STDMETHODIMP EnumAdvise(IEnumSTATDATA**) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP GetMiscStatus(DWORD, DWORD* status) noexcept override {
    *status = OLEMISC_SETCLIENTSITEFIRST;
    return S_OK;
  }
  STDMETHODIMP SetColorScheme(LOGPALETTE*) noexcept override { return E_NOTIMPL; }

  // IOleInPlaceObject
  STDMETHODIMP GetWindow(HWND* w) noexcept override {
    *w = nullptr;
    return E_FAIL;
  }
  STDMETHODIMP ContextSensitiveHelp(BOOL) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP InPlaceDeactivate() noexcept override {
    log.push_back(L"InPlaceDeactivate");
    return S_OK;
  }
  STDMETHODIMP UIDeactivate() noexcept override { return S_OK; }
  STDMETHODIMP SetObjectRects(LPCRECT position, LPCRECT) noexcept override {
    lastObjectRect = *position;
    return S_OK;
  }
  STDMETHODIMP ReactivateAndUndo() noexcept override { return E_NOTIMPL; }

  // IPersistStreamInit
  STDMETHODIMP GetClassID(CLSID*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP IsDirty() noexcept override { return S_FALSE; }
  STDMETHODIMP Load(LPSTREAM) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP Save(LPSTREAM, BOOL) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP GetSizeMax(ULARGE_INTEGER*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP InitNew() noexcept override {
    log.push_back(L"InitNew");
    return S_OK;
  }

  // IConnectionPointContainer
  STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints**) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP FindConnectionPoint(REFIID iid, IConnectionPoint** point) noexcept override {
    *point = nullptr;
    if (iid != DIID_DWebBrowserEvents2) return CONNECT_E_NOCONNECTION;
    *point = this;
    AddRef();
    return S_OK;
  }

  // IConnectionPoint
  STDMETHODIMP GetConnectionInterface(IID* iid) noexcept override {
    *iid = DIID_DWebBrowserEvents2;
    return S_OK;
  }
  STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** c) noexcept override {
    *c = this;
    AddRef();
    return S_OK;
  }
  STDMETHODIMP Advise(IUnknown* s, DWORD* cookie) noexcept override {
    log.push_back(L"Advise");
    sink = s;
    *cookie = 7;
    return S_OK;
  }
  STDMETHODIMP Unadvise(DWORD cookie) noexcept override {
    log.push_back(L"Unadvise " + std::to_wstring(cookie));
    sink = nullptr;
    return S_OK;
  }
  STDMETHODIMP EnumConnections(IEnumConnections**) noexcept override { return E_NOTIMPL; }
};

class EventSink : public omb::ComObject<EventSink, omb::InvokeOnly> {
 public:
  STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) noexcept override {
    return S_OK;
  }
};

class Container : public ::testing::Test {
 protected:
  void SetUp() override {
    window = CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, nullptr,
                             nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_TRUE(window);
    host = omb::Make<CWebBrowserHost>();
    control = omb::Make<FakeControl>();
    sink = omb::Make<EventSink>();
  }
  void TearDown() override {
    if (host) host->DestroyControl();
    DestroyWindow(window);
  }

  HWND window = nullptr;
  ComPtr<CWebBrowserHost> host;
  ComPtr<FakeControl> control;
  ComPtr<EventSink> sink;
};

TEST_F(Container, SitesActivatesAndConnectsInOrderAndTearsDownInReverse) {
  ASSERT_EQ(S_OK, host->AttachControl(window, static_cast<IOleObject*>(control.Get()), nullptr,
                                      static_cast<IDispatch*>(sink.Get())));
  EXPECT_EQ((std::vector<std::wstring>{L"SetClientSite", L"InitNew", L"DoVerb -5", L"Advise"}),
            control->log);
  EXPECT_TRUE(control->frameGiven);
  EXPECT_EQ(window, control->frameWindow);
  RECT client;
  GetClientRect(window, &client);
  EXPECT_EQ(client.right, control->position.right);
  EXPECT_EQ(client.bottom, control->position.bottom);
  EXPECT_EQ(static_cast<IUnknown*>(static_cast<IOleObject*>(control.Get())), host->Control());
  EXPECT_EQ(static_cast<IUnknown*>(static_cast<IDispatch*>(sink.Get())), control->sink.Get());

  control->log.clear();
  host->DestroyControl();
  EXPECT_EQ((std::vector<std::wstring>{L"Unadvise 7", L"InPlaceDeactivate", L"Close",
                                       L"SetClientSite(null)"}),
            control->log);
  EXPECT_EQ(nullptr, host->Control());
  EXPECT_FALSE(control->site);
  EXPECT_FALSE(control->sink);
  control->log.clear();
  host->DestroyControl();  // nothing left to do
  EXPECT_TRUE(control->log.empty());
}

TEST_F(Container, AFailedActivationLeavesNoControlAndNoSite) {
  control->doVerbResult = E_UNEXPECTED;
  EXPECT_EQ(E_UNEXPECTED, host->AttachControl(window, static_cast<IOleObject*>(control.Get()),
                                              nullptr, static_cast<IDispatch*>(sink.Get())));
  EXPECT_EQ(nullptr, host->Control());
  EXPECT_FALSE(control->site);
  EXPECT_EQ(L"SetClientSite(null)", control->log.back());
  EXPECT_EQ(E_INVALIDARG, host->AttachControl(nullptr, static_cast<IOleObject*>(control.Get()),
                                              nullptr, nullptr));
}

TEST_F(Container, TheControlFollowsTheWindowsSize) {
  ASSERT_EQ(S_OK, host->AttachControl(window, static_cast<IOleObject*>(control.Get()), nullptr,
                                      nullptr));
  SetWindowPos(window, nullptr, 0, 0, 420, 380, SWP_NOMOVE | SWP_NOZORDER);
  host->FitControlToWindow();
  RECT client;
  GetClientRect(window, &client);
  EXPECT_EQ(client.right, control->lastObjectRect.right);
  EXPECT_EQ(client.bottom, control->lastObjectRect.bottom);
  RECT moved = {1, 2, 30, 40};
  EXPECT_EQ(S_OK, host->OnPosRectChange(&moved));
  EXPECT_EQ(40, control->lastObjectRect.bottom);
}

TEST(AxMessages, AreRegisteredUnderTheirAtlNames) {
  EXPECT_EQ(RegisterWindowMessageW(L"WM_ATLGETHOST"), omb::AxGetHostMessage());
  EXPECT_EQ(RegisterWindowMessageW(L"WM_ATLGETCONTROL"), omb::AxGetControlMessage());
  EXPECT_NE(omb::AxGetHostMessage(), omb::AxGetControlMessage());
  // A window that holds no host answers nothing.
  HWND plain = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 10, 10, nullptr, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
  EXPECT_FALSE(omb::AxGetHost(plain));
  EXPECT_FALSE(omb::AxGetControl(plain));
  DestroyWindow(plain);
}

}  // namespace
