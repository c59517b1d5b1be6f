// The container site in which a browser window holds its browser control.
//
// There is no ATL here, so this file supplies what ATL's ActiveX host window
// would: the client site, the in-place site and frame the control asks for
// while it activates, control-site answers, a base service provider, and the
// creation and teardown of the control itself. The browser host site
// (browser_host.h) derives from CAxHost and adds the application policy.
//
// Which control: the platform's WebBrowser control where the platform's HTML
// engine exists (CLSID_HTMLDocument can be created), else Ombrel's own
// script-only page engine, which speaks the same COM contract. The
// environment variable OMBREL_ENGINE=platform|script forces either.
// OMBREL_ENGINE=<path>.dll hosts the control that library makes for the
// WebBrowser class through its DllGetClassObject export, exactly as the
// platform's control is hosted: the one seam through which a stand-in for
// the platform control (the test suite's strict double of it) is driven by
// the unchanged container code. The library stays loaded until the process
// ends, since controls made from it may live that long.
//
// Identity: CAxHost is not a COM object on its own. It implements the site
// interfaces, but IUnknown (one identity, one reference count) belongs to the
// final object, which answers the site interfaces through QueryHostInterface.
//
// Order (both directions matter to real controls):
//   create:   SetClientSite, IPersistStreamInit::InitNew,
//             DoVerb(OLEIVERB_INPLACEACTIVATE), Advise(event sink), Navigate
//   teardown: Unadvise, InPlaceDeactivate, Close, SetClientSite(null), release
// The control holds the site and the event sink while it is alive, so the
// teardown must be asked for explicitly (the browser window does it when its
// window is destroyed); nothing else breaks those reference cycles.
//
// Window messages "WM_ATLGETHOST" and "WM_ATLGETCONTROL" (registered by
// those names, as ATL's host windows answer them): the window that holds a
// host answers them with the host's and the control's IUnknown. The answered
// pointer carries NO reference: a caller that keeps it must AddRef it while
// the window still exists. AxGetHost and AxGetControl do that.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <ocidl.h>
#include <oleidl.h>
#include <servprov.h>

#include <optional>
#include <string>

#include "sdk/com.h"

namespace omb {

enum class BrowserEngine { kPlatform, kScript, kLibrary };

struct EngineChoice {
  BrowserEngine kind = BrowserEngine::kScript;
  std::wstring library;  // kLibrary: the control library's path
};

// The engine a forcing value of OMBREL_ENGINE selects: "platform" or "script"
// (any case), or a control library (a value ending in ".dll"); none for an
// absent or unrecognised value.
std::optional<EngineChoice> ParseEngineChoice(const wchar_t* value);

// The engine this process uses: the forced one, else the platform's when its
// HTML engine can be created, else the script-only engine. Decided once.
const EngineChoice& ChosenBrowserEngine() noexcept;

// Creates the control of the given engine (not yet sited).
[[nodiscard]] HRESULT CreateBrowserControl(const EngineChoice& engine, IUnknown** control) noexcept;

UINT AxGetHostMessage() noexcept;     // "WM_ATLGETHOST"
UINT AxGetControlMessage() noexcept;  // "WM_ATLGETCONTROL"

// Asks a window for its host or control; the answer is counted.
ComPtr<IUnknown> AxGetHost(HWND window) noexcept;
ComPtr<IUnknown> AxGetControl(HWND window) noexcept;

class CAxHost : public IOleClientSite,
                public IOleInPlaceSite,
                public IOleInPlaceFrame,
                public IOleControlSite,
                public IServiceProvider {
 public:
  // For omb::ComObject: the one interface it lists for this base; the rest
  // come through QueryHostInterface from the final object's QueryOther.
  using ComInterface = IOleClientSite;

  // IUnknown: the final object's.
  STDMETHODIMP QueryInterface(REFIID iid, void** out) noexcept override = 0;
  STDMETHODIMP_(ULONG) AddRef() noexcept override = 0;
  STDMETHODIMP_(ULONG) Release() noexcept override = 0;

  // Creates the chosen control in window, activates it in place filling the
  // client area, connects eventSink (may be null) to its DWebBrowserEvents2
  // and navigates it to page. On failure the control is torn down again.
  [[nodiscard]] HRESULT CreateControl(HWND window, const wchar_t* page,
                                      IUnknown* eventSink) noexcept;
  // As CreateControl, with a control the caller made (tests, other engines).
  [[nodiscard]] HRESULT AttachControl(HWND window, IUnknown* control, const wchar_t* page,
                                      IUnknown* eventSink) noexcept;
  // Tears the control down in the reverse order of creation. Idempotent.
  void DestroyControl() noexcept;

  HWND Window() const noexcept { return window_; }
  // The control's IUnknown, or null; no reference is added.
  IUnknown* Control() const noexcept { return control_.Get(); }
  template <class I>
  HRESULT QueryControl(I** out) const noexcept {
    *out = nullptr;
    return control_ ? control_->QueryInterface(__uuidof(I), reinterpret_cast<void**>(out)) : E_FAIL;
  }

  // Fits the control to the window's client area (the window's WM_SIZE).
  void FitControlToWindow() noexcept;
  // Gives the control the keyboard focus (the window's WM_SETFOCUS): UI
  // activation, then the focus to the control's window, since a control
  // that is UI-active already does not take the focus again by itself.
  void FocusControl() noexcept;
  // The control's in-place active object while the control is UI-active
  // (it registers itself with the frame's SetActiveObject), else null. No
  // reference is added.
  IOleInPlaceActiveObject* UiActiveObject() const noexcept { return activeObject_.Get(); }

  // IOleClientSite
  STDMETHODIMP SaveObject() noexcept override { return E_NOTIMPL; }
  STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** moniker) noexcept override;
  STDMETHODIMP GetContainer(IOleContainer** container) noexcept override;
  STDMETHODIMP ShowObject() noexcept override { return S_OK; }
  STDMETHODIMP OnShowWindow(BOOL) noexcept override { return S_OK; }
  STDMETHODIMP RequestNewObjectLayout() noexcept override { return E_NOTIMPL; }

  // IOleWindow (of the in-place site and of the frame alike)
  STDMETHODIMP GetWindow(HWND* window) noexcept override;
  STDMETHODIMP ContextSensitiveHelp(BOOL) noexcept override { return E_NOTIMPL; }

  // IOleInPlaceSite
  STDMETHODIMP CanInPlaceActivate() noexcept override { return S_OK; }
  STDMETHODIMP OnInPlaceActivate() noexcept override;
  STDMETHODIMP OnUIActivate() noexcept override { return S_OK; }
  STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                RECT* position, RECT* clip,
                                OLEINPLACEFRAMEINFO* info) noexcept override;
  STDMETHODIMP Scroll(SIZE) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP OnUIDeactivate(BOOL) noexcept override { return S_OK; }
  STDMETHODIMP OnInPlaceDeactivate() noexcept override;
  STDMETHODIMP DiscardUndoState() noexcept override { return S_OK; }
  STDMETHODIMP DeactivateAndUndo() noexcept override { return S_OK; }
  STDMETHODIMP OnPosRectChange(LPCRECT position) noexcept override;

  // IOleInPlaceUIWindow
  STDMETHODIMP GetBorder(LPRECT) noexcept override { return INPLACE_E_NOTOOLSPACE; }
  STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) noexcept override { return INPLACE_E_NOTOOLSPACE; }
  STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) noexcept override { return S_OK; }
  STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject* object, LPCOLESTR) noexcept override;

  // IOleInPlaceFrame
  STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) noexcept override { return S_OK; }
  STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) noexcept override { return S_OK; }
  STDMETHODIMP RemoveMenus(HMENU) noexcept override { return S_OK; }
  STDMETHODIMP SetStatusText(LPCOLESTR) noexcept override { return S_OK; }
  STDMETHODIMP EnableModeless(BOOL) noexcept override { return S_OK; }
  STDMETHODIMP TranslateAccelerator(LPMSG, WORD) noexcept override { return S_FALSE; }

  // IOleControlSite
  STDMETHODIMP OnControlInfoChanged() noexcept override { return S_OK; }
  STDMETHODIMP LockInPlaceActive(BOOL) noexcept override { return S_OK; }
  STDMETHODIMP GetExtendedControl(IDispatch** control) noexcept override;
  STDMETHODIMP TransformCoords(POINTL*, POINTF*, DWORD) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP TranslateAccelerator(MSG*, DWORD) noexcept override { return S_FALSE; }
  STDMETHODIMP OnFocus(BOOL) noexcept override { return S_OK; }
  STDMETHODIMP ShowPropertyFrame() noexcept override { return E_NOTIMPL; }

  // IServiceProvider: the container offers no services of its own.
  STDMETHODIMP QueryService(REFGUID service, REFIID iid, void** out) noexcept override;

 protected:
  CAxHost() noexcept = default;
  virtual ~CAxHost();

  // The site interfaces for the final object's QueryOther (with a reference).
  HRESULT QueryHostInterface(REFIID iid, void** out) noexcept;

 private:
  HRESULT Activate(const wchar_t* page, IUnknown* eventSink) noexcept;
  RECT ClientRect() const noexcept;

  HWND window_ = nullptr;
  ComPtr<IUnknown> control_;
  ComPtr<IOleObject> oleObject_;
  ComPtr<IOleInPlaceObject> inPlaceObject_;
  ComPtr<IOleInPlaceActiveObject> activeObject_;
  ComPtr<IConnectionPoint> eventPoint_;
  DWORD eventCookie_ = 0;
  bool inPlaceActive_ = false;
};

}  // namespace omb
