// The browser window: which page it opens, and real windows on the
// script-only page engine (start-up script, createWindow's published values,
// the key filter, dropped files, and the window's lifetime).
#include <gtest/gtest.h>

#include <exdisp.h>
#include <mshtml.h>
#include <shlobj.h>

#include <functional>
#include <string>
#include <vector>

#include "app/core/ax_host.h"
#include "app/core/browser_window.h"
#include "app/core/first_window.h"
#include "app/core/message_loop.h"
#include "app/core/plugin_registry.h"
#include "app/core/script_call.h"
#include "app/core/script_object.h"
#include "sdk/trace.h"
#include "sdk/dispatch.h"
#include "tests/unit/host/host_test_support.h"

namespace {

using omb::CWebBrowser;

// A fresh folder under the temporary folder, removed at the end.
class TempFolder {
 public:
  TempFolder() {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    static int count = 0;
    path_ = std::wstring(temp) + L"ombrel-host-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(++count);
    CreateDirectoryW(path_.c_str(), nullptr);
  }
  ~TempFolder() {
    std::wstring from = path_;
    from.append(2, L'\0');
    SHFILEOPSTRUCTW op = {};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI;
    SHFileOperationW(&op);
  }
  const std::wstring& Path() const { return path_; }
  std::wstring Write(const std::wstring& relative, const std::string& text) const {
    const std::wstring full = path_ + L"\\" + relative;
    const size_t slash = relative.rfind(L'\\');
    if (slash != std::wstring::npos) CreateDirectoryW((path_ + L"\\" + relative.substr(0, slash)).c_str(), nullptr);
    HANDLE f = CreateFileW(full.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(f, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(f);
    return full;
  }

 private:
  std::wstring path_;
};

ULONG RefsOf(IUnknown* object) {
  object->AddRef();
  return object->Release();
}

// ---------------------------------------------------------------------------
// Page choice

TEST(StartPage, CreationParameterWinsOverFAndFOverTheResourceFolder) {
  auto page = omb::ChooseStartPage(L"C:\\x\\b.html", L"C:\\pages\\a.html", L"C:\\app", L"C:\\bin\\Ombrel.exe");
  ASSERT_TRUE(page);
  EXPECT_EQ(L"C:\\x\\b.html", page->page);
  EXPECT_TRUE(page->currentDirectory.empty());
  page = omb::ChooseStartPage(nullptr, L"C:\\pages\\a.html#top", L"C:\\app", L"C:\\bin\\Ombrel.exe");
  ASSERT_TRUE(page);
  EXPECT_EQ(L"C:\\pages\\a.html#top", page->page);
}

TEST(StartPage, WithoutResourceFolderTheExecutablesFolderIsUsed) {
  TempFolder empty;
  auto page = omb::ChooseStartPage(nullptr, L"", empty.Path(), L"C:\\bin\\Ombrel.exe");
  ASSERT_TRUE(page);
  EXPECT_EQ(L"C:\\bin\\Ombrel.exe\\..\\resource\\index.html", page->page);
  EXPECT_EQ(L"C:\\bin\\Ombrel.exe\\..\\", page->currentDirectory);
}

TEST(StartPage, AResourceFolderInTheCurrentDirectoryGivesItsIndexAlsoAtADriveRoot) {
  TempFolder app;
  app.Write(L"resource\\index.html", "<p>");
  auto page = omb::ChooseStartPage(nullptr, nullptr, app.Path(), L"C:\\bin\\Ombrel.exe");
  ASSERT_TRUE(page);
  EXPECT_EQ(app.Path() + L"\\resource\\index.html", page->page);
  EXPECT_TRUE(page->currentDirectory.empty());

  const bool made = CreateDirectoryW(L"C:\\resource", nullptr) != FALSE;
  page = omb::ChooseStartPage(nullptr, nullptr, L"C:\\", L"C:\\bin\\Ombrel.exe");
  if (made) RemoveDirectoryW(L"C:\\resource");
  ASSERT_TRUE(page);
  EXPECT_EQ(L"C:\\resource\\index.html", page->page);
}

TEST(StartPage, PagesLongerThan259CharactersAreRefused) {
  const std::wstring fits = L"C:\\" + std::wstring(256, L'a');
  const std::wstring tooLong = fits + L"b";
  ASSERT_EQ(259u, fits.size());
  EXPECT_TRUE(omb::ChooseStartPage(fits.c_str(), nullptr, L"C:\\", L"C:\\Ombrel.exe"));
  EXPECT_FALSE(omb::ChooseStartPage(tooLong.c_str(), nullptr, L"C:\\", L"C:\\Ombrel.exe"));
  EXPECT_FALSE(omb::ChooseStartPage(nullptr, tooLong.c_str(), L"C:\\", L"C:\\Ombrel.exe"));
  TempFolder empty;
  EXPECT_FALSE(omb::ChooseStartPage(nullptr, nullptr, empty.Path(), fits + L".exe"));
}

TEST(StartPage, OnlyPathsAreTestedAndWithoutTheirFragment) {
  TempFolder app;
  const std::wstring file = app.Write(L"a.html", "<p>");
  EXPECT_TRUE(omb::PageExists(file));
  EXPECT_TRUE(omb::PageExists(file + L"#top"));
  EXPECT_FALSE(omb::PageExists(app.Path() + L"\\missing.html#a.html"));
  EXPECT_TRUE(omb::PageExists(L"http://127.0.0.1:1/never.html"));
  EXPECT_FALSE(omb::PageExists(L""));
}

// ---------------------------------------------------------------------------
// Real windows

// Registers a message loop for the test thread, so windows add their key
// filters, and pumps it.
class Windows : public ::testing::Test {
 protected:
  void SetUp() override {
    OleInitialize(nullptr);
    omb::Module().AddMessageLoop(&loop_);
  }
  void TearDown() override {
    Pump(50);
    omb::Module().RemoveMessageLoop();
  }

  void Pump(DWORD milliseconds) {
    Until([] { return false; }, milliseconds);
  }
  bool Until(const std::function<bool()>& done, DWORD milliseconds = 5000) {
    const ULONGLONG end = GetTickCount64() + milliseconds;
    while (GetTickCount64() < end) {
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (loop_.PreTranslateMessage(&msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
      }
      if (done()) return true;
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    return done();
  }

  static ComPtr<IDispatchEx> ScriptOf(HWND window) {
    const ComPtr<IUnknown> control = omb::AxGetControl(window);
    ComPtr<IWebBrowser2> browser;
    ComPtr<IDispatch> document;
    ComPtr<IHTMLDocument2> html;
    ComPtr<IDispatch> script;
    ComPtr<IDispatchEx> global;
    if (!control || FAILED(control.As(&browser)) || FAILED(browser->get_Document(&document)) ||
        !document || FAILED(document.As(&html)) || FAILED(html->get_Script(&script)) || !script ||
        FAILED(script.As(&global)))
      return nullptr;
    return global;
  }
  // A page global as text ("<none>" when it does not exist).
  static std::wstring Global(HWND window, const wchar_t* name) {
    const ComPtr<IDispatchEx> global = ScriptOf(window);
    if (!global) return L"<no page>";
    omb::unique_bstr bname(SysAllocString(name));
    DISPID id = 0;
    if (FAILED(global->GetDispID(bname.get(), 0, &id))) return L"<none>";
    DISPPARAMS none = {};
    omb::unique_variant value;
    if (FAILED(global->InvokeEx(id, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, value.get(),
                                nullptr, nullptr)))
      return L"<unreadable>";
    if (value.vt() == VT_EMPTY) return L"<undefined>";
    omb::unique_variant text;
    if (FAILED(VariantChangeType(text.get(), value.get(), 0, VT_BSTR))) return L"<object>";
    return text->bstrVal ? text->bstrVal : L"";
  }
  static HWND FindChild(HWND parent, const wchar_t* cls) {
    return FindWindowExW(parent, nullptr, cls, nullptr);
  }
  static HWND ServerWindow(HWND frame) {
    return FindChild(FindChild(FindChild(frame, L"Shell Embedding"), L"Shell DocObject View"),
                     L"Internet Explorer_Server");
  }

  omb::CMessageLoop loop_;
};

constexpr char kProbePage[] =
    "<html><body><script>\n"
    "var startup = [typeof queryModule, typeof console, typeof _alert != 'undefined',\n"
    "               typeof loadPlugin, typeof createWindow, typeof abort,\n"
    "               window.alert === _alert].join(',');\n"
    "var sameConsole = String(console === queryModule('console'));\n"
    "var seenContext = typeof windowContext == 'undefined' ? 'missing' : String(windowContext);\n"
    "var seenCallback = typeof windowCallback == 'undefined' ? 'missing' : typeof windowCallback;\n"
    "var done = 'yes';\n"
    "</script></body></html>";

TEST_F(Windows, EveryPageGetsTheStartupGlobalsBeforeItsOwnScripts) {
  TempFolder app;
  const std::wstring page = app.Write(L"resource\\index.html", kProbePage);
  auto window = omb::Make<CWebBrowser>();
  const HWND hwnd = window->Create(nullptr, page.c_str());
  ASSERT_TRUE(hwnd);
  EXPECT_EQ(hwnd, window->GetWindowHandle());
  EXPECT_EQ(DWORD(WS_OVERLAPPEDWINDOW), DWORD(GetWindowLongW(hwnd, GWL_STYLE)) & DWORD(WS_OVERLAPPEDWINDOW));
  EXPECT_FALSE(IsWindowVisible(hwnd));
  ASSERT_TRUE(Until([&] { return Global(hwnd, L"done") == L"yes"; }));
  EXPECT_EQ(L"function,object,true,function,function,function,false", Global(hwnd, L"startup"));
  EXPECT_EQ(L"true", Global(hwnd, L"sameConsole"));
  EXPECT_EQ(L"missing", Global(hwnd, L"seenContext"));
  DestroyWindow(hwnd);
}

TEST_F(Windows, CreateWindowPublishesContextAndCallbackBeforeThePagesScriptsRun) {
  TempFolder app;
  const std::wstring first = app.Write(L"resource\\a.html", "<script>var done='yes';</script>");
  app.Write(L"resource\\b.html", kProbePage);
  auto window = omb::Make<CWebBrowser>();
  const HWND hwnd = window->Create(nullptr, first.c_str());
  ASSERT_TRUE(hwnd);
  ASSERT_TRUE(Until([&] { return Global(hwnd, L"done") == L"yes"; }));

  omb::unique_variant context, callback;
  ASSERT_EQ(S_OK, omb::SetString(context.get(), L"ctx-1"));
  ComPtr<IDispatch> function;
  ASSERT_EQ(S_OK, CreateScriptObject(L"object", &function));
  omb::SetDispatch(callback.get(), function.Get());
  ComPtr<IDispatch> created;
  ASSERT_EQ(S_OK, window->CreateBrowserWindow(L"b.html", TRUE, callback.get(), context.get(), &created));
  EXPECT_TRUE(created);  // the new window's "window" plug-in

  HWND child = nullptr;
  for (HWND w = FindWindowExW(nullptr, nullptr, CWebBrowser::kClassName, nullptr); w;
       w = FindWindowExW(nullptr, w, CWebBrowser::kClassName, nullptr))
    if (w != hwnd) child = w;
  ASSERT_TRUE(child);
  EXPECT_EQ(hwnd, GetWindow(child, GW_OWNER));
  ASSERT_TRUE(Until([&] { return Global(child, L"done") == L"yes"; }));
  EXPECT_EQ(L"ctx-1", Global(child, L"seenContext"));
  EXPECT_EQ(L"object", Global(child, L"seenCallback"));
  // The new page is b.html beside a.html.
  const ComPtr<IUnknown> control = omb::AxGetControl(child);
  ComPtr<IWebBrowser2> browser;
  ASSERT_TRUE(control && SUCCEEDED(control.As(&browser)));
  omb::unique_bstr location;
  ASSERT_EQ(S_OK, browser->get_LocationURL(location.put()));
  EXPECT_NE(std::wstring::npos, std::wstring(location.get()).find(L"/resource/b.html"));

  // The new window keeps itself alive through its host until destroyed.
  DestroyWindow(child);
  DestroyWindow(hwnd);
}

TEST_F(Windows, CreateWindowWithoutAnOpenablePageAnswersAFailure) {
  TempFolder app;
  const std::wstring first = app.Write(L"a.html", "<p>");
  auto window = omb::Make<CWebBrowser>();
  const HWND hwnd = window->Create(nullptr, first.c_str());
  ASSERT_TRUE(hwnd);
  omb::unique_variant none;
  ComPtr<IDispatch> created;
  EXPECT_TRUE(FAILED(window->CreateBrowserWindow(L"missing.html", FALSE, none.get(), none.get(), &created)));
  EXPECT_TRUE(FAILED(window->CreateBrowserWindow(L"", FALSE, none.get(), none.get(), &created)));
  EXPECT_TRUE(FAILED(window->CreateBrowserWindow(nullptr, FALSE, none.get(), none.get(), &created)));
  EXPECT_FALSE(created);
  DestroyWindow(hwnd);
}

TEST_F(Windows, AMissingPageDestroysTheWindowInsideItsCreation) {
  TempFolder app;
  wchar_t traceFile[MAX_PATH];
  GetTempFileNameW(app.Path().c_str(), L"trc", 0, traceFile);
  HANDLE file = CreateFileW(traceFile, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
  const omb::TraceLogger saved = omb::Logger();
  omb::Logger().flags = omb::kTraceErrors | omb::kTraceCalls | omb::kTraceToFile;
  omb::Logger().file = file;
  {
    auto window = omb::Make<CWebBrowser>();
    EXPECT_EQ(nullptr, window->Create(nullptr, (app.Path() + L"\\missing.html").c_str()));
    EXPECT_EQ(1u, RefsOf(static_cast<OMB::ICore*>(window.Get())));
  }
  omb::Logger() = saved;
  CloseHandle(file);
  HANDLE read = CreateFileW(traceFile, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  std::wstring text(GetFileSize(read, nullptr) / sizeof(wchar_t), L'\0');
  DWORD got = 0;
  ReadFile(read, text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), &got, nullptr);
  CloseHandle(read);
  EXPECT_NE(std::wstring::npos, text.find(L"CWebBrowser::OnCreate not found index.html"));
  EXPECT_NE(std::wstring::npos, text.find(L"CWebBrowser::~CWebBrowser"));
}

TEST_F(Windows, DestroyingTheWindowBreaksEveryCycleAndLeavesTheObjectToItsHolder) {
  TempFolder app;
  const std::wstring page = app.Write(L"a.html", "<script>var done='yes'; console.log('hi');</script>");
  auto window = omb::Make<CWebBrowser>();
  const HWND hwnd = window->Create(nullptr, page.c_str());
  ASSERT_TRUE(hwnd);
  ASSERT_TRUE(Until([&] { return Global(hwnd, L"done") == L"yes"; }));
  EXPECT_TRUE(omb::AxGetHost(hwnd));
  EXPECT_GT(RefsOf(static_cast<OMB::ICore*>(window.Get())), 1u);

  DestroyWindow(hwnd);
  EXPECT_FALSE(IsWindow(hwnd));
  EXPECT_EQ(nullptr, window->GetWindowHandle());
  EXPECT_TRUE(Until([&] { return RefsOf(static_cast<OMB::ICore*>(window.Get())) == 1u; }))
      << "only the holder's reference left, " << RefsOf(static_cast<OMB::ICore*>(window.Get()))
      << " now";
  ComPtr<IDispatch> plugin;
  EXPECT_TRUE(FAILED(window->QueryPlugin(L"console", &plugin)));
}

// A shown window that was given the focus: its control is UI-active.
HWND OpenFocused(ComPtr<CWebBrowser>& window, const std::wstring& page) {
  window = omb::Make<CWebBrowser>();
  const HWND hwnd = window->Create(nullptr, page.c_str());
  if (!hwnd) return nullptr;
  ShowWindow(hwnd, SW_SHOW);
  SetForegroundWindow(hwnd);
  SetFocus(hwnd);
  return hwnd;
}

bool FocusIsInside(HWND window) {
  const HWND focus = GetFocus();
  return focus && focus != window && IsChild(window, focus);
}

TEST_F(Windows, TheKeyFilterSwallowsReloadButLetsCopyThrough) {
  TempFolder app;
  const std::wstring page = app.Write(L"a.html", "<script>var done='yes';</script>");
  ComPtr<CWebBrowser> window;
  const HWND hwnd = OpenFocused(window, page);
  ASSERT_TRUE(hwnd);
  ASSERT_TRUE(Until([&] { return Global(hwnd, L"done") == L"yes"; }));
  const HWND server = ServerWindow(hwnd);
  ASSERT_TRUE(server);
  MSG f5 = {server, WM_KEYDOWN, VK_F5, 0, 0, {0, 0}};
  MSG c = {server, WM_KEYDOWN, 'C', 0, 0, {0, 0}};
  EXPECT_TRUE(window->PreTranslateMessage(&f5));
  EXPECT_FALSE(window->PreTranslateMessage(&c));
  EXPECT_TRUE(loop_.PreTranslateMessage(&f5));
  DestroyWindow(hwnd);
  EXPECT_FALSE(loop_.PreTranslateMessage(&f5));  // the filter left with the window
}

// Two windows: keys typed in the older one are its control's alone. A newer
// window's control, offered them first, would act on them (the platform
// control moves the focus into its own page on Tab).
TEST_F(Windows, KeysGoOnlyToTheControlOfTheWindowTheyAreTypedIn) {
  TempFolder app;
  const std::wstring page = app.Write(L"a.html", "<script>var done='yes';</script>");
  ComPtr<CWebBrowser> older, newer;
  const HWND first = OpenFocused(older, page);
  const HWND second = OpenFocused(newer, page);
  ASSERT_TRUE(first && second);
  ASSERT_TRUE(Until([&] { return Global(first, L"done") == L"yes" && Global(second, L"done") == L"yes"; }));
  SetForegroundWindow(first);
  SetFocus(first);
  ASSERT_TRUE(FocusIsInside(first));
  MSG tab = {GetFocus(), WM_KEYDOWN, VK_TAB, 0, 0, {0, 0}};
  loop_.PreTranslateMessage(&tab);
  EXPECT_TRUE(FocusIsInside(first)) << "the focus moved into the other window's page";
  MSG move = {GetFocus(), WM_MOUSEMOVE, 0, 0, 0, {0, 0}};
  EXPECT_FALSE(loop_.PreTranslateMessage(&move));
  DestroyWindow(second);
  DestroyWindow(first);
}

// The focus goes back to the page whenever the window is activated again,
// not only the first time its control becomes UI-active.
TEST_F(Windows, ActivatingTheWindowAgainGivesThePageTheFocus) {
  TempFolder app;
  const std::wstring page = app.Write(L"a.html", "<script>var done='yes';</script>");
  ComPtr<CWebBrowser> window;
  const HWND hwnd = OpenFocused(window, page);
  ASSERT_TRUE(hwnd);
  ASSERT_TRUE(Until([&] { return Global(hwnd, L"done") == L"yes"; }));
  EXPECT_TRUE(FocusIsInside(hwnd));
  const HWND other = CreateWindowExW(0, L"STATIC", L"other", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                                     100, 100, nullptr, nullptr, nullptr, nullptr);
  SetForegroundWindow(other);
  SetFocus(other);
  ASSERT_EQ(other, GetFocus());
  SetForegroundWindow(hwnd);
  SetFocus(hwnd);
  EXPECT_TRUE(FocusIsInside(hwnd)) << "the focus stayed on the frame";
  DestroyWindow(other);
  DestroyWindow(hwnd);
}

TEST_F(Windows, ScriptErrorsAreSwallowedWhenThePageSaysSo) {
  TempFolder app;
  const std::wstring page = app.Write(
      L"a.html",
      "<script>console.showJsError = false;</script>"
      "<script>undefinedFunction();</script>"
      "<script>var done='yes';</script>");
  auto window = omb::Make<CWebBrowser>();
  const HWND hwnd = window->Create(nullptr, page.c_str());
  ASSERT_TRUE(hwnd);
  ASSERT_TRUE(Until([&] { return Global(hwnd, L"done") == L"yes"; }));
  DestroyWindow(hwnd);
}

// Records the calls script would receive as callback(files, context).
class DropCallback : public omb::ComObject<DropCallback, omb::InvokeOnly> {
 public:
  std::vector<std::vector<std::wstring>> calls;  // each: the files, then the context
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                      UINT*) noexcept override {
    if (id != 0 || params->cArgs != 2) return E_INVALIDARG;
    std::vector<std::wstring> call;
    IDispatch* files = params->rgvarg[1].vt == VT_DISPATCH ? params->rgvarg[1].pdispVal : nullptr;
    for (int i = 0; files; ++i) {
      omb::unique_variant item;
      if (FAILED(ReadMember(files, std::to_wstring(i).c_str(), item.get())) || item.vt() != VT_BSTR) break;
      call.push_back(item->bstrVal);
    }
    call.push_back(params->rgvarg[0].vt == VT_I4 ? std::to_wstring(params->rgvarg[0].lVal) : L"?");
    calls.push_back(call);
    return S_OK;
  }
};

// Dropped files as the shell hands them over: CF_HDROP in global memory.
class DroppedFiles : public omb::ComObject<DroppedFiles, IDataObject> {
 public:
  explicit DroppedFiles(std::vector<std::wstring> files) : files_(std::move(files)) {}
  STDMETHODIMP GetData(FORMATETC* format, STGMEDIUM* medium) noexcept override {
    if (format->cfFormat != CF_HDROP || !(format->tymed & TYMED_HGLOBAL)) return DV_E_FORMATETC;
    size_t chars = 1;
    for (const auto& f : files_) chars += f.size() + 1;
    HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + chars * sizeof(wchar_t));
    auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    auto* text = reinterpret_cast<wchar_t*>(drop + 1);
    for (const auto& f : files_) {
      memcpy(text, f.c_str(), (f.size() + 1) * sizeof(wchar_t));
      text += f.size() + 1;
    }
    GlobalUnlock(memory);
    medium->tymed = TYMED_HGLOBAL;
    medium->hGlobal = memory;
    medium->pUnkForRelease = nullptr;
    return S_OK;
  }
  STDMETHODIMP GetDataHere(FORMATETC*, STGMEDIUM*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP QueryGetData(FORMATETC*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP SetData(FORMATETC*, STGMEDIUM*, BOOL) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP EnumFormatEtc(DWORD, IEnumFORMATETC**) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP DUnadvise(DWORD) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP EnumDAdvise(IEnumSTATDATA**) noexcept override { return E_NOTIMPL; }

 private:
  std::vector<std::wstring> files_;
};

TEST_F(Windows, FilesDroppedOnABoundElementOrItsChildrenReachItsFunction) {
  auto callback = omb::Make<DropCallback>();
  TempFolder app;
  const std::wstring page = app.Write(
      L"a.html",
      "<body><div id=\"zone\" style=\"position:absolute;left:10px;top:10px;width:100px;height:100px\">"
      "<span id=\"inner\" style=\"position:absolute;left:10px;top:10px;width:20px;height:20px\"></span>"
      "</div><script>var done='yes';</script></body>");
  auto window = omb::Make<CWebBrowser>();
  const HWND hwnd = window->Create(nullptr, page.c_str());
  ASSERT_TRUE(hwnd);
  SetWindowPos(hwnd, nullptr, 0, 0, 400, 300, SWP_NOMOVE | SWP_NOZORDER);
  ASSERT_TRUE(Until([&] { return Global(hwnd, L"done") == L"yes"; }));
  const ComPtr<IUnknown> host = omb::AxGetHost(hwnd);
  ComPtr<IDropTarget> target;
  ComPtr<omb::IWebbrowserHost> site;
  ASSERT_TRUE(host && SUCCEEDED(host.As(&target)) && SUCCEEDED(host.As(&site)));
  ComPtr<IDispatch> dragFile;
  ASSERT_EQ(S_OK, site->QueryPlugin(L"dragfile", &dragFile));
  omb::unique_bstr zone(SysAllocString(L"zone"));
  ASSERT_EQ(S_OK, hosttest::Call(dragFile.Get(), -6999, DISPATCH_METHOD,
                                 {ArgString(zone.get()), ArgObject(callback.Get()), hosttest::I4(7)},
                                 nullptr));

  POINT inner = {25, 25}, outside = {300, 200};
  ClientToScreen(hwnd, &inner);
  ClientToScreen(hwnd, &outside);
  DWORD effect = DROPEFFECT_COPY;
  EXPECT_EQ(S_OK, target->DragOver(0, POINTL{inner.x, inner.y}, &effect));
  EXPECT_EQ(DWORD(DROPEFFECT_COPY), effect);
  EXPECT_EQ(S_OK, target->DragOver(0, POINTL{outside.x, outside.y}, &effect));
  EXPECT_EQ(DWORD(DROPEFFECT_NONE), effect);

  auto files = omb::Make<DroppedFiles>(std::vector<std::wstring>{
      L"C:\\a.txt", L"C:\\b c\\d.txt", L"C:\\" + std::wstring(300, L'x') + L".txt"});
  effect = DROPEFFECT_COPY;
  EXPECT_EQ(S_OK, target->Drop(files.Get(), 0, POINTL{outside.x, outside.y}, &effect));
  EXPECT_EQ(DWORD(DROPEFFECT_NONE), effect);
  EXPECT_TRUE(callback->calls.empty());
  effect = DROPEFFECT_COPY;
  EXPECT_EQ(S_OK, target->Drop(files.Get(), 0, POINTL{inner.x, inner.y}, &effect));
  ASSERT_EQ(1u, callback->calls.size());
  // Three full paths (the long one not cut short), then the context.
  EXPECT_EQ((std::vector<std::wstring>{L"C:\\a.txt", L"C:\\b c\\d.txt",
                                       L"C:\\" + std::wstring(300, L'x') + L".txt", L"7"}),
            callback->calls[0]);
  DestroyWindow(hwnd);
}

TEST_F(Windows, TheFirstWindowOpensResourceIndexOfTheCurrentDirectory) {
  TempFolder app;
  app.Write(L"resource\\index.html", "<script>var done='yes';</script>");
  wchar_t saved[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, saved);
  SetCurrentDirectoryW(app.Path().c_str());
  ComPtr<IUnknown> first;
  const HRESULT hr = omb::CreateFirstWindow(first);
  SetCurrentDirectoryW(saved);
  ASSERT_EQ(S_OK, hr);
  ComPtr<OMB::ICore> core;
  ASSERT_EQ(S_OK, first.As(&core));
  const HWND hwnd = core->GetWindowHandle();
  ASSERT_TRUE(hwnd);
  ASSERT_TRUE(Until([&] { return Global(hwnd, L"done") == L"yes"; }));
  omb::unique_bstr resolved;
  ASSERT_EQ(S_OK, core->ResolvePath(L"x\\y.txt", resolved.put()));
  EXPECT_EQ(app.Path() + L"\\resource\\x\\y.txt", std::wstring(resolved.get()));
  ComPtr<IDispatch> array;
  EXPECT_EQ(S_OK, core->CreateObject(L"Array", &array));
  EXPECT_EQ(E_NOINTERFACE, core->CreateObject(L"list", &array));
  DestroyWindow(hwnd);
}

}  // namespace
