// A minimal in-process container for the page engine: a host window, a site
// (client site, in-place site, UI handler, command target) that records
// what the engine asks of it, an external object page script can log to,
// and an event sink. The fixture creates the engine in the window, writes
// pages to a temporary folder and pumps messages until a condition holds.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/engine/engine_com.h"
#include "app/engine/page_engine.h"
#include "sdk/dispatch.h"

namespace omb::engine::test {

using Log = std::vector<std::wstring>;

inline std::wstring Bstr(BSTR s) { return s ? std::wstring(s, SysStringLen(s)) : std::wstring(); }

// external: log(text) appends to the shared log; answer is 42. It also
// stands in for the host's plug-ins the start-up script uses: "console" and
// "window" read as the object itself, which has a title and a messageBox
// that logs "box <caption>|<text>".
class TestExternal : public ComObject<TestExternal, IDispatch> {
 public:
  explicit TestExternal(Log* log) noexcept : log_(log) {}
  STDMETHODIMP GetTypeInfoCount(UINT* count) noexcept override {
    *count = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT, LCID, DISPID* ids) noexcept override {
    static const wchar_t* const kNames[] = {L"log",    L"answer", L"console",
                                            L"window", L"title",  L"messageBox"};
    for (DISPID i = 0; i < 6; ++i) {
      if (wcscmp(names[0], kNames[i]) == 0) {
        ids[0] = i + 1;
        return S_OK;
      }
    }
    return DISP_E_UNKNOWNNAME;
  }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO*, UINT*) noexcept override {
    switch (id) {
      case 1:
        if (params->cArgs < 1) return DISP_E_BADPARAMCOUNT;
        log_->push_back(Text(params->rgvarg[params->cArgs - 1]));
        return S_OK;
      case 2:
        if (result) SetI4(result, 42);
        return S_OK;
      case 3:
      case 4:
        if (result) SetDispatch(result, this);
        return S_OK;
      case 5:
        if (result) SetString(result, L"Window Title");
        return S_OK;
      case 6: {
        if (params->cArgs < 1 || params->rgvarg[params->cArgs - 1].vt != VT_DISPATCH)
          return E_INVALIDARG;
        IDispatch* options = params->rgvarg[params->cArgs - 1].pdispVal;
        log_->push_back(L"box " + Property(options, L"caption") + L"|" +
                        Property(options, L"text"));
        return S_OK;
      }
      default:
        return DISP_E_MEMBERNOTFOUND;
    }
  }

 private:
  static std::wstring Text(VARIANT& value) {
    VARIANT text;
    VariantInit(&text);
    if (FAILED(VariantChangeType(&text, &value, 0, VT_BSTR))) return L"?";
    std::wstring out = Bstr(text.bstrVal);
    VariantClear(&text);
    return out;
  }
  static std::wstring Property(IDispatch* object, const wchar_t* name) {
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names = const_cast<LPOLESTR>(name);
    if (FAILED(object->GetIDsOfNames(IID_NULL, &names, 1, 0, &id))) return L"(none)";
    VARIANT value;
    VariantInit(&value);
    DISPPARAMS none{};
    object->Invoke(id, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &value, nullptr, nullptr);
    std::wstring out = Text(value);
    VariantClear(&value);
    return out;
  }

  Log* log_;
};

// An IDispatch sink that hands every call to a function.
class TestSink : public ComObject<TestSink, omb::InvokeOnly> {
 public:
  using Handler = std::function<void(DISPID, DISPPARAMS*)>;
  explicit TestSink(Handler handler) : handler_(std::move(handler)) {}
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                      UINT*) noexcept override {
    handler_(id, params);
    return S_OK;
  }

 private:
  Handler handler_;
};

struct RecordedScriptError {
  VARTYPE documentType;
  bool documentIsHtmlDocument;
};

class TestSite : public ComObject<TestSite, IOleClientSite, IOleInPlaceSite, IDocHostUIHandler,
                                  IOleCommandTarget> {
 public:
  HWND window = nullptr;
  ComPtr<IDispatch> external;
  // Script errors: what Exec answers and what it puts in out.
  HRESULT execAnswer = S_OK;
  bool keepRunning = true;
  std::vector<RecordedScriptError> scriptErrors;
  // Context menus: the tag of the element asked about, and the answer.
  HRESULT contextMenuAnswer = S_OK;
  std::vector<std::wstring> contextMenuTags;
  // Keys: what TranslateAccelerator saw and answers.
  HRESULT acceleratorAnswer = S_FALSE;
  std::vector<UINT> acceleratorMessages;
  // Drop target: the one the engine offered, and whether to replace it.
  ComPtr<IDropTarget> offeredDropTarget;

  // IOleClientSite
  STDMETHODIMP SaveObject() noexcept override { return E_NOTIMPL; }
  STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker**) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP GetContainer(IOleContainer** c) noexcept override {
    *c = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP ShowObject() noexcept override { return S_OK; }
  STDMETHODIMP OnShowWindow(BOOL) noexcept override { return S_OK; }
  STDMETHODIMP RequestNewObjectLayout() noexcept override { return E_NOTIMPL; }
  // IOleInPlaceSite
  STDMETHODIMP GetWindow(HWND* w) noexcept override {
    *w = window;
    return S_OK;
  }
  STDMETHODIMP ContextSensitiveHelp(BOOL) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP CanInPlaceActivate() noexcept override { return S_OK; }
  STDMETHODIMP OnInPlaceActivate() noexcept override { return S_OK; }
  STDMETHODIMP OnUIActivate() noexcept override { return S_OK; }
  STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc, LPRECT pos,
                                LPRECT clip, LPOLEINPLACEFRAMEINFO) noexcept override {
    *frame = nullptr;
    *doc = nullptr;
    GetClientRect(window, pos);
    *clip = *pos;
    return S_OK;
  }
  STDMETHODIMP Scroll(SIZE) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP OnUIDeactivate(BOOL) noexcept override { return S_OK; }
  STDMETHODIMP OnInPlaceDeactivate() noexcept override { return S_OK; }
  STDMETHODIMP DiscardUndoState() noexcept override { return E_NOTIMPL; }
  STDMETHODIMP DeactivateAndUndo() noexcept override { return E_NOTIMPL; }
  STDMETHODIMP OnPosRectChange(LPCRECT) noexcept override { return S_OK; }
  // IDocHostUIHandler
  STDMETHODIMP ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch* element) noexcept override {
    ComPtr<IHTMLElement> e;
    BSTR tag = nullptr;
    if (element && SUCCEEDED(element->QueryInterface(IID_PPV_ARGS(&e)))) e->get_tagName(&tag);
    contextMenuTags.push_back(Bstr(tag));
    SysFreeString(tag);
    return contextMenuAnswer;
  }
  STDMETHODIMP GetHostInfo(DOCHOSTUIINFO*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*, IOleInPlaceFrame*,
                      IOleInPlaceUIWindow*) noexcept override {
    return S_FALSE;
  }
  STDMETHODIMP HideUI() noexcept override { return S_OK; }
  STDMETHODIMP UpdateUI() noexcept override { return S_OK; }
  STDMETHODIMP EnableModeless(BOOL) noexcept override { return S_OK; }
  STDMETHODIMP OnDocWindowActivate(BOOL) noexcept override { return S_OK; }
  STDMETHODIMP OnFrameWindowActivate(BOOL) noexcept override { return S_OK; }
  STDMETHODIMP ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) noexcept override { return S_OK; }
  STDMETHODIMP TranslateAccelerator(LPMSG msg, const GUID*, DWORD) noexcept override {
    acceleratorMessages.push_back(msg->message);
    return acceleratorAnswer;
  }
  STDMETHODIMP GetOptionKeyPath(LPOLESTR* key, DWORD) noexcept override {
    *key = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP GetDropTarget(IDropTarget* offered, IDropTarget** out) noexcept override {
    offeredDropTarget = offered;
    *out = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP GetExternal(IDispatch** out) noexcept override {
    *out = external.Get();
    if (*out) (*out)->AddRef();
    return external ? S_OK : E_NOTIMPL;
  }
  STDMETHODIMP TranslateUrl(DWORD, LPWSTR, LPWSTR* out) noexcept override {
    *out = nullptr;
    return S_FALSE;
  }
  STDMETHODIMP FilterDataObject(IDataObject*, IDataObject** out) noexcept override {
    *out = nullptr;
    return S_FALSE;
  }
  // IOleCommandTarget
  STDMETHODIMP QueryStatus(const GUID*, ULONG, OLECMD*, OLECMDTEXT*) noexcept override {
    return OLECMDERR_E_UNKNOWNGROUP;
  }
  STDMETHODIMP Exec(const GUID* group, DWORD command, DWORD, VARIANT* in,
                    VARIANT* out) noexcept override {
    if (!group || *group != CGID_DocHostCommandHandler || command != OLECMDID_SHOWSCRIPTERROR)
      return OLECMDERR_E_UNKNOWNGROUP;
    ComPtr<IHTMLDocument2> document;
    if (in && in->vt == VT_UNKNOWN && in->punkVal)
      in->punkVal->QueryInterface(IID_PPV_ARGS(&document));
    scriptErrors.push_back(
        RecordedScriptError{in ? in->vt : static_cast<VARTYPE>(VT_EMPTY), document != nullptr});
    if (execAnswer == S_OK && out) SetBool(out, keepRunning);
    return execAnswer;
  }
};

// Watches for a top-level window of a class and caption on another thread,
// reads its message text and closes it the way a user's OK click would.
class DialogCloser {
 public:
  DialogCloser(const wchar_t* className, const wchar_t* caption)
      : thread_([this, className, caption] { Run(className, caption); }) {}
  ~DialogCloser() {
    stop_ = true;
    thread_.join();
  }
  bool Closed() const { return closed_; }
  std::wstring Text() const { return text_; }

 private:
  void Run(const wchar_t* className, const wchar_t* caption) {
    while (!stop_ && !closed_) {
      if (HWND box = FindWindowW(className, caption)) {
        wchar_t text[1024] = L"";
        GetDlgItemTextW(box, 0xFFFF, text, 1024);
        text_ = text;
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        closed_ = true;
      }
      Sleep(20);
    }
  }
  std::atomic<bool> stop_{false};
  std::atomic<bool> closed_{false};
  std::wstring text_;
  std::thread thread_;
};

class EngineTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    OleInitialize(nullptr);
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"EngineTestHost";
    RegisterClassW(&wc);
  }

  void SetUp() override {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    folder_ = std::wstring(temp) + L"engine test " + std::to_wstring(GetCurrentProcessId()) + L"_" +
              std::to_wstring(++counter_) + L"\\";
    CreateDirectoryW(folder_.c_str(), nullptr);
    window_ = CreateWindowExW(0, L"EngineTestHost", L"host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                              640, 480, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    site_ = Make<TestSite>();
    site_->window = window_;
    site_->external = Make<TestExternal>(&log_);
  }

  void TearDown() override {
    ReleaseEngine();
    site_.Reset();
    DestroyWindow(window_);
    Pump([] { return false; }, 50);
    RemoveFolder(folder_);
  }

  void ReleaseEngine() {
    if (!browser_) return;
    if (point_) point_->Unadvise(cookie_);
    point_.Reset();
    ComPtr<IOleObject> ole;
    browser_.As(&ole);
    ole->Close(OLECLOSE_NOSAVE);
    ole->SetClientSite(nullptr);
    browser_.Reset();
  }

  static void RemoveFolder(const std::wstring& folder) {
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((folder + L"*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
      do {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
          RemoveFolder(folder + name + L"\\");
        else
          DeleteFileW((folder + name).c_str());
      } while (FindNextFileW(find, &data));
      FindClose(find);
    }
    RemoveDirectoryW(folder.c_str());
  }

  // Writes a file (UTF-8) under the test folder; answers its full path.
  std::wstring WriteFile(const std::wstring& name, const std::string& utf8) {
    const std::wstring path = folder_ + name;
    const size_t slash = name.find_last_of(L'\\');
    if (slash != std::wstring::npos)
      CreateDirectoryW((folder_ + name.substr(0, slash)).c_str(), nullptr);
    HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    ::WriteFile(f, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
    CloseHandle(f);
    return path;
  }

  // Creates the engine in the window, in place, with the events sink
  // connected (before any navigation, as the host does).
  void CreateEngine() {
    ASSERT_EQ(CreatePageEngine(IID_PPV_ARGS(&browser_)), S_OK);
    ComPtr<IOleObject> ole;
    ASSERT_EQ(browser_.As(&ole), S_OK);
    ASSERT_EQ(ole->SetClientSite(site_.Get()), S_OK);
    ComPtr<IPersistStreamInit> persist;
    ASSERT_EQ(browser_.As(&persist), S_OK);
    ASSERT_EQ(persist->InitNew(), S_OK);
    RECT rect;
    GetClientRect(window_, &rect);
    ASSERT_EQ(ole->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site_.Get(), 0, window_, &rect), S_OK);
    sink_ = Make<TestSink>([this](DISPID id, DISPPARAMS* params) { OnBrowserEvent(id, params); });
    ComPtr<IConnectionPointContainer> container;
    ASSERT_EQ(browser_.As(&container), S_OK);
    ASSERT_EQ(container->FindConnectionPoint(DIID_DWebBrowserEvents2, &point_), S_OK);
    ASSERT_EQ(point_->Advise(sink_.Get(), &cookie_), S_OK);
  }

  virtual void OnBrowserEvent(DISPID id, DISPPARAMS* params) {
    if (id == DISPID_NAVIGATECOMPLETE2 || id == DISPID_DOCUMENTCOMPLETE) {
      const VARIANT* url = params->rgvarg[0].pvarVal;
      log_.push_back((id == DISPID_NAVIGATECOMPLETE2 ? L"nav " : L"doc ") + Bstr(url->bstrVal));
      if (id == DISPID_NAVIGATECOMPLETE2 && !startupScript_.empty()) ExecScript(startupScript_);
      if (id == DISPID_DOCUMENTCOMPLETE) ++documentsCompleted_;
      if (onEvent_) onEvent_(id, params);
    } else if (onEvent_) {
      onEvent_(id, params);
    }
  }

  void Navigate(const std::wstring& target) {
    unique_bstr url(SysAllocString(target.c_str()));
    ASSERT_EQ(browser_->Navigate(url.get(), nullptr, nullptr, nullptr, nullptr), S_OK);
  }

  // Navigates and pumps until the document completes.
  void Load(const std::wstring& target) {
    const int before = documentsCompleted_;
    Navigate(target);
    ASSERT_TRUE(Pump([&] { return documentsCompleted_ > before; }))
        << "DocumentComplete never came";
  }

  ComPtr<IHTMLDocument2> Document() {
    ComPtr<IDispatch> dispatch;
    browser_->get_Document(&dispatch);
    ComPtr<IHTMLDocument2> document;
    if (dispatch) dispatch.As(&document);
    return document;
  }

  ComPtr<IDispatchEx> ScriptObject() {
    ComPtr<IDispatch> script;
    Document()->get_Script(&script);
    ComPtr<IDispatchEx> ex;
    if (script) script.As(&ex);
    return ex;
  }

  HRESULT ExecScript(const std::wstring& code) {
    ComPtr<IHTMLWindow2> window;
    HRESULT hr = Document()->get_parentWindow(&window);
    if (FAILED(hr)) return hr;
    unique_bstr text(SysAllocString(code.c_str()));
    VARIANT result;
    VariantInit(&result);
    hr = window->execScript(text.get(), nullptr, &result);
    VariantClear(&result);
    return hr;
  }

  HWND ServerWindow() {
    ComPtr<IOleWindow> ole;
    browser_.As(&ole);
    HWND embedding = nullptr;
    ole->GetWindow(&embedding);
    HWND view = embedding ? GetWindow(embedding, GW_CHILD) : nullptr;
    return view ? GetWindow(view, GW_CHILD) : nullptr;
  }

  static bool Pump(const std::function<bool()>& done, DWORD timeoutMs = 5000) {
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    while (!done()) {
      if (GetTickCount64() > end) return false;
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
        if (done()) return true;
      }
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
    return true;
  }

  bool Logged(const std::wstring& entry) const {
    for (const auto& e : log_)
      if (e == entry) return true;
    return false;
  }

  std::wstring Joined() const {
    std::wstring all;
    for (const auto& e : log_) all += (all.empty() ? L"" : L" | ") + e;
    return all;
  }

  static inline int counter_ = 0;
  std::wstring folder_;
  HWND window_ = nullptr;
  ComPtr<TestSite> site_;
  ComPtr<IWebBrowser2> browser_;
  ComPtr<TestSink> sink_;
  ComPtr<IConnectionPoint> point_;
  DWORD cookie_ = 0;
  Log log_;
  std::wstring startupScript_;
  int documentsCompleted_ = 0;
  std::function<void(DISPID, DISPPARAMS*)> onEvent_;
};

}  // namespace omb::engine::test
