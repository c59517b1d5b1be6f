#include "app/core/ax_host.h"

#include <exdisp.h>
#include <exdispid.h>

#include "app/engine/page_engine.h"
#include "sdk/trace.h"

namespace omb {
namespace {

// The platform's HTML document class: when it can be created, the platform's
// browser control can render pages.
constexpr CLSID kClsidHtmlDocument = {
    0x25336920, 0x03f9, 0x11cf, {0x8f, 0xd0, 0x00, 0xaa, 0x00, 0x68, 0x6f, 0x13}};

bool PlatformHtmlEngineExists() noexcept {
  ComPtr<IUnknown> document;
  return SUCCEEDED(CoCreateInstance(kClsidHtmlDocument, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_IUnknown, reinterpret_cast<void**>(&document)));
}

bool EqualsNoCase(const wchar_t* a, const wchar_t* b) noexcept {
  return CompareStringOrdinal(a, -1, b, -1, TRUE) == CSTR_EQUAL;
}

// The WebBrowser class of a control library, made through its class factory
// as COM would make an in-process server's object. The library is loaded
// once and never freed: its controls may live until the process ends.
HRESULT CreateControlFromLibrary(const wchar_t* path, IUnknown** control) noexcept {
  using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
  const HMODULE library = LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (!library) return HResultFromLastError();
  const auto getClassObject = reinterpret_cast<GetClassObjectFn>(
      reinterpret_cast<void (*)()>(GetProcAddress(library, "DllGetClassObject")));
  if (!getClassObject) return HResultFromLastError();
  ComPtr<IClassFactory> factory;
  OMB_RETURN_IF_FAILED(getClassObject(CLSID_WebBrowser, IID_PPV_ARGS(&factory)));
  return factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(control));
}

ComPtr<IUnknown> AskWindow(HWND window, UINT message) noexcept {
  if (!window || !message) return nullptr;
  // The answer carries no reference; the ComPtr takes one of its own.
  return reinterpret_cast<IUnknown*>(SendMessageW(window, message, 0, 0));
}

}  // namespace

std::optional<EngineChoice> ParseEngineChoice(const wchar_t* value) {
  if (!value) return std::nullopt;
  if (EqualsNoCase(value, L"platform")) return EngineChoice{BrowserEngine::kPlatform, {}};
  if (EqualsNoCase(value, L"script")) return EngineChoice{BrowserEngine::kScript, {}};
  const size_t length = wcslen(value);
  if (length > 4 && EqualsNoCase(value + length - 4, L".dll"))
    return EngineChoice{BrowserEngine::kLibrary, value};
  return std::nullopt;
}

const EngineChoice& ChosenBrowserEngine() noexcept {
  static const EngineChoice chosen = []() noexcept {
    try {
      const DWORD size = GetEnvironmentVariableW(L"OMBREL_ENGINE", nullptr, 0);
      if (size > 1) {
        std::wstring value(size, L'\0');
        const DWORD length = GetEnvironmentVariableW(L"OMBREL_ENGINE", value.data(), size);
        value.resize(length < size ? length : 0);
        if (auto forced = ParseEngineChoice(value.c_str())) return std::move(*forced);
      }
    } catch (...) {
      // Out of memory while reading the variable: the automatic choice.
    }
    return EngineChoice{PlatformHtmlEngineExists() ? BrowserEngine::kPlatform
                                                   : BrowserEngine::kScript,
                        {}};
  }();
  return chosen;
}

HRESULT CreateBrowserControl(const EngineChoice& engine, IUnknown** control) noexcept {
  if (!control) return E_POINTER;
  *control = nullptr;
  switch (engine.kind) {
    case BrowserEngine::kPlatform:
      return CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                              reinterpret_cast<void**>(control));
    case BrowserEngine::kLibrary:
      return CreateControlFromLibrary(engine.library.c_str(), control);
    case BrowserEngine::kScript:
      break;
  }
  return ::CreatePageEngine(IID_IUnknown, reinterpret_cast<void**>(control));
}

UINT AxGetHostMessage() noexcept {
  static const UINT message = RegisterWindowMessageW(L"WM_ATLGETHOST");
  return message;
}

UINT AxGetControlMessage() noexcept {
  static const UINT message = RegisterWindowMessageW(L"WM_ATLGETCONTROL");
  return message;
}

ComPtr<IUnknown> AxGetHost(HWND window) noexcept { return AskWindow(window, AxGetHostMessage()); }

ComPtr<IUnknown> AxGetControl(HWND window) noexcept {
  return AskWindow(window, AxGetControlMessage());
}

// ---------------------------------------------------------------------------
// Creation and teardown

CAxHost::~CAxHost() { DestroyControl(); }

HRESULT CAxHost::CreateControl(HWND window, const wchar_t* page, IUnknown* eventSink) noexcept {
  const EngineChoice& engine = ChosenBrowserEngine();
  OMB_TRACE(kTraceCalls, "CAxHost::CreateControl", L"%s engine",
            engine.kind == BrowserEngine::kPlatform ? L"platform"
            : engine.kind == BrowserEngine::kScript ? L"script"
                                                    : engine.library.c_str());
  ComPtr<IUnknown> control;
  const HRESULT hr = CreateBrowserControl(engine, &control);
  if (FAILED(hr)) {
    OMB_TRACE(kTraceErrors, "CAxHost::CreateControl", L"control creation failed: %08X",
              static_cast<unsigned>(hr));
    return hr;
  }
  return AttachControl(window, control.Get(), page, eventSink);
}

HRESULT CAxHost::AttachControl(HWND window, IUnknown* control, const wchar_t* page,
                               IUnknown* eventSink) noexcept {
  if (!window || !control) return E_INVALIDARG;
  if (control_) return E_UNEXPECTED;
  window_ = window;
  control_ = control;
  const HRESULT hr = Activate(page, eventSink);
  if (FAILED(hr)) {
    OMB_TRACE(kTraceErrors, "CAxHost::AttachControl", L"activation failed: %08X",
              static_cast<unsigned>(hr));
    DestroyControl();
  }
  return hr;
}

HRESULT CAxHost::Activate(const wchar_t* page, IUnknown* eventSink) noexcept {
  OMB_RETURN_IF_FAILED(control_.As(&oleObject_));
  OMB_RETURN_IF_FAILED(oleObject_->SetClientSite(this));

  ComPtr<IPersistStreamInit> persist;
  if (SUCCEEDED(control_.As(&persist))) OMB_RETURN_IF_FAILED(persist->InitNew());

  RECT area = ClientRect();
  OMB_RETURN_IF_FAILED(oleObject_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, this, 0, window_, &area));
  (void)control_.As(&inPlaceObject_);

  if (eventSink) {
    ComPtr<IConnectionPointContainer> container;
    OMB_RETURN_IF_FAILED(control_.As(&container));
    ComPtr<IConnectionPoint> point;
    OMB_RETURN_IF_FAILED(container->FindConnectionPoint(DIID_DWebBrowserEvents2, &point));
    OMB_RETURN_IF_FAILED(point->Advise(eventSink, &eventCookie_));
    eventPoint_ = point;
  }

  if (page) {
    ComPtr<IWebBrowser2> browser;
    OMB_RETURN_IF_FAILED(control_.As(&browser));
    unique_bstr url(SysAllocString(page));
    if (!url) return E_OUTOFMEMORY;
    OMB_RETURN_IF_FAILED(browser->Navigate(url.get(), nullptr, nullptr, nullptr, nullptr));
  }
  return S_OK;
}

void CAxHost::DestroyControl() noexcept {
  if (eventPoint_) {
    (void)eventPoint_->Unadvise(eventCookie_);
    eventPoint_ = nullptr;
    eventCookie_ = 0;
  }
  if (inPlaceObject_) {
    (void)inPlaceObject_->InPlaceDeactivate();
    inPlaceObject_ = nullptr;
  }
  if (oleObject_) {
    (void)oleObject_->Close(OLECLOSE_NOSAVE);
    (void)oleObject_->SetClientSite(nullptr);
    oleObject_ = nullptr;
  }
  activeObject_ = nullptr;
  // The control may call back while it goes; it finds the host without it.
  ComPtr<IUnknown> control = std::move(control_);
  control = nullptr;
  inPlaceActive_ = false;
}

RECT CAxHost::ClientRect() const noexcept {
  RECT area = {};
  if (window_) GetClientRect(window_, &area);
  return area;
}

void CAxHost::FitControlToWindow() noexcept {
  if (!inPlaceObject_) return;
  const RECT area = ClientRect();
  (void)inPlaceObject_->SetObjectRects(&area, &area);
}

void CAxHost::FocusControl() noexcept {
  if (!oleObject_ || !inPlaceActive_) return;
  RECT area = ClientRect();
  (void)oleObject_->DoVerb(OLEIVERB_UIACTIVATE, nullptr, this, 0, window_, &area);
  // A control that was UI-active already leaves the focus where it is, on
  // the frame after the window was activated again: hand it over.
  HWND controlWindow = nullptr;
  if (!inPlaceObject_ || FAILED(inPlaceObject_->GetWindow(&controlWindow)) || !controlWindow)
    return;
  const HWND focus = GetFocus();
  if (focus != controlWindow && !IsChild(controlWindow, focus)) SetFocus(controlWindow);
}

// ---------------------------------------------------------------------------
// Site interfaces

HRESULT CAxHost::QueryHostInterface(REFIID iid, void** out) noexcept {
  if (iid == IID_IOleClientSite) {
    *out = static_cast<IOleClientSite*>(this);
  } else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceSite) {
    *out = static_cast<IOleInPlaceSite*>(this);
  } else if (iid == IID_IOleInPlaceUIWindow || iid == IID_IOleInPlaceFrame) {
    *out = static_cast<IOleInPlaceFrame*>(this);
  } else if (iid == IID_IOleControlSite) {
    *out = static_cast<IOleControlSite*>(this);
  } else if (iid == IID_IServiceProvider) {
    *out = static_cast<IServiceProvider*>(this);
  } else {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

STDMETHODIMP CAxHost::GetMoniker(DWORD, DWORD, IMoniker** moniker) noexcept {
  if (!moniker) return E_POINTER;
  *moniker = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP CAxHost::GetContainer(IOleContainer** container) noexcept {
  if (!container) return E_POINTER;
  *container = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP CAxHost::GetWindow(HWND* window) noexcept {
  if (!window) return E_POINTER;
  *window = window_;
  return window_ ? S_OK : E_FAIL;
}

STDMETHODIMP CAxHost::OnInPlaceActivate() noexcept {
  inPlaceActive_ = true;
  return S_OK;
}

STDMETHODIMP CAxHost::OnInPlaceDeactivate() noexcept {
  inPlaceActive_ = false;
  return S_OK;
}

STDMETHODIMP CAxHost::GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                       RECT* position, RECT* clip,
                                       OLEINPLACEFRAMEINFO* info) noexcept {
  if (!frame || !document || !position || !clip || !info) return E_POINTER;
  *frame = static_cast<IOleInPlaceFrame*>(this);
  AddRef();
  *document = nullptr;  // the frame is the only UI window
  *position = ClientRect();
  *clip = *position;
  info->cb = sizeof(OLEINPLACEFRAMEINFO);
  info->fMDIApp = FALSE;
  info->hwndFrame = window_;
  info->haccel = nullptr;
  info->cAccelEntries = 0;
  return S_OK;
}

STDMETHODIMP CAxHost::OnPosRectChange(LPCRECT position) noexcept {
  if (!position) return E_POINTER;
  if (inPlaceObject_) (void)inPlaceObject_->SetObjectRects(position, position);
  return S_OK;
}

STDMETHODIMP CAxHost::SetActiveObject(IOleInPlaceActiveObject* object, LPCOLESTR) noexcept {
  activeObject_ = object;
  return S_OK;
}

STDMETHODIMP CAxHost::GetExtendedControl(IDispatch** control) noexcept {
  if (!control) return E_POINTER;
  *control = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP CAxHost::QueryService(REFGUID, REFIID, void** out) noexcept {
  if (!out) return E_POINTER;
  *out = nullptr;
  return E_NOINTERFACE;
}

}  // namespace omb
