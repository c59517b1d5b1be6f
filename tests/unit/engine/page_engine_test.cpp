// The engine in a real window with a minimal container: navigation order,
// the script world a host relies on, and the host-facing COM contract.
#include "tests/unit/engine/engine_test_site.h"

namespace omb::engine::test {
namespace {

std::wstring UrlOf(const std::wstring& path) {
  std::wstring url = L"file:///";
  for (wchar_t c : path) {
    if (c == L'\\')
      url += L'/';
    else if (c == L' ')
      url += L"%20";
    else
      url += c;
  }
  return url;
}

TEST_F(EngineTest, NavigationRunsStartupScriptThenPageScriptsThenCompletes) {
  CreateEngine();
  WriteFile(L"js\\second.js", "external.log('src ' + typeof fromStartup + ' ' + first);");
  const std::wstring page = WriteFile(
      L"index.html",
      "<html><head><script>var first = 'one'; external.log('inline ' + fromStartup);</script>\n"
      "<script src=\"js/second.js\"></script><script "
      "type=\"text/template\">external.log('template')</script>"
      "</head><body><script>document.addEventListener('DOMContentLoaded', "
      "function(){external.log('ready')});"
      "window.onload = function(){external.log('onload ' + "
      "document.readyState)};</script></body></html>");
  startupScript_ = L"external.log('startup'); fromStartup = 'yes';";
  Load(page);
  const std::wstring url = UrlOf(page);
  const Log expected = {L"nav " + url, L"startup",         L"inline yes", L"src string one",
                        L"ready",      L"onload complete", L"doc " + url};
  EXPECT_EQ(log_, expected) << Joined();
}

TEST_F(EngineTest, DocumentAndScriptObjectExistRightAfterNavigate) {
  CreateEngine();
  Navigate(WriteFile(L"a.html", "<script>external.log('ctx ' + windowContext);</script>"));
  // Before any message is pumped: publish a global the way createWindow does.
  ComPtr<IDispatchEx> script = ScriptObject();
  ASSERT_TRUE(script);
  unique_bstr name(SysAllocString(L"windowContext"));
  DISPID id = DISPID_UNKNOWN;
  ASSERT_EQ(script->GetDispID(name.get(), fdexNameEnsure | fdexNameCaseSensitive, &id), S_OK);
  VARIANT value;
  SetI4(&value, 7);
  DISPID putId = DISPID_PROPERTYPUT;
  DISPPARAMS params{&value, &putId, 1, 1};
  ASSERT_EQ(script->InvokeEx(id, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &params, nullptr,
                             nullptr, nullptr),
            S_OK);
  EXPECT_TRUE(log_.empty());  // nothing ran yet
  ASSERT_TRUE(Pump([&] { return documentsCompleted_ == 1; }));
  EXPECT_TRUE(Logged(L"ctx 7")) << Joined();
}

TEST_F(EngineTest, WindowAndGlobalsAreOneNamespace) {
  CreateEngine();
  Load(WriteFile(L"a.html",
                 "<script>var x = 1; window.y = 2; z = 3;"
                 "external.log([window.x === x, y === 2, window.z === 3, typeof window.JSON,"
                 " window.external === external, window.window === window, self === window,"
                 " top === window, window.document === document, typeof window.undefinedName,"
                 " external.answer, window.external.answer].join(','));</script>"));
  // No document mode asked for: the oldest, without JSON.
  EXPECT_TRUE(Logged(L"true,true,true,undefined,true,true,true,true,true,undefined,42,42"))
      << Joined();
}

TEST_F(EngineTest, WindowMembersCanBeEnumeratedAndDeleted) {
  CreateEngine();
  Load(WriteFile(L"a.html",
                 "<script>var mine = 1; var seen = {}; for (var k in window) seen[k] = true;"
                 "external.log('enum ' + !!seen.alert + ' ' + !!seen.mine);"
                 "window.extra = 5; delete window.extra; external.log('deleted ' + typeof "
                 "window.extra);</script>"));
  EXPECT_TRUE(Logged(L"enum true true")) << Joined();
  EXPECT_TRUE(Logged(L"deleted undefined"));
}

TEST_F(EngineTest, ScriptFunctionsReplaceWindowMembersOfTheSameName) {
  CreateEngine();
  int closing = 0;
  onEvent_ = [&](DISPID id, DISPPARAMS*) { closing += id == DISPID_WINDOWCLOSING; };
  Load(WriteFile(L"a.html",
                 "<script>function close() { external.log('own close'); } window.close();"
                 "external.log(String(window) + ' ' + document + ' ' + document.body);</script>"));
  EXPECT_TRUE(Logged(L"own close")) << Joined();
  EXPECT_EQ(closing, 0);
  EXPECT_TRUE(Logged(L"[object Window] [object Document] [object HTMLElement]"));
}

TEST_F(EngineTest, AlertOverrideReachesBareAndWindowCalls) {
  CreateEngine();
  startupScript_ =
      L"_alert = window.alert; window.alert = function(m){ external.log('alert ' + m); };";
  Load(WriteFile(L"a.html",
                 "<script>alert('bare'); window.alert('member'); external.log(typeof _alert);"
                 "</script>"));
  EXPECT_TRUE(Logged(L"alert bare"));
  EXPECT_TRUE(Logged(L"alert member"));
  EXPECT_TRUE(Logged(L"object")) << Joined();  // the native alert stays reachable
}

TEST_F(EngineTest, BodyOnloadAttributeRunsWhenScriptSetsNoOnload) {
  CreateEngine();
  Load(WriteFile(L"a.html", "<body onload=\"external.log('body onload ' + navigator.appName)\">"));
  EXPECT_TRUE(Logged(L"body onload Microsoft Internet Explorer")) << Joined();
}

// The start-up script the host injects into every page, exactly as it stores it.
constexpr wchar_t kHostStartupScript[] =
    L"function queryModule(pluginName){return window.external[pluginName];} console = "
    L"queryModule('console');"
    L"_alert = window.alert; try{window.alert = "
    L"function(content,icon,title){queryModule('window').messageBox("
    L"{caption:title ? title : "
    L"queryModule('window').title,text:String(content),icon:icon});}}catch(e){}"
    L"function loadPlugin(path){return window.external.loadPlugin(path);}function "
    L"createWindow(param){return "
    L"window.external.createWindow(param);}function abort(){queryModule('system').abort();}";

TEST_F(EngineTest, HostStartupScriptWorksAsOnThePlatformControl) {
  CreateEngine();
  startupScript_ = kHostStartupScript;
  Load(WriteFile(
      L"a.html",
      "<script>console.log('via console'); alert(12); window.alert('two', 'warning', 'Mine');"
      "external.log([typeof queryModule, typeof _alert, typeof loadPlugin, typeof createWindow,"
      " typeof abort, queryModule('window') === window.external.window].join(' '));</script>"));
  EXPECT_TRUE(Logged(L"via console")) << Joined();
  EXPECT_TRUE(Logged(L"box Window Title|12"));
  EXPECT_TRUE(Logged(L"box Mine|two"));
  EXPECT_TRUE(Logged(L"function object function function function true"));
}

TEST_F(EngineTest, NativeAlertShowsAMessageBoxOwnedByTheTopWindow) {
  CreateEngine();
  DialogCloser closer(L"#32770", L"Message from webpage");
  Load(WriteFile(L"a.html", "<script>alert('hello ' + 1); external.log('after');</script>"));
  EXPECT_TRUE(closer.Closed());
  EXPECT_EQ(closer.Text(), L"hello 1");
  EXPECT_TRUE(Logged(L"after"));
}

TEST_F(EngineTest, TimersRunInDueOrderAndCanBeCleared) {
  CreateEngine();
  Load(WriteFile(L"a.html",
                 "<script>setTimeout(function(){external.log('t60')}, 60);"
                 "setTimeout(function(){external.log('t0a')}, 0);"
                 "setTimeout(\"external.log('t0b')\", 0);"
                 "var id = setTimeout(function(){external.log('cleared')}, 10); clearTimeout(id);"
                 "setTimeout(function(a, b){external.log('args ' + a + b)}, 20, 1, 2);"
                 "var n = 0, iv = setInterval(function(){ if (++n == 3) { clearInterval(iv);"
                 " external.log('interval'); } }, 5);"
                 "setTimeout(function(){ setTimeout(function(){external.log('nested')}, 0); }, 0);"
                 "external.log('sync');</script>"));
  ASSERT_TRUE(Pump([&] { return Logged(L"t60") && Logged(L"interval"); }));
  Pump([] { return false; }, 50);
  // Tasks run by due time, equal due times in the order they were set; the
  // interval and the nested task depend on when their predecessors ran.
  std::vector<std::wstring> order;
  for (const auto& e : log_)
    if (e == L"sync" || e == L"t0a" || e == L"t0b" || e == L"args 12" || e == L"t60")
      order.push_back(e);
  EXPECT_EQ(order, (std::vector<std::wstring>{L"sync", L"t0a", L"t0b", L"args 12", L"t60"}))
      << Joined();
  EXPECT_TRUE(Logged(L"nested"));
  EXPECT_FALSE(Logged(L"cleared")) << Joined();
}

TEST_F(EngineTest, ArrayConstructedThroughTheScriptObjectIsNative) {
  CreateEngine();
  Load(WriteFile(L"a.html", "<p>"));
  ComPtr<IDispatchEx> script = ScriptObject();
  unique_bstr arrayName(SysAllocString(L"Array"));
  DISPID id = DISPID_UNKNOWN;
  ASSERT_EQ(script->GetDispID(arrayName.get(), fdexNameCaseSensitive, &id), S_OK);
  unique_variant constructor;
  DISPPARAMS none{};
  ASSERT_EQ(script->InvokeEx(id, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none,
                             constructor.get(), nullptr, nullptr),
            S_OK);
  ASSERT_EQ(constructor.vt(), VT_DISPATCH);
  ComPtr<IDispatchEx> constructorEx;
  ASSERT_EQ(constructor->pdispVal->QueryInterface(IID_PPV_ARGS(&constructorEx)), S_OK);
  unique_variant array;
  ASSERT_EQ(constructorEx->InvokeEx(DISPID_VALUE, LOCALE_USER_DEFAULT, DISPATCH_CONSTRUCT, &none,
                                    array.get(), nullptr, nullptr),
            S_OK);
  ASSERT_EQ(array.vt(), VT_DISPATCH);
  ComPtr<IDispatchEx> arrayEx;
  ASSERT_EQ(array->pdispVal->QueryInterface(IID_PPV_ARGS(&arrayEx)), S_OK);
  unique_bstr index(SysAllocString(L"0"));
  DISPID element = DISPID_UNKNOWN;
  ASSERT_EQ(arrayEx->GetDispID(index.get(), fdexNameEnsure, &element), S_OK);
  VARIANT value;
  SetString(&value, L"first");
  DISPID putId = DISPID_PROPERTYPUT;
  DISPPARAMS put{&value, &putId, 1, 1};
  ASSERT_EQ(arrayEx->InvokeEx(element, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &put, nullptr,
                              nullptr, nullptr),
            S_OK);
  VariantClear(&value);
  // Hand it to script as a global and look at it from there.
  unique_bstr global(SysAllocString(L"hostArray"));
  DISPID globalId = DISPID_UNKNOWN;
  ASSERT_EQ(script->GetDispID(global.get(), fdexNameEnsure, &globalId), S_OK);
  DISPPARAMS putArray{array.get(), &putId, 1, 1};
  ASSERT_EQ(script->InvokeEx(globalId, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &putArray,
                             nullptr, nullptr, nullptr),
            S_OK);
  ASSERT_EQ(ExecScript(L"external.log((hostArray instanceof Array) + ' ' + hostArray.length + ' ' "
                       L"+ hostArray[0]);"),
            S_OK);
  EXPECT_TRUE(Logged(L"true 1 first")) << Joined();
}

TEST_F(EngineTest, ScriptErrorsGoToTheSiteWhichMayKeepScriptsRunning) {
  CreateEngine();
  DialogCloser closer(L"#32770", L"Script Error");
  Load(WriteFile(L"a.html",
                 "<script>external.log('before'); missingFunction();</script>"
                 "<script>external.log('next script');</script>"));
  ASSERT_EQ(site_->scriptErrors.size(), 1u);
  EXPECT_EQ(site_->scriptErrors[0].documentType, VT_UNKNOWN);
  EXPECT_TRUE(site_->scriptErrors[0].documentIsHtmlDocument);
  EXPECT_TRUE(Logged(L"next script")) << Joined();
  EXPECT_FALSE(closer.Closed());  // the site took the error: no box
}

TEST_F(EngineTest, SiteAnsweringStopEndsThePagesScripts) {
  CreateEngine();
  site_->keepRunning = false;
  Load(WriteFile(
      L"a.html",
      "<script>setTimeout(function(){external.log('timer')}, 0); syntax error here</script>"
      "<script>external.log('next script');</script>"));
  Pump([] { return false; }, 100);
  EXPECT_EQ(site_->scriptErrors.size(), 1u);
  EXPECT_FALSE(Logged(L"next script"));
  EXPECT_FALSE(Logged(L"timer")) << Joined();
}

TEST_F(EngineTest, ErrorsTheSiteDoesNotTakeShowTheEnginesOwnBox) {
  site_->execAnswer = E_NOTIMPL;
  CreateEngine();
  DialogCloser closer(L"#32770", L"Script Error");
  Load(WriteFile(
      L"a.html",
      "<script>\n\nthrow new Error('broken');</script><script>external.log('next');</script>"));
  EXPECT_TRUE(closer.Closed());
  EXPECT_NE(closer.Text().find(L"Line: 3"), std::wstring::npos) << closer.Text();
  EXPECT_NE(closer.Text().find(L"broken"), std::wstring::npos) << closer.Text();
  EXPECT_TRUE(Logged(L"next"));
}

TEST_F(EngineTest, ErrorsInTimerCallbacksAreReportedToo) {
  CreateEngine();
  Load(WriteFile(L"a.html", "<script>setTimeout(function(){ null.x(); }, 0);</script>"));
  ASSERT_TRUE(Pump([&] { return !site_->scriptErrors.empty(); }));
}

TEST_F(EngineTest, WindowOpenAsksNewWindow3AndCloseRaisesWindowClosing) {
  CreateEngine();
  std::vector<std::wstring> opened;
  int closing = 0;
  onEvent_ = [&](DISPID id, DISPPARAMS* params) {
    if (id == DISPID_NEWWINDOW3) {
      ASSERT_EQ(params->cArgs, 5u);
      EXPECT_EQ(params->rgvarg[4].vt, VT_BYREF | VT_DISPATCH);
      EXPECT_EQ(params->rgvarg[3].vt, VT_BYREF | VT_BOOL);
      EXPECT_EQ(params->rgvarg[2].vt, VT_I4);
      opened.push_back(Bstr(params->rgvarg[0].bstrVal));
      *params->rgvarg[3].pboolVal = VARIANT_TRUE;
    } else if (id == DISPID_WINDOWCLOSING) {
      EXPECT_EQ(params->rgvarg[1].vt, VT_BOOL);
      EXPECT_EQ(params->rgvarg[0].vt, VT_BYREF | VT_BOOL);
      ++closing;
    }
  };
  const std::wstring page = WriteFile(L"a.html",
                                      "<script>var w = window.open('other page.html');"
                                      "external.log('returned ' + w); window.close();</script>");
  Load(page);
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0], UrlOf(folder_ + L"other page.html"));
  EXPECT_EQ(closing, 1);
  EXPECT_TRUE(Logged(L"returned null")) << Joined();
}

TEST_F(EngineTest, LocationUrlIsAnEncodedFileUrl) {
  CreateEngine();
  const std::wstring page = WriteFile(L"sub dir\\p\u00E4ge.html",
                                      "<title>T &amp; T</title><script>external.log(document.URL);"
                                      "external.log(location.href); external.log(document.title);"
                                      "external.log('caf\xC3\xA9');</script>");
  Load(page);
  BSTR url = nullptr;
  ASSERT_EQ(browser_->get_LocationURL(&url), S_OK);
  std::wstring expected = UrlOf(folder_) + L"sub%20dir/p%C3%A4ge.html";
  EXPECT_EQ(Bstr(url), expected);
  SysFreeString(url);
  EXPECT_TRUE(Logged(expected)) << Joined();
  EXPECT_TRUE(Logged(L"T & T"));
  EXPECT_TRUE(Logged(L"caf\u00E9"));  // the page is read as UTF-8
  BSTR name = nullptr;
  browser_->get_LocationName(&name);
  EXPECT_EQ(Bstr(name), L"T & T");
  SysFreeString(name);
  READYSTATE state;
  browser_->get_ReadyState(&state);
  EXPECT_EQ(state, READYSTATE_COMPLETE);
}

TEST_F(EngineTest, WindowChainHasThePlatformClassNames) {
  CreateEngine();
  ComPtr<IOleWindow> ole;
  ASSERT_EQ(browser_.As(&ole), S_OK);
  HWND embedding = nullptr;
  ASSERT_EQ(ole->GetWindow(&embedding), S_OK);
  wchar_t name[64];
  GetClassNameW(embedding, name, 64);
  EXPECT_STREQ(name, L"Shell Embedding");
  EXPECT_EQ(GetParent(embedding), window_);
  HWND view = GetWindow(embedding, GW_CHILD);
  GetClassNameW(view, name, 64);
  EXPECT_STREQ(name, L"Shell DocObject View");
  HWND server = GetWindow(view, GW_CHILD);
  GetClassNameW(server, name, 64);
  EXPECT_STREQ(name, L"Internet Explorer_Server");
  ComPtr<IOleInPlaceObject> inPlace;
  ASSERT_EQ(browser_.As(&inPlace), S_OK);
  RECT rect{10, 20, 110, 70};
  inPlace->SetObjectRects(&rect, &rect);
  RECT client;
  GetClientRect(server, &client);
  EXPECT_EQ(client.right, 100);
  EXPECT_EQ(client.bottom, 50);
}

TEST_F(EngineTest, ElementQueriesFromTheHost) {
  CreateEngine();
  Load(WriteFile(L"a.html",
                 "<body><div id=zone dragWindow=true style='position:absolute;left:10px;top:10px;"
                 "width:100px;height:100px'><input id=field type=text></div></body>"));
  ComPtr<IHTMLDocument2> document = Document();
  ComPtr<IHTMLElement> hit;
  ASSERT_EQ(document->elementFromPoint(50, 50, &hit), S_OK);
  BSTR text = nullptr;
  hit->get_tagName(&text);
  EXPECT_EQ(Bstr(text), L"DIV");
  SysFreeString(text);
  unique_bstr attribute(SysAllocString(L"DRAGWINDOW"));
  unique_variant value;
  ASSERT_EQ(hit->getAttribute(attribute.get(), 0, value.get()), S_OK);
  ASSERT_EQ(value.vt(), VT_BSTR);
  EXPECT_EQ(Bstr(value->bstrVal), L"true");
  unique_bstr missing(SysAllocString(L"nothing"));
  ASSERT_EQ(hit->getAttribute(missing.get(), 0, value.put()), S_OK);
  EXPECT_EQ(value.vt(), VT_NULL);
  std::vector<std::wstring> chain;
  for (ComPtr<IHTMLElement> e = hit; e;) {
    e->get_tagName(&text);
    chain.push_back(Bstr(text));
    SysFreeString(text);
    ComPtr<IHTMLElement> parent;
    ASSERT_EQ(e->get_parentElement(&parent), S_OK);
    e = parent;
  }
  EXPECT_EQ(chain, (std::vector<std::wstring>{L"DIV", L"BODY", L"HTML"}));
  ASSERT_EQ(document->elementFromPoint(500, 400, &hit), S_OK);
  hit->get_tagName(&text);
  EXPECT_EQ(Bstr(text), L"BODY");
  SysFreeString(text);
  ASSERT_EQ(
      ExecScript(
          L"var f = document.getElementById('field');"
          L"external.log(f.tagName + ' ' + f.getAttribute('type') + ' ' + f.parentNode.id + ' ' +"
          L" f.getAttribute('none') + ' ' + (document.getElementById('nope') === null));"
          L"f.setAttribute('data-x', 5); external.log(f.getAttribute('DATA-X'));"),
      S_OK);
  EXPECT_TRUE(Logged(L"INPUT text zone null true")) << Joined();
  EXPECT_TRUE(Logged(L"5"));
}

TEST_F(EngineTest, BodyConnectionPointDeliversMouseDownAndDragStart) {
  CreateEngine();
  Load(WriteFile(L"a.html",
                 "<div id=handle style='position:absolute;left:0px;top:0px;width:50px;height:50px'>"
                 "</div>"));
  ComPtr<IHTMLElement> body;
  ASSERT_EQ(Document()->get_body(&body), S_OK);
  ComPtr<IProvideClassInfo2> info;
  ASSERT_EQ(body.As(&info), S_OK);
  GUID source{};
  ASSERT_EQ(info->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &source), S_OK);
  EXPECT_EQ(source, DIID_HTMLElementEvents2);
  ComPtr<IConnectionPointContainer> container;
  ASSERT_EQ(body.As(&container), S_OK);
  ComPtr<IConnectionPoint> point;
  ASSERT_EQ(container->FindConnectionPoint(source, &point), S_OK);
  std::vector<DISPID> events;
  std::wstring sourceId;
  auto sink = Make<TestSink>([&](DISPID id, DISPPARAMS* params) {
    events.push_back(id);
    if (params->cArgs != 1 || params->rgvarg[0].vt != VT_DISPATCH) return;
    DISPID member = DISPID_UNKNOWN;
    LPOLESTR name = const_cast<LPOLESTR>(L"srcElement");
    params->rgvarg[0].pdispVal->GetIDsOfNames(IID_NULL, &name, 1, 0, &member);
    unique_variant element;
    DISPPARAMS none{};
    params->rgvarg[0].pdispVal->Invoke(member, IID_NULL, 0, DISPATCH_PROPERTYGET, &none,
                                       element.get(), nullptr, nullptr);
    ComPtr<IHTMLElement> e;
    if (element.vt() == VT_DISPATCH &&
        SUCCEEDED(element->pdispVal->QueryInterface(IID_PPV_ARGS(&e)))) {
      BSTR id2 = nullptr;
      e->get_id(&id2);
      sourceId = Bstr(id2);
      SysFreeString(id2);
    }
  });
  DWORD cookie = 0;
  ASSERT_EQ(point->Advise(sink.Get(), &cookie), S_OK);
  const HWND server = ServerWindow();
  ASSERT_TRUE(server);
  PostMessageW(server, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
  ASSERT_TRUE(Pump([&] { return !events.empty(); }));
  EXPECT_EQ(events[0], DISPID_HTMLELEMENTEVENTS2_ONMOUSEDOWN);
  EXPECT_EQ(sourceId, L"handle");
  PostMessageW(server, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(40, 40));
  ASSERT_TRUE(Pump([&] { return events.size() >= 2; }));
  EXPECT_EQ(events[1], static_cast<DISPID>(0x8001000B));
  PostMessageW(server, WM_LBUTTONUP, 0, MAKELPARAM(40, 40));
  EXPECT_EQ(point->Unadvise(cookie), S_OK);
  PostMessageW(server, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(100, 100));
  Pump([] { return false; }, 50);
  EXPECT_EQ(events.size(), 2u);
}

TEST_F(EngineTest, ContextMenuGoesToTheSiteFirst) {
  CreateEngine();
  Load(WriteFile(L"a.html",
                 "<input id=i style='position:absolute;left:0px;top:0px;width:50px;height:20px'>"));
  const HWND server = ServerWindow();
  POINT screen{5, 5};
  ClientToScreen(server, &screen);
  SendMessageW(server, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(server),
               MAKELPARAM(screen.x, screen.y));
  ASSERT_EQ(site_->contextMenuTags.size(), 1u);
  EXPECT_EQ(site_->contextMenuTags[0], L"INPUT");
  // The site declines: the engine shows its own menu, which a timer closes.
  site_->contextMenuAnswer = S_FALSE;
  static bool menuSeen = false;
  menuSeen = false;
  SetTimer(nullptr, 0, 50, [](HWND, UINT, UINT_PTR id, DWORD) {
    if (FindWindowW(L"#32768", nullptr)) {
      menuSeen = true;
      EndMenu();
      KillTimer(nullptr, id);
    }
  });
  SendMessageW(server, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(server),
               MAKELPARAM(screen.x + 300, screen.y));
  EXPECT_TRUE(menuSeen);
  ASSERT_EQ(site_->contextMenuTags.size(), 2u);
  EXPECT_EQ(site_->contextMenuTags[1], L"BODY");
}

TEST_F(EngineTest, KeysGoToTheSiteBeforeTheEnginesReload) {
  CreateEngine();
  const std::wstring page = WriteFile(L"a.html", "<script>external.log('loaded');</script>");
  Load(page);
  ComPtr<IOleInPlaceActiveObject> active;
  ASSERT_EQ(browser_.As(&active), S_OK);
  MSG f5{ServerWindow(), WM_KEYDOWN, VK_F5, 0, 0, {}};
  site_->acceleratorAnswer = S_OK;  // the host swallows F5
  EXPECT_EQ(active->TranslateAccelerator(&f5), S_OK);
  Pump([] { return false; }, 50);
  EXPECT_EQ(documentsCompleted_, 1);
  site_->acceleratorAnswer = S_FALSE;  // not swallowed: the engine reloads
  EXPECT_EQ(active->TranslateAccelerator(&f5), S_OK);
  ASSERT_TRUE(Pump([&] { return documentsCompleted_ == 2; }));
  MSG other{ServerWindow(), WM_KEYDOWN, 'A', 0, 0, {}};
  EXPECT_EQ(active->TranslateAccelerator(&other), S_FALSE);
  MSG mouse{ServerWindow(), WM_LBUTTONDOWN, 0, 0, 0, {}};
  const size_t asked = site_->acceleratorMessages.size();
  EXPECT_EQ(active->TranslateAccelerator(&mouse), S_FALSE);
  EXPECT_EQ(site_->acceleratorMessages.size(), asked);  // only keys are offered
}

TEST_F(EngineTest, DropTargetIsOfferedAtActivationAndRegisteredWithTheFirstPage) {
  CreateEngine();
  ASSERT_TRUE(site_->offeredDropTarget);
  DWORD effect = DROPEFFECT_COPY;
  EXPECT_EQ(site_->offeredDropTarget->DragOver(0, POINTL{0, 0}, &effect), S_OK);
  EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_NONE));
  Load(WriteFile(L"drop.html", "<p>page</p>"));
  EXPECT_EQ(RegisterDragDrop(ServerWindow(), site_->offeredDropTarget.Get()),
            DRAGDROP_E_ALREADYREGISTERED);
}

TEST_F(EngineTest, NewNavigationReplacesDocumentAndScriptEngine) {
  CreateEngine();
  Load(WriteFile(L"a.html", "<script>var only = 'first';</script>"));
  ComPtr<IHTMLDocument2> first = Document();
  Load(WriteFile(L"b.html", "<script>external.log('second sees ' + typeof only);</script>"));
  EXPECT_TRUE(Logged(L"second sees undefined")) << Joined();
  EXPECT_NE(Document().Get(), first.Get());
  ComPtr<IDispatch> oldScript;
  EXPECT_TRUE(FAILED(first->get_Script(&oldScript)));
}

TEST_F(EngineTest, NavigationFromPageScriptAndReload) {
  CreateEngine();
  WriteFile(L"b.html",
            "<script>external.log('at b ' + location.pathname.split('/').pop());</script>");
  Load(
      WriteFile(L"a.html",
                "<script>external.log('at a'); location.href = 'b.html'; external.log('a goes on');"
                "</script>"));
  ASSERT_TRUE(Pump([&] { return Logged(L"at b b.html"); })) << Joined();
  EXPECT_TRUE(Logged(L"a goes on"));
}

TEST_F(EngineTest, FragmentOnlyNavigationDoesNotReload) {
  CreateEngine();
  Load(WriteFile(L"a.html",
                 "<script>location.href = '#part'; external.log(location.hash);</script>"));
  Pump([] { return false; }, 100);
  EXPECT_EQ(documentsCompleted_, 1);
  EXPECT_TRUE(Logged(L"#part")) << Joined();
}

TEST_F(EngineTest, HostMayReleaseTheControlInsideAnEvent) {
  CreateEngine();
  bool released = false;
  onEvent_ = [&](DISPID id, DISPPARAMS*) {
    if (id != DISPID_DOCUMENTCOMPLETE) return;
    ReleaseEngine();
    released = true;
  };
  Navigate(
      WriteFile(L"a.html", "<script>setTimeout(function(){external.log('late')}, 0);</script>"));
  ASSERT_TRUE(Pump([&] { return released; }));
  Pump([] { return false; }, 100);
  EXPECT_FALSE(Logged(L"late"));
}

TEST_F(EngineTest, WindowDestructionReleasesTheControl) {
  CreateEngine();
  Load(WriteFile(L"a.html", "<script>setTimeout(function(){external.log('late')}, 30);</script>"));
  DestroyWindow(window_);
  Pump([] { return false; }, 100);
  EXPECT_FALSE(Logged(L"late"));
  ComPtr<IOleObject> ole;
  ASSERT_EQ(browser_.As(&ole), S_OK);
  ComPtr<IOleClientSite> site;
  ole->GetClientSite(&site);
  EXPECT_FALSE(site);
}

ULONG References(IUnknown* object) {
  object->AddRef();
  return object->Release();
}

TEST_F(EngineTest, ReleasingTheControlReleasesSiteExternalAndSinks) {
  CreateEngine();
  startupScript_ = L"window.alert = function(m){ external.log(m); };";
  Load(WriteFile(L"a.html",
                 "<script>var keep = external; setTimeout(function(){ alert('t'); }, 5000);"
                 "window.addEventListener('load', function(){});</script>"));
  ComPtr<IHTMLElement> body;
  Document()->get_body(&body);
  ComPtr<IConnectionPointContainer> container;
  body.As(&container);
  ComPtr<IConnectionPoint> point;
  container->FindConnectionPoint(DIID_HTMLElementEvents2, &point);
  auto bodySink = Make<TestSink>([](DISPID, DISPPARAMS*) {});
  DWORD cookie = 0;
  point->Advise(bodySink.Get(), &cookie);
  point.Reset();
  container.Reset();
  body.Reset();
  ReleaseEngine();
  EXPECT_EQ(References(site_->Unknown()), 1u);
  EXPECT_EQ(References(site_->external.Get()), 1u);
  EXPECT_EQ(References(sink_->Unknown()), 1u);
  EXPECT_EQ(References(bodySink->Unknown()), 1u);
}

}  // namespace
}  // namespace omb::engine::test
