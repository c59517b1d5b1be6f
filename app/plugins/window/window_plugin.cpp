#include "app/plugins/window/window_plugin.h"

#include <mshtml.h>

#include <iterator>

#include "app/core/plugin_registry.h"
#include "app/plugins/window/drag_sink.h"
#include "app/plugins/window/msg_dispatch.h"
#include "app/plugins/window/window_logic.h"
#include "sdk/trace.h"

namespace omb {
namespace {

using W = CWindowPlugin;

constexpr DispMember<W> kMembers[] = {
    {-10000, L"show", &W::Show},
    {-9999, L"close", &W::Close},
    {-9998, L"quit", &W::Quit},
    {-9997, L"minimize", &W::Minimize},
    {-9996, L"centerWindow", &W::CenterWindow},
    {-9995, L"setTaskbarProgress", &W::SetTaskbarProgress},
    {-9994, L"setTaskbarProgressState", &W::SetTaskbarProgressState},
    {-9993, L"isSupportTaskbarProgress", &W::IsSupportTaskbarProgress},
    {-9992, L"selectFile", &W::SelectFile},
    {-9991, L"selectFolder", &W::SelectFolder},
    {-9990, L"isUniqueWindow", &W::IsUniqueWindowMember},
    {-9989, L"showExistedWindow", &W::ShowExistedWindowMember},
    {-9988, L"messageBox", &W::ShowMessageBox},
    {-9987, L"isVisible", &W::IsVisible},
    {-9986, L"isForeWindow", &W::IsForeWindow},
    {-9985, L"setWindowPos", &W::SetWindowPos},
    {-9984, L"width", &W::Width},
    {-9983, L"height", &W::Height},
    {-9982, L"left", &W::Left},
    {-9981, L"top", &W::Top},
    {-9980, L"workAreaWidth", &W::WorkAreaWidth},
    {-9979, L"workAreaHeight", &W::WorkAreaHeight},
    {-9978, L"title", &W::Title},
    {-9977, L"minimizeBox", &W::MinimizeBox},
    {-9976, L"maximizeBox", &W::MaximizeBox},
    {-9975, L"sysMenu", &W::SysMenu},
    {-9974, L"caption", &W::Caption},
    {-9973, L"topMost", &W::TopMost},
    {-9972, L"minWidth", &W::MinWidth},
    {-9971, L"minHeight", &W::MinHeight},
    {-9970, L"maxWidth", &W::MaxWidth},
    {-9969, L"maxHeight", &W::MaxHeight},
    {-9968, L"resize", &W::Resize},
    {-9967, L"shapeImage", &W::ShapeImage},
    {-9966, L"menu", &W::Menu},
    {-9965, L"msg", &W::Msg},
    {-9964, L"onClosed", &W::OnClosed},
    {-9963, L"onClose", &W::OnClose},
    {-9962, L"onMinimize", &W::OnMinimize},
    {-9961, L"onMaximize", &W::OnMaximize},
    {-9960, L"onRestore", &W::OnRestore},
    {-9959, L"onActivate", &W::OnActivate},
    {-9958, L"onInactivate", &W::OnInactivate},
    {-9957, L"onShutdown", &W::OnShutdown},
};

// How each member may be reached: as a method (with minArgs..maxArgs
// arguments), read (no arguments) or written (one argument).
enum Kind : BYTE { kMethod = 1, kRead = 2, kWrite = 4 };
struct MemberRule {
  DISPID id;
  BYTE kinds;
  BYTE minArgs;
  BYTE maxArgs;
};

constexpr MemberRule kRules[] = {
    {-10000, kMethod, 1, 1}, {-9999, kMethod, 0, 0}, {-9998, kMethod, 0, 1},
    {-9997, kMethod, 0, 0},  {-9996, kMethod, 0, 0}, {-9995, kMethod, 2, 2},
    {-9994, kMethod, 1, 1},  {-9993, kMethod, 0, 0}, {-9992, kMethod, 0, 1},
    {-9991, kMethod, 0, 1},  {-9990, kMethod, 1, 1}, {-9989, kMethod, 0, 0},
    {-9988, kMethod, 1, 1},  {-9987, kMethod, 0, 0}, {-9986, kMethod, 0, 0},
    {-9985, kMethod, 4, 4},  {-9984, kRead | kWrite, 0, 0}, {-9983, kRead | kWrite, 0, 0},
    {-9982, kRead | kWrite, 0, 0}, {-9981, kRead | kWrite, 0, 0}, {-9980, kRead, 0, 0},
    {-9979, kRead, 0, 0},          {-9978, kRead | kWrite, 0, 0}, {-9977, kWrite, 0, 0},
    {-9976, kWrite, 0, 0},         {-9975, kWrite, 0, 0},         {-9974, kWrite, 0, 0},
    {-9973, kWrite, 0, 0},         {-9972, kWrite, 0, 0},         {-9971, kWrite, 0, 0},
    {-9970, kWrite, 0, 0},         {-9969, kWrite, 0, 0},         {-9968, kWrite, 0, 0},
    {-9967, kWrite, 0, 0},         {-9966, kRead | kWrite, 0, 0}, {-9965, kRead, 0, 0},
    {-9964, kWrite, 0, 0},         {-9963, kWrite, 0, 0},         {-9962, kWrite, 0, 0},
    {-9961, kWrite, 0, 0},         {-9960, kWrite, 0, 0},         {-9959, kWrite, 0, 0},
    {-9958, kWrite, 0, 0},         {-9957, kWrite, 0, 0},
};

constexpr bool RulesMatchMembers() {
  if (std::size(kRules) != std::size(kMembers)) return false;
  for (size_t i = 0; i < std::size(kRules); ++i)
    if (kRules[i].id != kMembers[i].id) return false;
  return true;
}
static_assert(RulesMatchMembers(), "every member needs its rule, in table order");

const MemberRule* RuleOf(DISPID id) noexcept {
  for (const auto& rule : kRules)
    if (rule.id == id) return &rule;
  return nullptr;
}

// The kind a call asks for: the method flag first, then read, then write.
BYTE KindOfCall(WORD flags) noexcept {
  if (flags & DISPATCH_METHOD) return kMethod;
  if (flags & DISPATCH_PROPERTYGET) return kRead;
  if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) return kWrite;
  return 0;
}

bool ArgumentCountFits(const MemberRule& rule, BYTE kind, UINT count) noexcept {
  switch (kind) {
    case kMethod: return count >= rule.minArgs && count <= rule.maxArgs;
    case kRead: return count == 0;
    default: return count == 1;
  }
}

// An object argument: a dispatch variant, or null or undefined for none (so
// script can clear what it set).
HRESULT ObjectArg(const DispArgs& args, UINT i, IDispatch** out) noexcept {
  *out = nullptr;
  const VARTYPE type = args.Type(i);
  if (type == VT_NULL || type == VT_EMPTY) return S_OK;
  if (type != VT_DISPATCH) return E_INVALIDARG;
  *out = args[i].pdispVal;
  return S_OK;
}

RECT PrimaryWorkArea() noexcept {
  RECT area{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  return area;
}

}  // namespace

std::span<const DispMember<CWindowPlugin>> CWindowPlugin::Members() noexcept { return kMembers; }

CWindowPlugin::~CWindowPlugin() {
  if (frame_) ReleaseFrameMessages(frame_);
  taskbar_ = nullptr;
  msg_ = nullptr;
  dragSink_ = nullptr;
  mainSubclass_.ReleaseReferences();
  mainSubclass_.Detach();
  browserSubclass_.Detach();
  browser_ = nullptr;
  core_ = nullptr;
}

// ---------------------------------------------------------------------------
// Plug-in contract

STDMETHODIMP CWindowPlugin::Initialize(OMB::ICore* core, IUnknown* browser) noexcept {
  if (!core || !browser) return E_INVALIDARG;
  if (core_) return S_OK;
  core_ = core;
  frame_ = core->GetWindowHandle();
  if (FAILED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER,
                              IID_PPV_ARGS(&taskbar_))) ||
      FAILED(taskbar_->HrInit()))
    taskbar_ = nullptr;
  if (FAILED(browser->QueryInterface(IID_PPV_ARGS(&browser_)))) {
    OMB_TRACE(kTraceErrors, "CWindowPlugin::Initialize", L"Query IWebBrowser2 failed.");
    return E_INVALIDARG;
  }
  mainSubclass_.Attach(frame_, Unknown());
  AllowPrivateMessages();
  return S_OK;
}

STDMETHODIMP CWindowPlugin::OnDocumentComplete(ULONG_PTR) noexcept {
  if (!browserSubclassed_) {
    if (HWND view = GetIEServerWnd(frame_)) {
      browserSubclassed_ = true;
      browserSubclass_.Attach(view, frame_);
    }
  }
  ConnectDragSink();
  return S_OK;
}

void CWindowPlugin::ConnectDragSink() noexcept {
  ComPtr<IDispatch> documentDispatch;
  ComPtr<IHTMLDocument2> document;
  ComPtr<IHTMLElement> body;
  if (!browser_ || FAILED(browser_->get_Document(&documentDispatch)) || !documentDispatch ||
      FAILED(documentDispatch.As(&document)) || FAILED(document->get_body(&body)) || !body)
    return;
  if (!dragSink_) {
    dragSink_ = Make<CDragSink>(frame_, document.Get());
    if (!dragSink_) return;
  } else {
    dragSink_->SetDocument(document.Get());
  }
  ConnectEventToElement(body.Get(), dragSink_.Get());
}

// ---------------------------------------------------------------------------
// IDispatch

STDMETHODIMP CWindowPlugin::GetTypeInfoCount(UINT*) noexcept {
  OMB_TRACE(kTraceCalls, "CWindowPlugin::GetTypeInfoCount", L"");
  return E_NOTIMPL;
}

STDMETHODIMP CWindowPlugin::GetTypeInfo(UINT, LCID, ITypeInfo**) noexcept {
  OMB_TRACE(kTraceCalls, "CWindowPlugin::GetTypeInfo", L"");
  return E_NOTIMPL;
}

STDMETHODIMP CWindowPlugin::Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags,
                                   DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                                   UINT* argError) noexcept {
  OMB_TRACE(kTraceCalls, "CWindowPlugin::Invoke", L"DISPID %d, flags %d", id, flags);
  const BYTE kind = KindOfCall(flags);
  if (kind == kRead && !result) return E_INVALIDARG;
  const MemberRule* rule = RuleOf(id);
  if (!rule || !(rule->kinds & kind)) return E_NOTIMPL;
  if (!ArgumentCountFits(*rule, kind, params ? params->cArgs : 0)) return E_NOTIMPL;
  if (kind != kMethod) flags = kind == kRead ? DISPATCH_PROPERTYGET : DISPATCH_PROPERTYPUT;
  return DispatchTable::Invoke(id, iid, lcid, flags, params, result, exception, argError);
}

// ---------------------------------------------------------------------------
// Showing, closing, quitting

HRESULT CWindowPlugin::Show(DispCall& call) {
  bool visible = false;
  OMB_RETURN_IF_FAILED(call.args.Bool(0, &visible));
  if (visible) {
    ShowWindow(frame_, SW_SHOWNORMAL);
    SetForegroundWindow(frame_);
  } else {
    ShowWindow(frame_, SW_HIDE);
  }
  return call.ReturnBool(true);
}

HRESULT CWindowPlugin::Close(DispCall& call) {
  PostMessageW(frame_, WM_CLOSE, 0, 0);
  return call.ReturnBool(true);
}

HRESULT CWindowPlugin::Quit(DispCall& call) {
  LONG exitCode = 0;
  if (call.args.Count() == 1) OMB_RETURN_IF_FAILED(call.args.Int(0, &exitCode));
  PostQuitMessage(exitCode);
  return S_OK;
}

HRESULT CWindowPlugin::Minimize(DispCall& call) {
  ShowWindow(frame_, SW_MINIMIZE);
  return call.ReturnBool(true);
}

// Centred on the work area of the frame's monitor, and kept inside it.
HRESULT CWindowPlugin::CenterWindow(DispCall& call) {
  MONITORINFO monitor{};
  monitor.cbSize = sizeof(monitor);
  GetMonitorInfoW(MonitorFromWindow(frame_, MONITOR_DEFAULTTONEAREST), &monitor);
  const RECT area = monitor.rcWork;
  const RECT frame = FrameRect();
  const LONG width = frame.right - frame.left;
  const LONG height = frame.bottom - frame.top;
  LONG left = area.left + (area.right - area.left - width) / 2;
  LONG top = area.top + (area.bottom - area.top - height) / 2;
  if (left + width > area.right) left = area.right - width;
  if (top + height > area.bottom) top = area.bottom - height;
  if (left < area.left) left = area.left;
  if (top < area.top) top = area.top;
  ::SetWindowPos(frame_, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  return call.ReturnBool(true);
}

HRESULT CWindowPlugin::IsVisible(DispCall& call) { return call.ReturnBool(IsWindowVisible(frame_)); }

HRESULT CWindowPlugin::IsForeWindow(DispCall& call) {
  return call.ReturnBool(GetForegroundWindow() == frame_);
}

// ---------------------------------------------------------------------------
// Taskbar progress

HRESULT CWindowPlugin::SetTaskbarProgress(DispCall& call) {
  LONG completed = 0, total = 0;
  OMB_RETURN_IF_FAILED(call.args.Number(0, &completed));
  OMB_RETURN_IF_FAILED(call.args.Number(1, &total));
  if (total == 0) return E_INVALIDARG;
  if (taskbar_)
    taskbar_->SetProgressValue(frame_, static_cast<ULONGLONG>(completed),
                               static_cast<ULONGLONG>(total));
  return call.ReturnBool(true);
}

HRESULT CWindowPlugin::SetTaskbarProgressState(DispCall& call) {
  const wchar_t* word = nullptr;
  OMB_RETURN_IF_FAILED(call.args.String(0, &word));
  const auto state = ProgressStateOfWord(word);
  if (!taskbar_ || !state) return call.ReturnBool(false);
  taskbar_->SetProgressState(frame_, static_cast<TBPFLAG>(*state));
  return call.ReturnBool(true);
}

HRESULT CWindowPlugin::IsSupportTaskbarProgress(DispCall& call) {
  return call.ReturnBool(taskbar_ != nullptr);
}

// ---------------------------------------------------------------------------
// Unique windows and messages

HRESULT CWindowPlugin::IsUniqueWindowMember(DispCall& call) {
  const wchar_t* name = nullptr;
  OMB_RETURN_IF_FAILED(call.args.String(0, &name));
  if (!*name) {
    OMB_TRACE(kTraceErrors, "CWindowPlugin::IsUnique", L"Args or pResult is NULL.");
    return call.ReturnBool(false);
  }
  bool unique = true;
  IsUniqueWindow(frame_, name, &unique);
  return call.ReturnBool(unique);
}

HRESULT CWindowPlugin::ShowExistedWindowMember(DispCall& call) {
  bool shown = false;
  ShowExistedWindow(frame_, &shown);
  return call.ReturnBool(shown);
}

HRESULT CWindowPlugin::Msg(DispCall& call) {
  if (!msg_) OMB_RETURN_IF_FAILED(CreateMsgDispatch(frame_, &msg_));
  return call.ReturnDispatch(msg_.Get());
}

// ---------------------------------------------------------------------------
// Geometry

RECT CWindowPlugin::FrameRect() const noexcept {
  RECT rect{};
  GetWindowRect(frame_, &rect);
  return rect;
}

HRESULT CWindowPlugin::SetWindowPos(DispCall& call) {
  LONG left = 0, top = 0, width = 0, height = 0;
  OMB_RETURN_IF_FAILED(call.args.Number(0, &left));
  OMB_RETURN_IF_FAILED(call.args.Number(1, &top));
  OMB_RETURN_IF_FAILED(call.args.Number(2, &width));
  OMB_RETURN_IF_FAILED(call.args.Number(3, &height));
  if (width == 0 || height == 0) return E_INVALIDARG;
  return call.ReturnBool(::SetWindowPos(frame_, nullptr, left, top, width, height, SWP_NOZORDER));
}

// Reads or writes one edge: horizontal picks left/width over top/height, size
// picks width/height over left/top.
HRESULT CWindowPlugin::PutEdge(DispCall& call, bool horizontal, bool size) {
  const RECT r = FrameRect();
  if (call.IsGet()) {
    if (size) return call.ReturnInt(horizontal ? r.right - r.left : r.bottom - r.top);
    return call.ReturnInt(horizontal ? r.left : r.top);
  }
  LONG value = 0;
  OMB_RETURN_IF_FAILED(call.args.Number(0, &value));
  if (size) {
    if (value == 0) return E_INVALIDARG;
    if (shapeSet_) return call.ReturnBool(false);
    const LONG width = horizontal ? value : r.right - r.left;
    const LONG height = horizontal ? r.bottom - r.top : value;
    ::SetWindowPos(frame_, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  } else {
    ::SetWindowPos(frame_, nullptr, horizontal ? value : r.left, horizontal ? r.top : value, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  return S_OK;
}

HRESULT CWindowPlugin::Width(DispCall& call) { return PutEdge(call, true, true); }
HRESULT CWindowPlugin::Height(DispCall& call) { return PutEdge(call, false, true); }
HRESULT CWindowPlugin::Left(DispCall& call) { return PutEdge(call, true, false); }
HRESULT CWindowPlugin::Top(DispCall& call) { return PutEdge(call, false, false); }

HRESULT CWindowPlugin::WorkAreaWidth(DispCall& call) {
  const RECT area = PrimaryWorkArea();
  return call.ReturnInt(area.right - area.left);
}

HRESULT CWindowPlugin::WorkAreaHeight(DispCall& call) {
  const RECT area = PrimaryWorkArea();
  return call.ReturnInt(area.bottom - area.top);
}

HRESULT CWindowPlugin::Title(DispCall& call) {
  if (call.IsGet()) {
    wchar_t text[1000] = L"";
    GetWindowTextW(frame_, text, 1000);
    return call.ReturnString(text);
  }
  const wchar_t* title = nullptr;
  OMB_RETURN_IF_FAILED(call.args.String(0, &title));
  SetWindowTextW(frame_, title);
  return S_OK;
}

// ---------------------------------------------------------------------------
// Style bits and size limits

HRESULT CWindowPlugin::PutStyleBit(DispCall& call, LONG_PTR bit) {
  bool on = false;
  OMB_RETURN_IF_FAILED(call.args.Bool(0, &on));
  const LONG_PTR style = GetWindowLongPtrW(frame_, GWL_STYLE);
  SetWindowLongPtrW(frame_, GWL_STYLE, on ? style | bit : style & ~bit);
  return S_OK;
}

HRESULT CWindowPlugin::MinimizeBox(DispCall& call) { return PutStyleBit(call, WS_MINIMIZEBOX); }
HRESULT CWindowPlugin::MaximizeBox(DispCall& call) { return PutStyleBit(call, WS_MAXIMIZEBOX); }
HRESULT CWindowPlugin::SysMenu(DispCall& call) { return PutStyleBit(call, WS_SYSMENU); }

HRESULT CWindowPlugin::TopMost(DispCall& call) {
  bool on = false;
  OMB_RETURN_IF_FAILED(call.args.Bool(0, &on));
  ::SetWindowPos(frame_, on ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  return S_OK;
}

HRESULT CWindowPlugin::PutTrackSize(DispCall& call, CMainSubclassWindow::TrackSize which) {
  LONG value = 0;
  OMB_RETURN_IF_FAILED(call.args.Number(0, &value));
  if (value == 0) return E_INVALIDARG;
  mainSubclass_.SetTrackSize(which, static_cast<UINT>(value));
  return S_OK;
}

HRESULT CWindowPlugin::MinWidth(DispCall& call) { return PutTrackSize(call, CMainSubclassWindow::kMinWidth); }
HRESULT CWindowPlugin::MinHeight(DispCall& call) { return PutTrackSize(call, CMainSubclassWindow::kMinHeight); }
HRESULT CWindowPlugin::MaxWidth(DispCall& call) { return PutTrackSize(call, CMainSubclassWindow::kMaxWidth); }
HRESULT CWindowPlugin::MaxHeight(DispCall& call) { return PutTrackSize(call, CMainSubclassWindow::kMaxHeight); }

// ---------------------------------------------------------------------------
// Menu and events

HRESULT CWindowPlugin::Menu(DispCall& call) {
  if (call.IsGet()) return call.ReturnDispatch(mainSubclass_.Menu());
  IDispatch* object = nullptr;
  OMB_RETURN_IF_FAILED(ObjectArg(call.args, 0, &object));
  if (!object) {  // no menu bar any more
    ::SetMenu(frame_, nullptr);
    mainSubclass_.SetMenu(nullptr);
    return S_OK;
  }
  ComPtr<OMB::IMenu> menu;
  if (FAILED(object->QueryInterface(IID_PPV_ARGS(&menu)))) return S_OK;
  ::SetMenu(frame_, menu->GetHandle());
  mainSubclass_.SetMenu(object);
  return S_OK;
}

HRESULT CWindowPlugin::PutEvent(DispCall& call, CMainSubclassWindow::Event event) {
  IDispatch* function = nullptr;
  OMB_RETURN_IF_FAILED(ObjectArg(call.args, 0, &function));
  mainSubclass_.SetEvent(event, function);
  return S_OK;
}

HRESULT CWindowPlugin::OnClosed(DispCall& call) { return PutEvent(call, CMainSubclassWindow::kOnClosed); }
HRESULT CWindowPlugin::OnClose(DispCall& call) { return PutEvent(call, CMainSubclassWindow::kOnClose); }
HRESULT CWindowPlugin::OnMinimize(DispCall& call) { return PutEvent(call, CMainSubclassWindow::kOnMinimize); }
HRESULT CWindowPlugin::OnMaximize(DispCall& call) { return PutEvent(call, CMainSubclassWindow::kOnMaximize); }
HRESULT CWindowPlugin::OnRestore(DispCall& call) { return PutEvent(call, CMainSubclassWindow::kOnRestore); }
HRESULT CWindowPlugin::OnActivate(DispCall& call) { return PutEvent(call, CMainSubclassWindow::kOnActivate); }
HRESULT CWindowPlugin::OnInactivate(DispCall& call) { return PutEvent(call, CMainSubclassWindow::kOnInactivate); }
HRESULT CWindowPlugin::OnShutdown(DispCall& call) { return PutEvent(call, CMainSubclassWindow::kOnShutdown); }

}  // namespace omb

OMB_REGISTER_BUILTIN_PLUGIN(L"window", omb::CWindowPlugin, 0);
