// The strict double of the platform's browser control, driven by the host's
// own container code (CAxHost) on a site that records what the control asks
// of it: the documented call sequences, the timing of the page's document
// and events, accelerators, page navigation and window.close(), and the
// thread contract.
#include <gtest/gtest.h>

#include <exdisp.h>
#include <exdispid.h>
#include <mshtml.h>
#include <mshtmdid.h>
#include <mshtmhst.h>
#include <olectl.h>
#include <urlmon.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/core/ax_host.h"
#include "sdk/com.h"
#include "sdk/dispatch.h"

namespace {

using Log = std::vector<std::string>;

std::string Joined(const Log& log) {
  std::string all;
  for (const auto& entry : log) all += (all.empty() ? "" : " | ") + entry;
  return all;
}

// page script's external: log(text) appends "page: <text>" to the log.
class PageLog : public omb::ComObject<PageLog, IDispatch> {
 public:
  explicit PageLog(Log* log) : log_(log) {}
  STDMETHODIMP GetTypeInfoCount(UINT* n) noexcept override {
    *n = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT, LCID, DISPID* ids) noexcept override {
    if (wcscmp(names[0], L"log") != 0) return DISP_E_UNKNOWNNAME;
    ids[0] = 1;
    return S_OK;
  }
  STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                      UINT*) noexcept override {
    if (params->cArgs != 1 || params->rgvarg[0].vt != VT_BSTR) return E_INVALIDARG;
    std::string text;
    for (const wchar_t* c = params->rgvarg[0].bstrVal; c && *c; ++c) text += static_cast<char>(*c);
    log_->push_back("page: " + text);
    return S_OK;
  }

 private:
  Log* log_;
};

// The container of the host with every site call the double makes recorded.
class RecordingSite final
    : public omb::ComObject<RecordingSite, IDocHostUIHandler, IDispatch, IOleCommandTarget,
                            IInternetSecurityManager, omb::CAxHost> {
 public:
  Log log;
  DWORD scriptPolicy = URLPOLICY_ALLOW;
  ComPtr<IDispatch> external = omb::Make<PageLog>(&log);

  HRESULT QueryOther(REFIID iid, void** out) noexcept { return QueryHostInterface(iid, out); }

  // IOleClientSite, IOleInPlaceSite, IOleInPlaceFrame, IOleControlSite
  STDMETHODIMP GetContainer(IOleContainer** c) noexcept override { return Note("GetContainer", CAxHost::GetContainer(c)); }
  STDMETHODIMP ShowObject() noexcept override { return Note("ShowObject", S_OK); }
  STDMETHODIMP GetWindow(HWND* w) noexcept override { return Note("GetWindow", CAxHost::GetWindow(w)); }
  STDMETHODIMP CanInPlaceActivate() noexcept override { return Note("CanInPlaceActivate", S_OK); }
  STDMETHODIMP OnInPlaceActivate() noexcept override {
    return Note("OnInPlaceActivate", CAxHost::OnInPlaceActivate());
  }
  STDMETHODIMP OnUIActivate() noexcept override { return Note("OnUIActivate", S_OK); }
  STDMETHODIMP GetWindowContext(IOleInPlaceFrame** f, IOleInPlaceUIWindow** d, RECT* p, RECT* c,
                                OLEINPLACEFRAMEINFO* i) noexcept override {
    return Note("GetWindowContext", CAxHost::GetWindowContext(f, d, p, c, i));
  }
  STDMETHODIMP OnUIDeactivate(BOOL) noexcept override { return Note("OnUIDeactivate", S_OK); }
  STDMETHODIMP OnInPlaceDeactivate() noexcept override {
    return Note("OnInPlaceDeactivate", CAxHost::OnInPlaceDeactivate());
  }
  STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject* o, LPCOLESTR n) noexcept override {
    return Note(o ? "SetActiveObject" : "SetActiveObject(null)", CAxHost::SetActiveObject(o, n));
  }
  STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) noexcept override { return Note("SetMenu", S_OK); }
  STDMETHODIMP OnFocus(BOOL got) noexcept override { return Note(got ? "OnFocus(1)" : "OnFocus(0)", S_OK); }
  STDMETHODIMP QueryService(REFGUID service, REFIID iid, void** out) noexcept override {
    if (service == __uuidof(IInternetSecurityManager) && iid == __uuidof(IInternetSecurityManager)) {
      *out = static_cast<IInternetSecurityManager*>(this);
      AddRef();
      return Note("QueryService(security)", S_OK);
    }
    return CAxHost::QueryService(service, iid, out);
  }

  // IDispatch: the ambient properties, each read as a property get without arguments.
  STDMETHODIMP GetTypeInfoCount(UINT* n) noexcept override {
    *n = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) noexcept override {
    return Note("ambient GetIDsOfNames", DISP_E_UNKNOWNNAME);
  }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT*,
                      EXCEPINFO*, UINT*) noexcept override {
    const bool plainGet = flags == DISPATCH_PROPERTYGET && params && params->cArgs == 0;
    return Note((plainGet ? "ambient " : "bad ambient call ") + std::to_string(id), E_FAIL);
  }

  // IDocHostUIHandler
  STDMETHODIMP ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*) noexcept override { return S_OK; }
  STDMETHODIMP GetHostInfo(DOCHOSTUIINFO*) noexcept override { return Note("GetHostInfo", S_OK); }
  STDMETHODIMP ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*, IOleInPlaceFrame*,
                      IOleInPlaceUIWindow*) noexcept override { return S_FALSE; }
  STDMETHODIMP HideUI() noexcept override { return S_OK; }
  STDMETHODIMP UpdateUI() noexcept override { return S_OK; }
  STDMETHODIMP EnableModeless(BOOL) noexcept override { return S_OK; }
  STDMETHODIMP OnDocWindowActivate(BOOL) noexcept override { return S_OK; }
  STDMETHODIMP OnFrameWindowActivate(BOOL) noexcept override { return S_OK; }
  STDMETHODIMP ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) noexcept override { return S_OK; }
  STDMETHODIMP TranslateAccelerator(LPMSG msg, const GUID*, DWORD) noexcept override {
    return Note("TranslateAccelerator " + std::to_string(msg->message), S_FALSE);
  }
  STDMETHODIMP GetOptionKeyPath(LPOLESTR* key, DWORD) noexcept override {
    *key = nullptr;
    return Note("GetOptionKeyPath", S_FALSE);
  }
  STDMETHODIMP GetDropTarget(IDropTarget*, IDropTarget** out) noexcept override {
    *out = nullptr;
    return Note("GetDropTarget", E_NOTIMPL);
  }
  STDMETHODIMP GetExternal(IDispatch** out) noexcept override { return external.CopyTo(out); }
  STDMETHODIMP TranslateUrl(DWORD, LPWSTR, LPWSTR* out) noexcept override {
    *out = nullptr;
    return Note("TranslateUrl", S_FALSE);
  }
  STDMETHODIMP FilterDataObject(IDataObject*, IDataObject** out) noexcept override {
    *out = nullptr;
    return S_FALSE;
  }

  // IOleCommandTarget
  STDMETHODIMP QueryStatus(const GUID*, ULONG, OLECMD*, OLECMDTEXT*) noexcept override {
    return OLECMDERR_E_UNKNOWNGROUP;
  }
  STDMETHODIMP Exec(const GUID*, DWORD command, DWORD, VARIANT*, VARIANT* out) noexcept override {
    if (out) omb::SetBool(out, true);
    return Note("Exec " + std::to_string(command), S_OK);
  }

  // IInternetSecurityManager
  STDMETHODIMP SetSecuritySite(IInternetSecurityMgrSite*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP GetSecuritySite(IInternetSecurityMgrSite**) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP MapUrlToZone(LPCWSTR, DWORD* zone, DWORD) noexcept override {
    *zone = URLZONE_LOCAL_MACHINE;
    return Note("MapUrlToZone", S_OK);
  }
  STDMETHODIMP GetSecurityId(LPCWSTR, BYTE*, DWORD*, DWORD_PTR) noexcept override {
    return INET_E_DEFAULT_ACTION;
  }
  STDMETHODIMP ProcessUrlAction(LPCWSTR, DWORD action, BYTE* policy, DWORD, BYTE*, DWORD, DWORD,
                                DWORD) noexcept override {
    memcpy(policy, &scriptPolicy, sizeof(DWORD));
    return Note("ProcessUrlAction " + std::to_string(action), S_OK);
  }
  STDMETHODIMP QueryCustomPolicy(LPCWSTR, REFGUID, BYTE**, DWORD*, BYTE*, DWORD,
                                 DWORD) noexcept override {
    return INET_E_DEFAULT_ACTION;
  }
  STDMETHODIMP SetZoneMapping(DWORD, LPCWSTR, DWORD) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP GetZoneMappings(DWORD, IEnumString**, DWORD) noexcept override { return E_NOTIMPL; }

 private:
  friend class omb::ComObject<RecordingSite, IDocHostUIHandler, IDispatch, IOleCommandTarget,
                              IInternetSecurityManager, omb::CAxHost>;
  ~RecordingSite() override { DestroyControl(); }

  HRESULT Note(const std::string& call, HRESULT answer) {
    log.push_back(call);
    return answer;
  }
};

// DWebBrowserEvents2 as the host sees it: which browser an event names (the
// control or a frame), the ready state and whether a document exists.
class EventRecorder : public omb::ComObject<EventRecorder, omb::InvokeOnly> {
 public:
  EventRecorder(Log* log, IUnknown* control) : log_(log), control_(control) {}
  bool cancelClosing = false;
  int documentsCompleted = 0;

  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                      UINT*) noexcept override {
    ComPtr<IWebBrowser2> browser;
    control_->QueryInterface(IID_PPV_ARGS(&browser));
    READYSTATE state = READYSTATE_UNINITIALIZED;
    browser->get_ReadyState(&state);
    switch (id) {
      case DISPID_BEFORENAVIGATE2:
        log_->push_back("BeforeNavigate2 state " + std::to_string(state));
        break;
      case DISPID_NAVIGATECOMPLETE2:
      case DISPID_DOCUMENTCOMPLETE: {
        ComPtr<IUnknown> named, self;
        params->rgvarg[1].pdispVal->QueryInterface(IID_PPV_ARGS(&named));
        control_->QueryInterface(IID_PPV_ARGS(&self));
        ComPtr<IDispatch> document;
        browser->get_Document(&document);
        log_->push_back(std::string(id == DISPID_NAVIGATECOMPLETE2 ? "NavigateComplete2 " : "DocumentComplete ") +
                        (named == self ? "page" : "frame") + (document ? " with document" : ""));
        if (id == DISPID_DOCUMENTCOMPLETE && named == self) ++documentsCompleted;
        break;
      }
      case DISPID_WINDOWCLOSING:
        log_->push_back("WindowClosing");
        if (cancelClosing) *params->rgvarg[0].pboolVal = VARIANT_TRUE;
        break;
      default:
        break;
    }
    return S_OK;
  }

 private:
  Log* log_;
  IUnknown* control_;
};

class BrowserDouble : public ::testing::Test {
 protected:
  using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
  using HookFn = void(__stdcall*)(const wchar_t*);
  using SetHookFn = void(__stdcall*)(HookFn);

  static void SetUpTestSuite() {
    OleInitialize(nullptr);
    wchar_t folder[MAX_PATH] = L"";
    GetEnvironmentVariableW(L"OMBREL_SUPPORT_DIR", folder, MAX_PATH);
    library_ = LoadLibraryW((std::wstring(folder) + L"\\browserdouble.dll").c_str());
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"BrowserDoubleTestHost";
    RegisterClassW(&wc);
  }

  void SetUp() override {
    ASSERT_TRUE(library_) << "browserdouble.dll not found in OMBREL_SUPPORT_DIR";
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    folder_ = std::wstring(temp) + L"double-test-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(folder_.c_str(), nullptr);
    window_ = CreateWindowExW(0, L"BrowserDoubleTestHost", L"", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0,
                              0, 400, 300, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    const auto getClassObject = reinterpret_cast<GetClassObjectFn>(
        reinterpret_cast<void (*)()>(GetProcAddress(library_, "DllGetClassObject")));
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(S_OK, getClassObject(CLSID_WebBrowser, IID_PPV_ARGS(&factory)));
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_PPV_ARGS(&control_)));
    control_.As(&browser_);
    site_ = omb::Make<RecordingSite>();
    events_ = omb::Make<EventRecorder>(&site_->log, control_.Get());
  }

  void TearDown() override {
    if (site_) site_->DestroyControl();
    browser_.Reset();
    control_.Reset();
    events_.Reset();
    site_.Reset();
    DestroyWindow(window_);
    Pump([] { return false; }, 20);
  }

  std::wstring Page(const std::wstring& name, const std::string& html) {
    const std::wstring path = folder_ + L"\\" + name;
    HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(f, html.data(), static_cast<DWORD>(html.size()), &written, nullptr);
    CloseHandle(f);
    return path;
  }

  static bool Pump(const std::function<bool()>& done, DWORD timeoutMs = 5000) {
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    while (!done()) {
      if (GetTickCount64() > end) return false;
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
      }
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
    return true;
  }

  // Everything logged from the first entry equal to `from` on (all if absent).
  Log From(const std::string& from) const {
    Log out;
    bool on = false;
    for (const auto& entry : site_->log) {
      on = on || entry == from;
      if (on) out.push_back(entry);
    }
    return out;
  }

  static inline HMODULE library_ = nullptr;
  std::wstring folder_;
  HWND window_ = nullptr;
  ComPtr<IUnknown> control_;
  ComPtr<IWebBrowser2> browser_;
  ComPtr<RecordingSite> site_;
  ComPtr<EventRecorder> events_;
};

TEST_F(BrowserDouble, CreationNavigationAndCloseCallTheSiteInTheDocumentedOrder) {
  const std::wstring page = Page(L"frames.html",
                                 "<iframe src='f.html'></iframe><script>external.log('ran')</script>");
  omb::unique_bstr location;
  EXPECT_EQ(S_FALSE, browser_->get_LocationURL(location.put()));
  ASSERT_EQ(S_OK, site_->AttachControl(window_, control_.Get(), page.c_str(), events_->Unknown()));
  // The synchronous part: the document does not exist yet.
  EXPECT_EQ(Log({"GetContainer", "GetWindow", "ambient -5501", "ambient -5502",  // SetClientSite
                 "CanInPlaceActivate", "GetWindow", "OnInPlaceActivate", "GetWindowContext",
                 "ShowObject", "GetContainer", "GetWindow",  // DoVerb(OLEIVERB_INPLACEACTIVATE)
                 "ambient -709", "BeforeNavigate2 state 1", "GetHostInfo", "ambient -5512",
                 "ambient -5513", "GetOptionKeyPath"}),  // Navigate
            site_->log)
      << Joined(site_->log);
  READYSTATE state = READYSTATE_COMPLETE;
  browser_->get_ReadyState(&state);
  EXPECT_EQ(READYSTATE_LOADING, state);
  ComPtr<IDispatch> document;
  browser_->get_Document(&document);
  EXPECT_FALSE(document);

  site_->log.clear();
  ASSERT_TRUE(Pump([&] { return events_->documentsCompleted == 1; }));
  EXPECT_EQ(Log({"QueryService(security)", "MapUrlToZone", "ProcessUrlAction 5120", "GetDropTarget",
                 "NavigateComplete2 page with document", "page: ran",
                 "NavigateComplete2 frame with document", "DocumentComplete frame with document",
                 "DocumentComplete page with document"}),
            site_->log)
      << Joined(site_->log);

  site_->log.clear();
  site_->FocusControl();  // DoVerb(OLEIVERB_UIACTIVATE)
  site_->DestroyControl();
  EXPECT_EQ(Log({"OnUIActivate", "SetActiveObject", "SetMenu", "OnFocus(1)",
                 "SetActiveObject(null)", "OnUIDeactivate", "OnFocus(0)", "OnInPlaceDeactivate"}),
            site_->log)
      << Joined(site_->log);
}

TEST_F(BrowserDouble, AcceleratorsReachTheSiteOnlyWhileUiActiveAndOnlyKeys) {
  ASSERT_EQ(S_OK, site_->AttachControl(window_, control_.Get(),
                                       Page(L"a.html", "<script>external.log('ran')</script>").c_str(),
                                       events_->Unknown()));
  ASSERT_TRUE(Pump([&] { return events_->documentsCompleted == 1; }));
  ComPtr<IOleInPlaceActiveObject> active;
  ASSERT_EQ(S_OK, control_.As(&active));
  MSG key = {window_, WM_KEYDOWN, 'C', 0, 0, {0, 0}};
  MSG click = {window_, WM_LBUTTONDOWN, 0, 0, 0, {0, 0}};
  site_->log.clear();
  EXPECT_EQ(S_FALSE, active->TranslateAccelerator(&key));  // in place, not UI-active
  site_->FocusControl();
  site_->log.clear();
  EXPECT_EQ(S_FALSE, active->TranslateAccelerator(&click));
  EXPECT_EQ(S_FALSE, active->TranslateAccelerator(&key));
  EXPECT_EQ(Log({"TranslateAccelerator 256"}), site_->log) << Joined(site_->log);

  // F5, which the site left alone, reloads the page without telling the sinks.
  MSG f5 = {window_, WM_KEYDOWN, VK_F5, 0, 0, {0, 0}};
  site_->log.clear();
  EXPECT_EQ(S_OK, active->TranslateAccelerator(&f5));
  ASSERT_TRUE(Pump([&] {
    READYSTATE state = READYSTATE_UNINITIALIZED;
    browser_->get_ReadyState(&state);
    return !From("page: ran").empty() && state == READYSTATE_COMPLETE;
  }));
  EXPECT_EQ(Log({"TranslateAccelerator 256", "QueryService(security)", "MapUrlToZone",
                 "ProcessUrlAction 5120", "page: ran"}),
            site_->log)
      << Joined(site_->log);
}

TEST_F(BrowserDouble, PageNavigationUnloadsTheOldPageAndWindowCloseDestroysTheControlWindow) {
  Page(L"b.html", "<script>window.onunload = function () { external.log('b unloaded'); };"
                  "external.log('b ran'); window.close();</script>");
  const std::wstring a = Page(L"a.html",
                              "<script>window.onunload = function () { external.log('a unloaded'); };"
                              "window.onload = function () {"
                              "  setTimeout(function () { location.href = 'b.html'; }, 0); };</script>");
  ASSERT_EQ(S_OK, site_->AttachControl(window_, control_.Get(), a.c_str(), events_->Unknown()));
  HWND controlWindow = nullptr;
  ComPtr<IOleWindow> ole;
  control_.As(&ole);
  ole->GetWindow(&controlWindow);
  ASSERT_TRUE(IsWindow(controlWindow));
  events_->cancelClosing = true;
  ASSERT_TRUE(Pump([&] { return events_->documentsCompleted == 2; }));
  const Log tail = From("TranslateUrl");
  // Asked while the old page is complete; the old page goes at the new one's
  // NavigateComplete2.
  EXPECT_EQ(Log({"TranslateUrl", "BeforeNavigate2 state 4", "page: a unloaded",
                 "QueryService(security)", "MapUrlToZone", "ProcessUrlAction 5120",
                 "NavigateComplete2 page with document", "page: b ran", "WindowClosing",
                 "DocumentComplete page with document"}),
            tail)
      << Joined(site_->log);
  EXPECT_TRUE(IsWindow(controlWindow));  // the host cancelled

  // Not cancelled, the control destroys its window; the page unloads.
  events_->cancelClosing = false;
  site_->log.clear();
  ComPtr<IDispatch> document;
  ComPtr<IHTMLDocument2> html;
  ComPtr<IHTMLWindow2> page;
  ASSERT_EQ(S_OK, browser_->get_Document(&document));
  ASSERT_EQ(S_OK, document.As(&html));
  ASSERT_EQ(S_OK, html->get_parentWindow(&page));
  EXPECT_EQ(S_OK, page->close());
  ASSERT_TRUE(Pump([&] { return !IsWindow(controlWindow); }));
  EXPECT_EQ(Log({"WindowClosing", "page: b unloaded", "OnInPlaceDeactivate"}), site_->log)
      << Joined(site_->log);
}

TEST_F(BrowserDouble, ADeniedScriptRunKeepsThePageScriptsFromRunning) {
  site_->scriptPolicy = URLPOLICY_DISALLOW;
  ASSERT_EQ(S_OK, site_->AttachControl(window_, control_.Get(),
                                       Page(L"a.html", "<script>external.log('ran')</script>").c_str(),
                                       events_->Unknown()));
  ASSERT_TRUE(Pump([&] { return events_->documentsCompleted == 1; }));
  EXPECT_EQ(Log{}, From("page: ran"));
}

std::vector<std::wstring> g_violations;
void __stdcall RecordViolation(const wchar_t* text) { g_violations.push_back(text); }

TEST_F(BrowserDouble, CallsFromAnotherThreadAreFaults) {
  const auto setHook = reinterpret_cast<SetHookFn>(
      reinterpret_cast<void (*)()>(GetProcAddress(library_, "SetBrowserDoubleViolationHook")));
  ASSERT_TRUE(setHook);
  setHook(&RecordViolation);
  g_violations.clear();
  IWebBrowser2* browser = browser_.Get();
  std::thread([browser] {
    browser->AddRef();
    READYSTATE state;
    browser->get_ReadyState(&state);
    browser->Release();
  }).join();
  setHook(nullptr);
  ASSERT_EQ(3u, g_violations.size());
  EXPECT_NE(std::wstring::npos, g_violations[0].find(L"AddRef called on thread"));
  EXPECT_NE(std::wstring::npos, g_violations[1].find(L"get_ReadyState"));
}

}  // namespace
