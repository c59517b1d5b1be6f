#include "app/engine/page_window.h"

#include <algorithm>
#include <utility>

#include "app/engine/page.h"
#include "app/engine/page_document.h"
#include "app/engine/script_objects.h"
#include "sdk/dispatch.h"

namespace omb::engine {
namespace {

enum Member : size_t {
  kExternal,
  kAlert,
  kDocument,
  kLocation,
  kSetTimeout,
  kClearTimeout,
  kSetInterval,
  kClearInterval,
  kOpen,
  kClose,
  kWindow,
  kSelf,
  kTop,
  kParent,
  kExecScript,
  kAddEventListener,
  kRemoveEventListener,
  kAttachEvent,
  kDetachEvent,
  kNavigator,
  kEvent,
  kMemberCount
};

struct OwnMember {
  const wchar_t* name;
  bool method;
};

constexpr OwnMember kMembers[] = {
    {L"external", false},
    {L"alert", true},
    {L"document", false},
    {L"location", false},
    {L"setTimeout", true},
    {L"clearTimeout", true},
    {L"setInterval", true},
    {L"clearInterval", true},
    {L"open", true},
    {L"close", true},
    {L"window", false},
    {L"self", false},
    {L"top", false},
    {L"parent", false},
    {L"execScript", true},
    {L"addEventListener", true},
    {L"removeEventListener", true},
    {L"attachEvent", true},
    {L"detachEvent", true},
    {L"navigator", false},
    {L"event", false},
};
static_assert(std::size(kMembers) == kMemberCount);

constexpr wchar_t kAlertCaption[] = L"Message from webpage";

bool IsJScriptLanguage(const wchar_t* language) noexcept {
  return !language || !*language || _wcsicmp(language, L"JScript") == 0 ||
         _wcsicmp(language, L"javascript") == 0;
}

// A native method of the window read as a value (`var f = window.alert`):
// calling it runs the window's member.
class CNativeFunction : public ComObject<CNativeFunction, InvokeOnly> {
 public:
  CNativeFunction(CPageWindow* window, size_t member) noexcept : window_(window), member_(member) {}

  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO*, UINT*) noexcept override {
    if (id != DISPID_VALUE) return DISP_E_MEMBERNOTFOUND;
    if (flags & DISPATCH_METHOD) return window_->CallOwn(member_, params, result);
    if (!result) return S_OK;
    const std::wstring text =
        std::wstring(L"function ") + kMembers[member_].name + L"() { [native code] }";
    return SetString(result, text.c_str());
  }

 private:
  ComPtr<CPageWindow> window_;
  size_t member_;
};

}  // namespace

CPageWindow::CPageWindow(CPage* page) noexcept : page_(page) {
  static_assert(kOwnCount == kMemberCount);
}

CPageWindow::~CPageWindow() = default;

void CPageWindow::Close() noexcept {
  for (size_t i = 0; i < kOwnCount; ++i) {
    overridden_[i] = false;
    overrides_[i].put();
  }
  forwarded_.clear();
  page_.Reset();
}

HRESULT CPageWindow::SelfAs(IHTMLWindow2** out) noexcept {
  if (!out) return E_POINTER;
  *out = this;
  AddRef();
  return S_OK;
}

// ---------------------------------------------------------------------------
// Name lookup

HRESULT CPageWindow::Forward(DISPID global, const wchar_t* name, DISPID* id) {
  for (size_t i = 0; i < forwarded_.size(); ++i) {
    if (forwarded_[i].global == global) {
      *id = kForwardBase + static_cast<DISPID>(i);
      return S_OK;
    }
  }
  forwarded_.push_back(Forwarded{name, global});
  *id = kForwardBase + static_cast<DISPID>(forwarded_.size() - 1);
  return S_OK;
}

const CPageWindow::Forwarded* CPageWindow::FindForwarded(DISPID id) const noexcept {
  if (id < kForwardBase || static_cast<size_t>(id - kForwardBase) >= forwarded_.size())
    return nullptr;
  return &forwarded_[static_cast<size_t>(id - kForwardBase)];
}

// A script variable or function of the same name (`function close(){}`)
// takes the place of one of the window's own members, as in browsers where
// both live on one object; otherwise the window's member answers, and
// every other name is the global's.
STDMETHODIMP CPageWindow::GetDispID(BSTR name, DWORD options, DISPID* id) noexcept {
  if (!name || !id) return E_POINTER;
  *id = DISPID_UNKNOWN;
  // A script engine whose global object consults the global-members item
  // (this window) would ask back here while this lookup asks it: that inner
  // question has no answer of its own.
  if (lookingUp_) return DISP_E_UNKNOWNNAME;
  lookingUp_ = true;
  const HRESULT hr = LookUp(name, options, id);
  lookingUp_ = false;
  return hr;
}

HRESULT CPageWindow::LookUp(BSTR name, DWORD options, DISPID* id) noexcept {
  IDispatchEx* global = page_ ? page_->Global() : nullptr;
  ComPtr<IDispatchEx> keep(global);
  const bool ignoreCase = (options & fdexNameCaseInsensitive) != 0;
  for (size_t i = 0; i < kOwnCount; ++i) {
    if ((ignoreCase ? _wcsicmp(name, kMembers[i].name) : wcscmp(name, kMembers[i].name)) != 0)
      continue;
    DISPID globalId = DISPID_UNKNOWN;
    if (global && SUCCEEDED(global->GetDispID(name, options & ~static_cast<DWORD>(fdexNameEnsure),
                                              &globalId)))
      break;
    *id = kOwnBase + static_cast<DISPID>(i);
    return S_OK;
  }
  if (!global) return DISP_E_UNKNOWNNAME;
  DISPID globalId = DISPID_UNKNOWN;
  const HRESULT hr = global->GetDispID(name, options, &globalId);
  if (FAILED(hr)) return hr;
  try {
    return Forward(globalId, name, id);
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

STDMETHODIMP CPageWindow::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                        DISPID* ids) noexcept {
  if (!names || !ids || count == 0) return E_INVALIDARG;
  for (UINT i = 1; i < count; ++i) ids[i] = DISPID_UNKNOWN;
  unique_bstr name(SysAllocString(names[0]));
  if (!name) return E_OUTOFMEMORY;
  return GetDispID(name.get(), fdexNameCaseSensitive, &ids[0]);
}

STDMETHODIMP CPageWindow::GetMemberName(DISPID id, BSTR* name) noexcept {
  if (!name) return E_POINTER;
  *name = nullptr;
  if (id >= kOwnBase && id < kOwnBase + static_cast<DISPID>(kOwnCount))
    return ReturnBstr(kMembers[id - kOwnBase].name, name);
  if (const Forwarded* f = FindForwarded(id)) return ReturnBstr(f->name, name);
  return DISP_E_MEMBERNOTFOUND;
}

// Enumerates the window's own members, then the engine's global variables.
STDMETHODIMP CPageWindow::GetNextDispID(DWORD options, DISPID id, DISPID* next) noexcept {
  if (!next) return E_POINTER;
  *next = DISPID_UNKNOWN;
  DISPID globalId = DISPID_STARTENUM;
  if (id == DISPID_STARTENUM) {
    *next = kOwnBase;
    return S_OK;
  }
  if (id >= kOwnBase && id < kOwnBase + static_cast<DISPID>(kOwnCount) - 1) {
    *next = id + 1;
    return S_OK;
  }
  if (const Forwarded* f = FindForwarded(id))
    globalId = f->global;
  else if (id != kOwnBase + static_cast<DISPID>(kOwnCount) - 1)
    return DISP_E_MEMBERNOTFOUND;
  IDispatchEx* global = page_ ? page_->Global() : nullptr;
  if (!global) return S_FALSE;
  DISPID following = DISPID_UNKNOWN;
  if (global->GetNextDispID(options, globalId, &following) != S_OK) return S_FALSE;
  unique_bstr name;
  OMB_RETURN_IF_FAILED(global->GetMemberName(following, name.put()));
  try {
    return Forward(following, name.get() ? name.get() : L"", next);
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

STDMETHODIMP CPageWindow::DeleteMemberByName(BSTR name, DWORD options) noexcept {
  DISPID id = DISPID_UNKNOWN;
  OMB_RETURN_IF_FAILED(GetDispID(name, options & ~static_cast<DWORD>(fdexNameEnsure), &id));
  return DeleteMemberByDispID(id);
}

STDMETHODIMP CPageWindow::DeleteMemberByDispID(DISPID id) noexcept {
  if (id >= kOwnBase && id < kOwnBase + static_cast<DISPID>(kOwnCount)) {
    overridden_[id - kOwnBase] = false;
    overrides_[id - kOwnBase].put();
    return S_OK;
  }
  const Forwarded* f = FindForwarded(id);
  IDispatchEx* global = page_ ? page_->Global() : nullptr;
  if (!f || !global) return DISP_E_MEMBERNOTFOUND;
  return global->DeleteMemberByDispID(f->global);
}

STDMETHODIMP CPageWindow::GetMemberProperties(DISPID, DWORD, DWORD* properties) noexcept {
  if (properties) *properties = 0;
  return E_NOTIMPL;
}

STDMETHODIMP CPageWindow::GetNameSpaceParent(IUnknown** parent) noexcept {
  if (parent) *parent = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP CPageWindow::GetTypeInfoCount(UINT* count) noexcept {
  if (!count) return E_POINTER;
  *count = 0;
  return S_OK;
}

STDMETHODIMP CPageWindow::GetTypeInfo(UINT, LCID, ITypeInfo** info) noexcept {
  if (info) *info = nullptr;
  return DISP_E_BADINDEX;
}

// ---------------------------------------------------------------------------
// Invocation

STDMETHODIMP CPageWindow::Invoke(DISPID id, REFIID, LCID lcid, WORD flags, DISPPARAMS* params,
                                 VARIANT* result, EXCEPINFO* exception, UINT*) noexcept {
  return InvokeEx(id, lcid, flags, params, result, exception, nullptr);
}

STDMETHODIMP CPageWindow::InvokeEx(DISPID id, LCID lcid, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* exception,
                                   IServiceProvider* caller) noexcept {
  if (id >= kOwnBase && id < kOwnBase + static_cast<DISPID>(kOwnCount))
    return InvokeOwn(static_cast<size_t>(id - kOwnBase), flags, params, result, exception, caller);
  if (id == DISPID_VALUE && (flags & DISPATCH_PROPERTYGET) && result)
    return SetString(result, L"[object Window]");
  const Forwarded* f = FindForwarded(id);
  IDispatchEx* global = page_ ? page_->Global() : nullptr;
  if (!f || !global) return DISP_E_MEMBERNOTFOUND;
  ComPtr<IDispatchEx> keep(global);
  return global->InvokeEx(f->global, lcid, flags, params, result, exception, caller);
}

HRESULT CPageWindow::InvokeOwn(size_t member, WORD flags, DISPPARAMS* params, VARIANT* result,
                               EXCEPINFO* exception, IServiceProvider*) noexcept {
  ComPtr<CPageWindow> keep(this);
  if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
    const VARIANT* value = PutValue(params);
    if (!value) return DISP_E_PARAMNOTOPTIONAL;
    if (member == kLocation) {
      if (page_) page_->NavigateFromPage(DisplayString(*value));
      return S_OK;
    }
    OMB_RETURN_IF_FAILED(overrides_[member].CopyFrom(*value));
    overridden_[member] = true;
    return S_OK;
  }
  if (result) VariantInit(result);
  if (overridden_[member]) {
    const unique_variant& value = overrides_[member];
    if ((flags & DISPATCH_METHOD) && value.vt() == VT_DISPATCH && value->pdispVal) {
      ComPtr<IDispatch> function(value->pdispVal);
      return function->Invoke(DISPID_VALUE, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, params,
                              result, exception, nullptr);
    }
    if (!(flags & DISPATCH_PROPERTYGET)) return DISP_E_TYPEMISMATCH;
    return result ? VariantCopy(result, const_cast<VARIANT*>(value.get())) : S_OK;
  }
  if (kMembers[member].method) {
    if (flags & DISPATCH_METHOD) return CallOwn(member, params, result);
    if (!result) return S_OK;
    ComPtr<CNativeFunction> function = Make<CNativeFunction>(this, member);
    if (!function) return E_OUTOFMEMORY;
    SetDispatch(result, function.Get());
    return S_OK;
  }
  if (!(flags & DISPATCH_PROPERTYGET)) return DISP_E_MEMBERNOTFOUND;
  return ReadOwn(member, result);
}

HRESULT CPageWindow::ReadOwn(size_t member, VARIANT* result) noexcept {
  if (!result) return S_OK;
  VariantInit(result);
  switch (member) {
    case kExternal: {
      ComPtr<IDispatch> external;
      if (FAILED(get_external(&external)) || !external) {
        result->vt = VT_NULL;
        return S_OK;
      }
      SetDispatch(result, external.Get());
      return S_OK;
    }
    case kDocument:
      if (!page_ || !page_->Document()) {
        result->vt = VT_NULL;
        return S_OK;
      }
      SetDispatch(result, static_cast<IHTMLDocument2*>(page_->Document()));
      return S_OK;
    case kLocation: {
      if (!page_) return S_OK;
      ComPtr<CLocation> location = Make<CLocation>(page_.Get());
      if (!location) return E_OUTOFMEMORY;
      SetDispatch(result, location.Get());
      return S_OK;
    }
    case kNavigator: {
      ComPtr<CNavigator> navigator = Make<CNavigator>();
      if (!navigator) return E_OUTOFMEMORY;
      SetDispatch(result, navigator.Get());
      return S_OK;
    }
    case kEvent: {
      // Only a script error being reported has an event here.
      const ScriptError* error = page_ ? page_->ReportedError() : nullptr;
      ComPtr<CScriptErrorEvent> event;
      if (error) {
        ScriptError copy;
        try {
          copy = *error;
        } catch (...) {
          return E_OUTOFMEMORY;
        }
        event = Make<CScriptErrorEvent>(std::move(copy));
        if (!event) return E_OUTOFMEMORY;
        SetDispatch(result, event.Get());
      } else {
        result->vt = VT_NULL;
      }
      return S_OK;
    }
    default:  // window, self, top, parent
      SetDispatch(result, static_cast<IDispatchEx*>(this));
      return S_OK;
  }
}

HRESULT CPageWindow::CallOwn(size_t member, const DISPPARAMS* params, VARIANT* result) noexcept {
  ComPtr<CPageWindow> keep(this);
  if (result) VariantInit(result);
  const CallArgs args(params);
  try {
    switch (member) {
      case kAlert:
        return Alert(args.Count() ? args.String(0) : std::wstring());
      case kSetTimeout:
      case kSetInterval:
        return AddTimer(args, member == kSetInterval, result);
      case kClearTimeout:
      case kClearInterval:
        if (page_) page_->RemoveTimer(args.Int(0, 0));
        return S_OK;
      case kOpen:
        if (result) result->vt = VT_NULL;
        return Open(args.Count() ? args.String(0) : std::wstring(L"about:blank"));
      case kClose:
        return close();
      case kExecScript:
        if (!page_) return E_UNEXPECTED;
        return page_->ExecScript(args.String(0), nullptr);
      case kAddEventListener:
      case kAttachEvent:
        return Listener(args, true, member == kAttachEvent, result);
      case kRemoveEventListener:
      case kDetachEvent:
        return Listener(args, false, member == kDetachEvent, result);
      default:
        return DISP_E_MEMBERNOTFOUND;
    }
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

// ---------------------------------------------------------------------------
// Native members

HRESULT CPageWindow::Alert(const std::wstring& text) noexcept {
  IPageHost* host = page_ ? page_->Host() : nullptr;
  if (!host) return S_OK;
  MessageBoxW(host->MessageOwner(), text.c_str(), kAlertCaption, MB_OK | MB_ICONWARNING);
  return S_OK;
}

HRESULT CPageWindow::AddTimer(const CallArgs& args, bool repeat, VARIANT* result) noexcept {
  const VARIANT* code = args.At(0);
  if (!code) return DISP_E_BADPARAMCOUNT;
  if (!page_) return E_UNEXPECTED;
  unique_variant callback;
  if (code->vt == VT_DISPATCH) {
    OMB_RETURN_IF_FAILED(callback.CopyFrom(*code));
  } else {
    OMB_RETURN_IF_FAILED(SetString(callback.put(), DisplayString(*code).c_str()));
  }
  std::vector<unique_variant> extra;
  for (UINT i = 2; i < args.Count(); ++i) {
    extra.emplace_back();
    OMB_RETURN_IF_FAILED(extra.back().CopyFrom(*args.At(i)));
  }
  LONG id = 0;
  OMB_RETURN_IF_FAILED(page_->AddTimer(*callback, std::move(extra),
                                       static_cast<UINT>(std::max<LONG>(args.Int(1, 0), 0)), repeat,
                                       &id));
  if (result) SetI4(result, id);
  return S_OK;
}

HRESULT CPageWindow::Open(const std::wstring& url) noexcept {
  IPageHost* host = page_ ? page_->Host() : nullptr;
  if (!host) return S_OK;
  try {
    host->OpenWindow(ResolveReference(page_->Location(), url).url, page_->Location().url);
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  return S_OK;  // the new window is never this page's to script: null
}

HRESULT CPageWindow::Listener(const CallArgs& args, bool add, bool attachForm,
                              VARIANT* result) noexcept {
  IDispatch* listener = args.Object(1);
  if (!listener) return DISP_E_BADPARAMCOUNT;
  if (!page_) return S_OK;
  std::wstring type = args.String(0);
  if (attachForm && type.rfind(L"on", 0) == 0) type.erase(0, 2);
  if (add)
    page_->AddListener(type, listener);
  else
    page_->RemoveListener(type, listener);
  if (attachForm && add && result) SetBool(result, true);
  return S_OK;
}

// ---------------------------------------------------------------------------
// IHTMLWindow2

STDMETHODIMP CPageWindow::get_document(IHTMLDocument2** document) noexcept {
  if (!document) return E_POINTER;
  *document = nullptr;
  if (!page_ || !page_->Document()) return E_FAIL;
  *document = page_->Document();
  (*document)->AddRef();
  return S_OK;
}

STDMETHODIMP CPageWindow::alert(BSTR message) noexcept {
  try {
    return Alert(message ? message : L"");
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

STDMETHODIMP CPageWindow::setTimeout(BSTR code, LONG delay, VARIANT*, LONG* id) noexcept {
  if (!id) return E_POINTER;
  VARIANT args[2];
  SetI4(&args[0], delay);
  args[1].vt = VT_BSTR;
  args[1].bstrVal = code;
  DISPPARAMS params{args, nullptr, 2, 0};
  VARIANT result;
  VariantInit(&result);
  OMB_RETURN_IF_FAILED(AddTimer(CallArgs(&params), false, &result));
  *id = result.lVal;
  return S_OK;
}

STDMETHODIMP CPageWindow::clearTimeout(LONG id) noexcept {
  if (page_) page_->RemoveTimer(id);
  return S_OK;
}

STDMETHODIMP CPageWindow::close() noexcept {
  if (IPageHost* host = page_ ? page_->Host() : nullptr) host->CloseWindow();
  return S_OK;
}

STDMETHODIMP CPageWindow::open(BSTR url, BSTR, BSTR, VARIANT_BOOL, IHTMLWindow2** window) noexcept {
  if (window) *window = nullptr;
  try {
    return Open(url && *url ? url : L"about:blank");
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

STDMETHODIMP CPageWindow::get_self(IHTMLWindow2** self) noexcept { return SelfAs(self); }
STDMETHODIMP CPageWindow::get_window(IHTMLWindow2** self) noexcept { return SelfAs(self); }
STDMETHODIMP CPageWindow::get_top(IHTMLWindow2** self) noexcept { return SelfAs(self); }
STDMETHODIMP CPageWindow::get_parent(IHTMLWindow2** self) noexcept { return SelfAs(self); }

STDMETHODIMP CPageWindow::execScript(BSTR code, BSTR language, VARIANT* result) noexcept {
  if (result) VariantInit(result);
  if (!IsJScriptLanguage(language)) return E_INVALIDARG;
  if (!page_) return E_UNEXPECTED;
  try {
    return page_->ExecScript(code ? code : L"", nullptr);
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

STDMETHODIMP CPageWindow::get_external(IDispatch** external) noexcept {
  if (!external) return E_POINTER;
  *external = nullptr;
  IPageHost* host = page_ ? page_->Host() : nullptr;
  if (!host) return E_FAIL;
  return host->GetExternal(external);
}

}  // namespace omb::engine
