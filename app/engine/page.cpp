#include "app/engine/page.h"

#include <algorithm>
#include <utility>

#include "app/engine/dispatch_util.h"
#include "app/engine/page_document.h"
#include "app/engine/page_window.h"
#include "app/engine/script_objects.h"
#include "sdk/trace.h"

namespace omb::engine {
namespace {

std::wstring TrimmedLower(std::wstring_view text) {
  std::wstring lower = AsciiLower(text);
  const size_t semicolon = lower.find(L';');  // "text/javascript; charset=utf-8"
  if (semicolon != std::wstring::npos) lower.resize(semicolon);
  const size_t first = lower.find_first_not_of(L" \t\r\n");
  const size_t last = lower.find_last_not_of(L" \t\r\n");
  return first == std::wstring::npos ? std::wstring() : lower.substr(first, last - first + 1);
}

// Scripts with another type (templates, JSON data, other languages) are not run.
bool IsRunnableScript(const HtmlNode& node) {
  if (const std::wstring* type = node.FindAttribute(L"type")) {
    const std::wstring t = TrimmedLower(*type);
    if (!t.empty() && t != L"text/javascript" && t != L"application/javascript" &&
        t != L"text/jscript" && t != L"application/x-javascript" && t != L"text/ecmascript" &&
        t != L"application/ecmascript")
      return false;
  }
  if (const std::wstring* language = node.FindAttribute(L"language")) {
    const std::wstring l = TrimmedLower(*language);
    if (!l.empty() && l.rfind(L"javascript", 0) != 0 && l != L"jscript" && l != L"ecmascript")
      return false;
  }
  return true;
}

// An inline script that opens with the old "<!--" hiding comment: browsers
// treat that marker as a one-line comment, so it becomes one here.
std::wstring WithoutHidingComment(std::wstring code) {
  const size_t first = code.find_first_not_of(L" \t\r\n");
  if (first != std::wstring::npos && code.compare(first, 4, L"<!--") == 0)
    code.replace(first, 4, L"//--");
  return code;
}

}  // namespace

HRESULT ExternalOfSite(IOleClientSite* site, IDispatch** out) noexcept {
  if (!out) return E_POINTER;
  *out = nullptr;
  ComPtr<IDocHostUIHandler> handler;
  if (!site || FAILED(site->QueryInterface(IID_PPV_ARGS(&handler)))) return E_NOINTERFACE;
  return handler->GetExternal(out);
}

void ShowScriptErrorBox(HWND owner, const ScriptError& error) noexcept {
  try {
    const std::wstring text =
        Format(L"Line: %lu\nChar: %ld\nError: %s\nCode: 0x%08X\nURL: %s", error.line, error.column,
               error.description.c_str(), static_cast<unsigned>(error.code), error.url.c_str());
    MessageBoxW(owner, text.c_str(), L"Script Error", MB_OK | MB_ICONERROR);
  } catch (...) {
  }
}

CPage::CPage(IPageHost* host, PageLocation location, UINT generation) noexcept
    : host_(host), location_(std::move(location)), generation_(generation) {}

CPage::~CPage() { engine_.Close(); }

ComPtr<CPage> CPage::Create(IPageHost* host, PageLocation location, UINT generation) noexcept {
  try {
    std::wstring source;
    if (!location.path.empty() && !ReadTextFile(location.path, &source))
      OMB_TRACE(kTraceErrors, "CPage::Create", L"cannot read %s", location.path.c_str());
    PageTree tree = BuildPageTree(source);
    ComPtr<CPage> page = Make<CPage>(host, std::move(location), generation);
    if (!page) return nullptr;
    page->document_ = Make<CPageDocument>(page.Get(), std::move(tree));
    page->window_ = Make<CPageWindow>(page.Get());
    if (!page->document_ || !page->window_) {
      page->Close();
      return nullptr;
    }
    const HRESULT hr =
        page->engine_.Start(page.Get(), DialectOfMode(DocumentMode(page->document_->Tree())));
    if (FAILED(hr))
      OMB_TRACE(kTraceErrors, "CPage::Create", L"script engine not started: %08X",
                static_cast<unsigned>(hr));
    return page;
  } catch (...) {
    return nullptr;
  }
}

READYSTATE CPage::ReadyState() const noexcept {
  switch (step_) {
    case Step::kNavigateComplete:
      return READYSTATE_LOADING;
    case Step::kDone:
      return READYSTATE_COMPLETE;
    default:
      return READYSTATE_INTERACTIVE;
  }
}

const wchar_t* CPage::DocumentReadyState() const noexcept {
  if (step_ == Step::kNavigateComplete || step_ == Step::kScripts) return L"loading";
  return step_ == Step::kLoad ? L"interactive" : L"complete";
}

// ---------------------------------------------------------------------------
// Steps

void CPage::Start() noexcept {
  if (host_) host_->PostPageStep(generation_);
}

void CPage::Stop() noexcept {
  step_ = Step::kDone;
  stepPending_ = false;
}

void CPage::RunStep() noexcept {
  if (closing_ || step_ == Step::kDone) return;
  if (busy_ > 0) {
    stepPending_ = true;
    return;
  }
  Busy busy(this);
  switch (step_) {
    case Step::kNavigateComplete:
      step_ = Step::kScripts;
      host_->FireNavigateComplete(location_.url);
      break;
    case Step::kScripts: {
      const size_t count = document_->Tree().scripts.size();
      if (nextScript_ < count && !halted_) RunPageScript(nextScript_++);
      if (nextScript_ >= count || halted_) step_ = Step::kLoad;
      break;
    }
    case Step::kLoad:
      RunLoadHandlers();
      step_ = Step::kDocumentComplete;
      break;
    case Step::kDocumentComplete:
      step_ = Step::kDone;
      host_->FireDocumentComplete(location_.url);
      break;
    case Step::kDone:
      break;
  }
  if (step_ != Step::kDone) stepPending_ = true;
}

void CPage::RunPageScript(size_t index) noexcept {
  try {
    const PageTree& tree = document_->Tree();
    const PageScriptBlock block = tree.scripts[index];
    const HtmlNode& node = tree.nodes[block.node];
    if (!IsRunnableScript(node)) return;
    const std::wstring* src = node.FindAttribute(L"src");
    if (!src || src->empty()) {
      RunCode(WithoutHidingComment(block.text), 0, block.line, nullptr);
      return;
    }
    const PageLocation source = ResolveReference(location_, *src);
    std::wstring code;
    if (source.path.empty() || !ReadTextFile(source.path, &code)) {
      OMB_TRACE(kTraceErrors, "CPage::RunPageScript", L"cannot load script %s", source.url.c_str());
      return;
    }
    sourceUrls_.push_back(source.url);
    RunCode(code, sourceUrls_.size(), 0, nullptr);
  } catch (...) {
    OMB_TRACE(kTraceErrors, "CPage::RunPageScript", L"out of memory");
  }
}

// DOMContentLoaded, then (with the document complete) load listeners and
// window.onload, or the body's onload attribute when script set no onload.
void CPage::RunLoadHandlers() noexcept {
  FireListeners(L"DOMContentLoaded");
  step_ = Step::kDocumentComplete;
  FireListeners(L"load");
  RunWindowHandler(L"load");
}

// The page is about to go (another page replaces it, or its control is
// closed): unload listeners and window.onunload, or the body's onunload
// attribute. Once, and only for a page whose scripts have begun to run.
void CPage::Unload() noexcept {
  if (unloaded_ || closing_ || step_ == Step::kNavigateComplete) return;
  unloaded_ = true;
  if (busy_ > 0) return;  // the page goes from inside its own script
  Busy busy(this);
  FireListeners(L"unload");
  RunWindowHandler(L"unload");
}

// window.on<type> when script set it, else the body's on<type> attribute.
void CPage::RunWindowHandler(const wchar_t* type) noexcept {
  IDispatchEx* global = engine_.Global();
  if (closing_ || halted_ || !global) return;
  ComPtr<IDispatchEx> keep(global);
  const std::wstring property = std::wstring(L"on") + type;
  unique_bstr name(SysAllocString(property.c_str()));
  DISPID id = DISPID_UNKNOWN;
  unique_variant handler;
  DISPPARAMS none{};
  if (name && SUCCEEDED(global->GetDispID(name.get(), fdexNameCaseSensitive, &id)))
    global->InvokeEx(id, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, handler.put(), nullptr,
                     nullptr);
  if (handler.vt() == VT_DISPATCH && handler->pdispVal) {
    ComPtr<CEventObject> event = Make<CEventObject>(EventDetails{type, 0, {}, {}, nullptr});
    VARIANT arg;
    SetDispatch(&arg, event.Get());
    EXCEPINFO exception{};
    if (CallFunction(handler->pdispVal, {arg}, nullptr, &exception) == DISP_E_EXCEPTION)
      ReportException(exception);
    VariantClear(&arg);
    return;
  }
  const std::wstring* attribute =
      document_->Tree().nodes[document_->Tree().body].FindAttribute(property);
  if (attribute) {
    try {
      RunCode(*attribute, 0, 0, nullptr);
    } catch (...) {
    }
  }
}

void CPage::FireListeners(std::wstring_view type) noexcept {
  std::vector<ComPtr<IDispatch>> matching;
  try {
    for (const Listener& l : listeners_)
      if (l.type == type) matching.push_back(l.function);
  } catch (...) {
    return;
  }
  for (const auto& listener : matching) {
    if (closing_ || halted_) return;
    ComPtr<CEventObject> event =
        Make<CEventObject>(EventDetails{std::wstring(type), 0, {}, {}, nullptr});
    VARIANT arg;
    SetDispatch(&arg, event.Get());
    EXCEPINFO exception{};
    if (CallFunction(listener.Get(), {arg}, nullptr, &exception) == DISP_E_EXCEPTION)
      ReportException(exception);
    VariantClear(&arg);
  }
}

void CPage::AddListener(std::wstring_view type, IDispatch* listener) noexcept {
  if (!listener || closing_) return;
  for (const Listener& l : listeners_)
    if (l.type == type && SameObject(l.function.Get(), listener)) return;
  try {
    listeners_.push_back(Listener{std::wstring(type), listener});
  } catch (...) {
  }
}

void CPage::RemoveListener(std::wstring_view type, IDispatch* listener) noexcept {
  std::erase_if(listeners_, [&](const Listener& l) {
    return l.type == type && SameObject(l.function.Get(), listener);
  });
}

// ---------------------------------------------------------------------------
// Script activity

void CPage::LeaveBusy() noexcept {
  if (--busy_ > 0) return;
  if (closing_) {
    FinishClose();
    return;
  }
  if (stepPending_ && host_) {
    stepPending_ = false;
    host_->PostPageStep(generation_);
  }
  ArmTimer();
}

HRESULT CPage::RunCode(const std::wstring& code, DWORD_PTR cookie, ULONG line,
                       VARIANT* result) noexcept {
  if (!engine_.Started()) return E_UNEXPECTED;
  return engine_.Run(code, cookie, line, result);
}

HRESULT CPage::ExecScript(const std::wstring& code, VARIANT* result) noexcept {
  if (closing_) return E_UNEXPECTED;
  Busy busy(this);
  return RunCode(code, 0, 0, result);
}

// A reference that only changes the fragment ("#top") moves within the page,
// as in browsers: the location changes and nothing is reloaded.
void CPage::NavigateFromPage(std::wstring_view reference) noexcept {
  IPageHost* host = host_;
  if (!host) return;
  try {
    const PageLocation target = ResolveReference(location_, reference);
    const std::wstring_view current(location_.url);
    const std::wstring_view next(target.url);
    const size_t hash = next.find(L'#');
    if (hash != std::wstring_view::npos &&
        current.substr(0, current.find(L'#')) == next.substr(0, hash)) {
      location_.url = target.url;
      return;
    }
    host->NavigateFromPage(target.url);
  } catch (...) {
  }
}

void CPage::ReloadFromPage() noexcept {
  if (IPageHost* host = host_) host->NavigateFromPage(location_.url);
}

// ---------------------------------------------------------------------------
// Timers

HRESULT CPage::AddTimer(const VARIANT& code, std::vector<unique_variant> args, UINT delay,
                        bool repeat, LONG* id) noexcept {
  if (closing_) return E_UNEXPECTED;
  try {
    auto callback = std::make_shared<TimerCallback>();
    OMB_RETURN_IF_FAILED(callback->code.CopyFrom(code));
    callback->args = std::move(args);
    *id = timers_.Add(std::move(callback), delay, repeat, GetTickCount64());
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  if (busy_ == 0) ArmTimer();
  return S_OK;
}

void CPage::RemoveTimer(LONG id) noexcept { timers_.Remove(id); }

void CPage::ArmTimer() noexcept {
  if (closing_ || !host_) return;
  const auto due = timers_.NextDue();
  if (!due || halted_) {
    host_->KillPageTimer();
    return;
  }
  const ULONGLONG now = GetTickCount64();
  const ULONGLONG delay = *due > now ? *due - now : 0;
  host_->SetPageTimer(
      static_cast<UINT>(std::clamp<ULONGLONG>(delay, USER_TIMER_MINIMUM, USER_TIMER_MAXIMUM)));
}

void CPage::OnTimer() noexcept {
  if (closing_ || !host_) return;
  if (busy_ > 0) {  // re-armed when the running script returns
    host_->KillPageTimer();
    return;
  }
  Busy busy(this);
  const ULONGLONG limit = timers_.NextSequence();  // tasks added by callbacks wait
  const ULONGLONG now = GetTickCount64();
  TimerTask task;
  try {
    while (!closing_ && !halted_ && timers_.TakeDue(now, limit, &task)) RunTimerTask(task);
  } catch (...) {
  }
}

void CPage::RunTimerTask(const TimerTask& task) noexcept {
  const VARIANT& code = *task.callback->code;
  if (code.vt == VT_BSTR) {
    RunCode(code.bstrVal ? code.bstrVal : L"", 0, 0, nullptr);
    return;
  }
  if (code.vt != VT_DISPATCH || !code.pdispVal) return;
  try {
    std::vector<VARIANT> args;
    for (const unique_variant& a : task.callback->args) args.push_back(*a);
    EXCEPINFO exception{};
    if (CallFunction(code.pdispVal, args, nullptr, &exception) == DISP_E_EXCEPTION)
      ReportException(exception);
  } catch (...) {
  }
}

// ---------------------------------------------------------------------------
// Errors

void CPage::ReportException(EXCEPINFO& exception) noexcept {
  if (exception.pfnDeferredFillIn) exception.pfnDeferredFillIn(&exception);
  try {
    ScriptError error;
    error.code = exception.scode;
    error.description = exception.bstrDescription ? exception.bstrDescription : L"";
    error.url = location_.url;
    Report(error);
  } catch (...) {
  }
  SysFreeString(exception.bstrSource);
  SysFreeString(exception.bstrDescription);
  SysFreeString(exception.bstrHelpFile);
  exception = EXCEPINFO{};
}

void CPage::Report(const ScriptError& error) noexcept {
  IPageHost* host = host_;
  if (!host || !document_) return;
  ComPtr<IUnknown> document;
  document_->QueryInterface(IID_PPV_ARGS(&document));
  ComPtr<CPage> keep(this);
  const ScriptError* outer = std::exchange(reportedError_, &error);
  const bool goOn = host->ReportScriptError(document.Get(), error);
  reportedError_ = outer;
  if (!goOn) {
    halted_ = true;
    timers_.Clear();
  }
}

std::wstring CPage::SourceUrl(DWORD_PTR cookie) const {
  if (cookie == 0 || cookie > sourceUrls_.size()) return location_.url;
  return sourceUrls_[cookie - 1];
}

STDMETHODIMP CPage::OnScriptError(IActiveScriptError* error) noexcept {
  if (!error) return E_POINTER;
  EXCEPINFO exception{};
  error->GetExceptionInfo(&exception);
  if (exception.pfnDeferredFillIn) exception.pfnDeferredFillIn(&exception);
  DWORD context = 0;
  ULONG line = 0;
  LONG column = 0;
  error->GetSourcePosition(&context, &line, &column);
  try {
    ScriptError info;
    info.line = line + 1;
    info.column = column + 1;
    info.code = exception.scode;
    info.description = exception.bstrDescription ? exception.bstrDescription : L"";
    info.url = SourceUrl(context);
    Report(info);
  } catch (...) {
  }
  SysFreeString(exception.bstrSource);
  SysFreeString(exception.bstrDescription);
  SysFreeString(exception.bstrHelpFile);
  return S_OK;
}

// ---------------------------------------------------------------------------
// Closing

void CPage::Close() noexcept {
  if (closing_) return;
  closing_ = true;
  host_ = nullptr;
  if (busy_ == 0) FinishClose();
}

void CPage::FinishClose() noexcept {
  if (closed_) return;
  closed_ = true;
  ComPtr<CPage> keep(this);
  timers_.Clear();
  listeners_.clear();
  engine_.Close();
  if (ComPtr<CPageWindow> window = std::move(window_)) window->Close();
  if (ComPtr<CPageDocument> document = std::move(document_)) document->Close();
}

// ---------------------------------------------------------------------------
// IActiveScriptSite / IActiveScriptSiteWindow

STDMETHODIMP CPage::GetLCID(LCID* lcid) noexcept {
  if (lcid) *lcid = LOCALE_USER_DEFAULT;
  return E_NOTIMPL;
}

STDMETHODIMP CPage::GetItemInfo(LPCOLESTR name, DWORD mask, IUnknown** item,
                                ITypeInfo** info) noexcept {
  if (item) *item = nullptr;
  if (info) *info = nullptr;
  if (!name || wcscmp(name, kWindowItemName) != 0 || !window_) return TYPE_E_ELEMENTNOTFOUND;
  if (mask & SCRIPTINFO_IUNKNOWN) {
    if (!item) return E_POINTER;
    *item = static_cast<IDispatchEx*>(window_.Get());
    (*item)->AddRef();
  }
  return S_OK;
}

STDMETHODIMP CPage::GetDocVersionString(BSTR* version) noexcept {
  if (version) *version = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP CPage::OnScriptTerminate(const VARIANT*, const EXCEPINFO*) noexcept { return S_OK; }
STDMETHODIMP CPage::OnStateChange(SCRIPTSTATE) noexcept { return S_OK; }
STDMETHODIMP CPage::OnEnterScript() noexcept { return S_OK; }
STDMETHODIMP CPage::OnLeaveScript() noexcept { return S_OK; }

STDMETHODIMP CPage::GetWindow(HWND* window) noexcept {
  if (!window) return E_POINTER;
  *window = host_ ? host_->MessageOwner() : nullptr;
  return *window ? S_OK : E_FAIL;
}

STDMETHODIMP CPage::EnableModeless(BOOL) noexcept { return S_OK; }

}  // namespace omb::engine
