#include "app/core/browser_window.h"

#include <exdispid.h>
#include <mshtml.h>
#include <shellapi.h>
#include <shlwapi.h>

#include <new>
#include <vector>

#include "app/core/ax_host.h"
#include "app/core/cmdline.h"
#include "app/core/paths.h"
#include "app/core/resolve_path.h"
#include "app/core/script_call.h"
#include "app/core/script_object.h"
#include "sdk/trace.h"

namespace omb {
namespace {

constexpr int kIconResource = 1000;
constexpr int kObjectSlot = 0;  // window extra bytes holding the CWebBrowser
constexpr DWORD kFeatureDisableNavigationSounds = 21;  // FEATURE_DISABLE_NAVIGATION_SOUNDS
constexpr DWORD kSetFeatureOnProcess = 2;              // SET_FEATURE_ON_PROCESS

struct CreationParameters {
  CWebBrowser* self;
  const wchar_t* page;
};

HINSTANCE ProgramInstance() noexcept {
  HINSTANCE instance = Module().Instance();
  return instance ? instance : GetModuleHandleW(nullptr);
}

bool RegisterWindowClass(WNDPROC procedure) noexcept {
  static const bool registered = [procedure]() noexcept {
    WNDCLASSEXW cls = {};
    cls.cbSize = sizeof(cls);
    cls.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
    cls.lpfnWndProc = procedure;
    cls.cbWndExtra = sizeof(LONG_PTR);  // the object; GWLP_USERDATA stays free for others
    cls.hInstance = ProgramInstance();
    cls.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    cls.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    cls.lpszClassName = CWebBrowser::kClassName;
    return RegisterClassExW(&cls) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
  }();
  return registered;
}

// Navigation sounds off for the whole process; the library stays loaded. The
// setting is the platform control's: the script-only engine plays no sounds,
// so with it the URL-moniker library (and the network libraries it brings,
// about 1.4 MiB and several milliseconds under Wine) is not loaded at all.
void DisableNavigationSounds() noexcept {
  if (ChosenBrowserEngine().kind == BrowserEngine::kScript) return;
  static const bool done = []() noexcept {
    using SetFeatureFn = HRESULT(WINAPI*)(DWORD, DWORD, BOOL);
    HMODULE urlmon = LoadLibraryW(L"Urlmon.dll");
    if (!urlmon) return false;
    const auto setFeature = reinterpret_cast<SetFeatureFn>(
        reinterpret_cast<void (*)()>(GetProcAddress(urlmon, "CoInternetSetFeatureEnabled")));
    if (setFeature) (void)setFeature(kFeatureDisableNavigationSounds, kSetFeatureOnProcess, TRUE);
    return true;
  }();
  (void)done;
}

std::wstring CurrentDirectory() {
  const DWORD size = GetCurrentDirectoryW(0, nullptr);
  if (size == 0) return std::wstring();
  std::wstring folder(size, L'\0');
  const DWORD length = GetCurrentDirectoryW(size, folder.data());
  folder.resize(length < size ? length : 0);
  return folder;
}

bool IsDirectory(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring CommandLinePage() {
  CCmdLine commandLine;
  const std::wstring* f = commandLine.Value(L"f");
  return f ? *f : std::wstring();
}

// Sets *Cancel of an event: a by-reference boolean (or variant holding one).
void SetCancel(VARIANT& cancel) noexcept {
  if (cancel.vt == (VT_BYREF | VT_BOOL) && cancel.pboolVal) {
    *cancel.pboolVal = VARIANT_TRUE;
  } else if (cancel.vt == (VT_BYREF | VT_VARIANT) && cancel.pvarVal) {
    VariantClear(cancel.pvarVal);
    SetBool(cancel.pvarVal, true);
  }
}

const wchar_t* StringArgument(const VARIANT& v) noexcept {
  if (v.vt == VT_BSTR) return v.bstrVal;
  if (v.vt == (VT_BYREF | VT_BSTR) && v.pbstrVal) return *v.pbstrVal;
  if (v.vt == (VT_BYREF | VT_VARIANT) && v.pvarVal && v.pvarVal->vt == VT_BSTR)
    return v.pvarVal->bstrVal;
  return nullptr;
}

ComPtr<IWebBrowser2> BrowserOf(HWND window) noexcept {
  const ComPtr<IUnknown> control = AxGetControl(window);
  ComPtr<IWebBrowser2> browser;
  if (control) (void)control.As(&browser);
  return browser;
}

}  // namespace

// ---------------------------------------------------------------------------
// Choosing the page

std::optional<StartPage> ChooseStartPage(const wchar_t* creationParameter, const wchar_t* f,
                                         const std::wstring& currentDirectory,
                                         const std::wstring& exePath) {
  StartPage choice;
  if (creationParameter) {
    choice.page = creationParameter;
  } else if (f && *f) {
    choice.page = f;
  } else {
    const bool root = PathIsRootW(currentDirectory.c_str()) != FALSE;
    const std::wstring separator = root ? L"" : L"\\";
    if (IsDirectory(currentDirectory + separator + L"resource")) {
      choice.page = currentDirectory + separator + L"resource\\index.html";
    } else {
      choice.currentDirectory = exePath + L"\\..\\";
      choice.page = exePath + L"\\..\\resource\\index.html";
    }
  }
  if (choice.page.size() > kMaxPagePath) return std::nullopt;
  return choice;
}

bool PageExists(const std::wstring& page) {
  if (PathIsURLW(page.c_str())) return true;
  const std::wstring file = page.substr(0, page.find(L'#'));
  return PathFileExistsW(file.c_str()) != FALSE;
}

// ---------------------------------------------------------------------------
// The window

CWebBrowser::~CWebBrowser() {
  OMB_TRACE(kTraceCalls, "CWebBrowser::~CWebBrowser", nullptr);
}

HWND CWebBrowser::Create(HWND owner, const wchar_t* page) noexcept {
  if (window_ || !RegisterWindowClass(&WindowProc)) return nullptr;
  CreationParameters parameters = {this, page};
  const HWND created =
      CreateWindowExW(0, kClassName, nullptr, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                      CW_USEDEFAULT, CW_USEDEFAULT, owner, nullptr, ProgramInstance(), &parameters);
  // A window that destroyed itself during creation has detached already.
  if (!created || window_ != created) return nullptr;
  return created;
}

HRESULT CWebBrowser::SetWindowValues(const VARIANT* callback, const VARIANT* context) noexcept {
  if (callback) OMB_RETURN_IF_FAILED(pendingCallback_.CopyFrom(*callback));
  if (context) OMB_RETURN_IF_FAILED(pendingContext_.CopyFrom(*context));
  valuesPending_ = true;
  return S_OK;
}

// Writes windowContext and windowCallback into the script of the page that
// has just navigated: before that the control may hold no document, or one
// that the page replaces, and the values would be lost. Once per window;
// failures are ignored.
void CWebBrowser::PublishWindowValues() noexcept {
  if (!valuesPending_) return;
  valuesPending_ = false;
  const unique_variant callback(std::move(pendingCallback_));
  const unique_variant context(std::move(pendingContext_));
  const ComPtr<IWebBrowser2> browser = BrowserOf(window_);
  ComPtr<IDispatch> document;
  if (!browser || FAILED(browser->get_Document(&document)) || !document) return;
  ComPtr<IHTMLDocument2> html;
  ComPtr<IDispatch> script;
  ComPtr<IDispatchEx> global;
  if (FAILED(document.As(&html)) || FAILED(html->get_Script(&script)) || !script ||
      FAILED(script.As(&global)))
    return;
  const struct {
    const wchar_t* name;
    const VARIANT& value;
  } values[] = {{L"windowContext", *context}, {L"windowCallback", *callback}};
  for (const auto& item : values) {
    unique_bstr name(SysAllocString(item.name));
    DISPID id = DISPID_UNKNOWN;
    if (!name || FAILED(global->GetDispID(name.get(), fdexNameEnsure, &id))) continue;
    (void)WriteMember(global.Get(), id, item.value);
  }
}

LRESULT CALLBACK CWebBrowser::WindowProc(HWND window, UINT message, WPARAM wParam,
                                         LPARAM lParam) noexcept {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    const auto* parameters = static_cast<const CreationParameters*>(create->lpCreateParams);
    if (parameters && parameters->self) {
      parameters->self->window_ = window;
      SetWindowLongPtrW(window, kObjectSlot, reinterpret_cast<LONG_PTR>(parameters->self));
    }
  }
  auto* self = reinterpret_cast<CWebBrowser*>(GetWindowLongPtrW(window, kObjectSlot));
  if (!self) return DefWindowProcW(window, message, wParam, lParam);
  return self->HandleMessage(message, wParam, lParam);
}

LRESULT CWebBrowser::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) noexcept {
  if (message == AxGetHostMessage())
    return reinterpret_cast<LRESULT>(host_ ? host_->Unknown() : nullptr);
  if (message == AxGetControlMessage())
    return reinterpret_cast<LRESULT>(host_ ? host_->Control() : nullptr);
  switch (message) {
    case WM_CREATE: {
      const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
      const auto* parameters = static_cast<const CreationParameters*>(create->lpCreateParams);
      OnCreate(parameters ? parameters->page : nullptr);
      return 0;
    }
    case WM_SIZE:
      if (host_) host_->FitControlToWindow();
      break;
    case WM_SETFOCUS:
      if (host_ && !IsChild(window_, GetFocus())) host_->FocusControl();
      break;
    case WM_DESTROY:
      OnDestroy();
      return 0;
    default:
      break;
  }
  return DefWindowProcW(window_, message, wParam, lParam);
}

void CWebBrowser::OnCreate(const wchar_t* creationParameter) noexcept {
  (void)OleInitialize(nullptr);  // once per window, never balanced
  if (HANDLE icon = LoadImageW(ProgramInstance(), MAKEINTRESOURCEW(kIconResource), IMAGE_ICON,
                               GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON),
                               LR_SHARED))
    SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));

  std::optional<StartPage> choice;
  try {
    const std::wstring f = creationParameter ? std::wstring() : CommandLinePage();
    choice = ChooseStartPage(creationParameter, f.c_str(), CurrentDirectory(), ExecutablePath());
    if (!choice) {
      OMB_TRACE(kTraceErrors, "CWebBrowser::OnCreate", L"page path longer than %d characters",
                static_cast<int>(kMaxPagePath));
    } else {
      if (!choice->currentDirectory.empty()) SetCurrentDirectoryW(choice->currentDirectory.c_str());
      if (!PageExists(choice->page)) {
        OMB_TRACE(kTraceErrors, "CWebBrowser::OnCreate", L"not found index.html");
        choice.reset();
      }
    }
  } catch (const std::bad_alloc&) {
    choice.reset();
  }
  if (!choice) {
    DestroyWindow(window_);
    return;
  }
  CreateBrowser(choice->page);
  if (CMessageLoop* loop = Module().GetMessageLoop()) {
    try {
      loop->AddMessageFilter(this);
      filterAdded_ = true;
    } catch (const std::bad_alloc&) {
    }
  }
}

void CWebBrowser::CreateBrowser(const std::wstring& page) noexcept {
  ComPtr<CWebBrowserHost> host = Make<CWebBrowserHost>();
  if (!host) return;
  const HRESULT hr = host->CreateControl(window_, page.c_str(), static_cast<IDispatch*>(this));
  if (FAILED(hr))
    OMB_TRACE(kTraceErrors, "CWebBrowser::OnCreate", L"no browser control: %08X",
              static_cast<unsigned>(hr));
  ComPtr<IWebBrowser2> browser;
  if (SUCCEEDED(host->QueryControl(browser.GetAddressOf())))
    (void)browser->put_RegisterAsBrowser(VARIANT_TRUE);
  DisableNavigationSounds();
  (void)host->SetCore(this, browser.Get());
  host_ = std::move(host);
}

void CWebBrowser::OnDestroy() noexcept {
  // Releasing the plug-ins can drop the last other reference to this object.
  ComPtr<CWebBrowser> keepAlive(this);
  if (host_) {
    // The control goes first: its page's unload handlers still reach the
    // plug-ins, and once the plug-ins are released no page script runs.
    host_->DestroyControl();
    (void)host_->ReleasePlugins();
    host_ = nullptr;
  }
  if (filterAdded_) {
    if (CMessageLoop* loop = Module().GetMessageLoop()) loop->RemoveMessageFilter(this);
    filterAdded_ = false;
  }
  SetWindowLongPtrW(window_, kObjectSlot, 0);
  window_ = nullptr;
}

// The loop offers every message to every window's filter. Only keystrokes
// are accelerators, they belong to the window whose child has the focus
// (the message's window), and a control takes accelerators only while it is
// UI-active: another window's control would act on keys typed elsewhere.
BOOL CWebBrowser::PreTranslateMessage(MSG* msg) noexcept {
  if (!msg || msg->message < WM_KEYFIRST || msg->message > WM_KEYLAST || !host_) return FALSE;
  if (!window_ || (msg->hwnd != window_ && !IsChild(window_, msg->hwnd))) return FALSE;
  const ComPtr<IOleInPlaceActiveObject> active(host_->UiActiveObject());
  if (!active) return FALSE;
  return active->TranslateAccelerator(msg) == S_OK;
}

// ---------------------------------------------------------------------------
// Control events

HRESULT CWebBrowser::QueryOther(REFIID iid, void** out) noexcept {
  if (iid != DIID_DWebBrowserEvents2) return E_NOINTERFACE;
  *out = static_cast<IDispatch*>(this);
  AddRef();
  return S_OK;
}

STDMETHODIMP CWebBrowser::GetTypeInfoCount(UINT* count) noexcept {
  if (!count) return E_POINTER;
  *count = 0;
  return S_OK;
}

STDMETHODIMP CWebBrowser::GetTypeInfo(UINT, LCID, ITypeInfo** info) noexcept {
  if (!info) return E_POINTER;
  *info = nullptr;
  return DISP_E_BADINDEX;
}

STDMETHODIMP CWebBrowser::GetIDsOfNames(REFIID, LPOLESTR*, UINT count, LCID, DISPID* ids) noexcept {
  if (ids)
    for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
  return DISP_E_UNKNOWNNAME;
}

STDMETHODIMP CWebBrowser::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*,
                                 EXCEPINFO*, UINT*) noexcept {
  // Events may arrive while the window goes away; hold on until done.
  ComPtr<CWebBrowser> keepAlive(this);
  switch (id) {
    case DISPID_NAVIGATECOMPLETE2:
      // Frames report their own navigations; the host acts on the page's.
      if (!IsTopLevelEvent(params)) break;
      if (host_) (void)host_->OnBrowserEvent(DISPID_NAVIGATECOMPLETE2);
      PublishWindowValues();
      break;
    case DISPID_DOCUMENTCOMPLETE:
      if (!IsTopLevelEvent(params)) break;
      OMB_TRACE(kTraceCalls, "CWebBrowser::OnDocumentComplete", nullptr);
      if (host_) (void)host_->OnBrowserEvent(DISPID_DOCUMENTCOMPLETE);
      break;
    case DISPID_WINDOWCLOSING:
      OMB_TRACE(kTraceCalls, "CWebBrowser::OnWindowClosing", nullptr);
      OnWindowClosing(params);
      break;
    case DISPID_NEWWINDOW3:
      OMB_TRACE(kTraceCalls, "CWebBrowser::OnNewWindow3", nullptr);
      OnNewWindow(params);
      break;
    default:
      break;
  }
  return S_OK;
}

// NavigateComplete2 and DocumentComplete (pDisp, URL): pDisp is the browser
// of the frame the event is for, the control itself for the page. An event
// without one is taken to be the page's.
bool CWebBrowser::IsTopLevelEvent(const DISPPARAMS* params) const noexcept {
  if (!params || params->cArgs < 2) return true;
  const VARIANT& browser = params->rgvarg[params->cArgs - 1];
  IUnknown* reported = nullptr;
  if (browser.vt == VT_DISPATCH || browser.vt == VT_UNKNOWN) reported = browser.punkVal;
  else if (browser.vt == (VT_BYREF | VT_DISPATCH) && browser.ppdispVal) reported = *browser.ppdispVal;
  IUnknown* control = host_ ? host_->Control() : nullptr;
  if (!reported || !control) return true;
  ComPtr<IUnknown> reportedIdentity, controlIdentity;
  (void)reported->QueryInterface(IID_PPV_ARGS(&reportedIdentity));
  (void)control->QueryInterface(IID_PPV_ARGS(&controlIdentity));
  return reportedIdentity && reportedIdentity == controlIdentity;
}

// WindowClosing(IsChildWindow, Cancel): the page called window.close(). Left
// alone the control would destroy its own window inside an empty frame; the
// control is told to stay and the frame closes the way the window plug-in's
// close() closes it, which tears the control down with the window.
void CWebBrowser::OnWindowClosing(const DISPPARAMS* params) noexcept {
  if (!params || params->cArgs < 2 || !window_) return;
  const VARIANT& isChild = params->rgvarg[1];
  if (isChild.vt == VT_BOOL && isChild.boolVal != VARIANT_FALSE) return;  // a frame's window
  SetCancel(params->rgvarg[0]);
  ComPtr<IDispatch> windowPlugin;
  DISPID close = DISPID_UNKNOWN;
  LPOLESTR names[] = {const_cast<LPOLESTR>(L"close")};
  DISPPARAMS none = {};
  if (SUCCEEDED(QueryPlugin(L"window", &windowPlugin)) &&
      SUCCEEDED(windowPlugin->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &close)) &&
      SUCCEEDED(windowPlugin->Invoke(close, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none,
                                     nullptr, nullptr, nullptr)))
    return;
  PostMessageW(window_, WM_CLOSE, 0, 0);
}

// NewWindow3(ppDisp, Cancel, dwFlags, bstrUrlContext, bstrUrl): the new
// window opens in the user's default program, never in the host.
void CWebBrowser::OnNewWindow(const DISPPARAMS* params) noexcept {
  if (!params || params->cArgs < 5) return;
  SetCancel(params->rgvarg[3]);
  const wchar_t* url = StringArgument(params->rgvarg[0]);
  if (url && *url) (void)ShellExecuteW(nullptr, nullptr, url, nullptr, nullptr, SW_SHOW);
}

// ---------------------------------------------------------------------------
// OMB::ICore

STDMETHODIMP CWebBrowser::CreateBrowserWindow(const wchar_t* url, BOOL inherit, VARIANT* callback,
                                              VARIANT* context, IDispatch** window) noexcept {
  if (window) *window = nullptr;
  // Without a URL the page's own folder would be opened.
  if (!url || !*url) return E_INVALIDARG;
  unique_bstr resolved;
  OMB_RETURN_IF_FAILED(ResolvePath(url, resolved.put()));
  if (!resolved.get() || !*resolved.get()) return E_INVALIDARG;

  ComPtr<CWebBrowser> created = Make<CWebBrowser>();
  if (!created) return E_OUTOFMEMORY;
  OMB_RETURN_IF_FAILED(created->SetWindowValues(callback, context));
  const HWND createdWindow = created->Create(inherit ? window_ : nullptr, resolved.get());
  if (!createdWindow) {
    const HRESULT hr = HResultFromLastError();
    return FAILED(hr) ? hr : E_FAIL;
  }
  if (window) {
    const ComPtr<IUnknown> host = AxGetHost(createdWindow);
    ComPtr<IWebbrowserHost> webHost;
    if (host && SUCCEEDED(host.As(&webHost))) (void)webHost->QueryPlugin(L"window", window);
  }
  return S_OK;
}

STDMETHODIMP CWebBrowser::QueryPlugin(const wchar_t* name, IDispatch** plugin) noexcept {
  if (!plugin) return E_INVALIDARG;
  *plugin = nullptr;
  return host_ ? host_->QueryPlugin(name, plugin) : E_FAIL;
}

std::wstring CWebBrowser::LocationUrl() const {
  const ComPtr<IWebBrowser2> browser = BrowserOf(window_);
  unique_bstr location;
  if (browser) (void)browser->get_LocationURL(location.put());
  return location.get() ? std::wstring(location.get()) : std::wstring();
}

STDMETHODIMP CWebBrowser::ResolvePath(const wchar_t* path, BSTR* result) noexcept {
  if (!result) return E_POINTER;
  *result = nullptr;
  try {
    return ResolvePathFromLocation(path, LocationUrl().c_str(), result);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

STDMETHODIMP CWebBrowser::CreateObject(const wchar_t* kind, IDispatch** object) noexcept {
  return CreateScriptObject(kind, object);
}

}  // namespace omb
