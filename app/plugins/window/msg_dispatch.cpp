#include "app/plugins/window/msg_dispatch.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <new>
#include <span>
#include <utility>

#include "app/core/script_call.h"
#include "app/core/unknown.h"
#include "app/plugins/window/unique_window.h"
#include "sdk/dispatch.h"
#include "sdk/trace.h"

namespace omb {
namespace {

constexpr ULONG_PTR kReceiverMarker = 0x10102;

constexpr DISPID kRegisterMsg = -9956;
constexpr DISPID kUnregisterMsg = -9955;
constexpr DISPID kSendMsg = -9954;
constexpr DISPID kUniqueId = -9953;

struct Handler {
  ComPtr<IDispatch> function;
  unique_variant context;
};

// What one frame keeps for messaging: its id and its handlers by name
// (ordered and matched by code unit, so case-sensitive).
struct FrameMessages {
  std::wstring uniqueId;
  std::vector<std::wstring> markers;  // every id set on the frame
  std::map<std::wstring, Handler> handlers;
};

// Every frame's state; used on the user-interface thread only. Never
// destroyed: handlers left at exit must not be released after the script
// engines that own them are gone.
std::map<HWND, FrameMessages>& Frames() {
  static auto* frames = new std::map<HWND, FrameMessages>();
  return *frames;
}

FrameMessages* FindFrame(HWND frame) {
  const auto found = Frames().find(frame);
  return found == Frames().end() ? nullptr : &found->second;
}

// State left behind by frames destroyed without ReleaseFrameMessages must not
// be inherited by a new window that gets the same handle.
void ForgetDeadFrames() {
  for (auto it = Frames().begin(); it != Frames().end();)
    it = ::IsWindow(it->first) ? std::next(it) : Frames().erase(it);
}

HRESULT ToString(const VARIANT& value, unique_variant& out) noexcept {
  if (value.vt == VT_BSTR) return out.CopyFrom(value);
  return ::VariantChangeType(out.put(), const_cast<VARIANT*>(&value), 0, VT_BSTR);
}

UINT Length(const unique_variant& s) noexcept { return ::SysStringLen(s->bstrVal); }

BOOL CALLBACK CollectReceivers(HWND window, LPARAM param) noexcept {
  auto* search = reinterpret_cast<std::pair<const wchar_t*, std::vector<HWND>>*>(param);
  if (reinterpret_cast<ULONG_PTR>(::GetPropW(window, search->first)) == kReceiverMarker) {
    try {
      search->second.push_back(window);
    } catch (...) {
      return FALSE;
    }
  }
  return TRUE;
}

// The block this thread is handing over right now. A receiver on the same
// thread (a window of this process) reads it from the sender's view instead of
// opening and mapping the named block once more, which would cost the window
// manager several round trips per message. Nested deliveries (a handler that
// sends) stack their records.
struct OutgoingBlock {
  HWND receiver;
  const void* view;
  DWORD size;
};
thread_local const OutgoingBlock* t_outgoing = nullptr;

// Writes the block for one receiver and hands it over synchronously.
HRESULT DeliverTo(HWND receiver, const std::vector<wchar_t>& block) {
  const DWORD size = static_cast<DWORD>(block.size() * sizeof(wchar_t));
  const DWORD pid = ::GetCurrentProcessId();
  unique_handle mapping(::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, size,
                                             MessageBlockName(pid, receiver).c_str()));
  if (!mapping) return HResultFromLastError();
  unique_mapview view(::MapViewOfFile(mapping.get(), FILE_MAP_WRITE, 0, 0, size));
  if (!view) return HResultFromLastError();
  std::memcpy(view.get(), block.data(), size);
  const OutgoingBlock outgoing{receiver, view.get(), size};
  const OutgoingBlock* const outer = std::exchange(t_outgoing, &outgoing);
  LRESULT answer = 0;
  const bool sent = SendPrivateMessage(receiver, MSG_DELIVER, pid, size, &answer);
  t_outgoing = outer;
  if (!sent) return HRESULT_FROM_WIN32(ERROR_TIMEOUT);
  return static_cast<HRESULT>(answer);
}

struct PropertySearch {
  const wchar_t* name;
  ATOM atom;
  bool found;
};

BOOL CALLBACK FindProperty(HWND, LPWSTR name, HANDLE, ULONG_PTR param) noexcept {
  auto* search = reinterpret_cast<PropertySearch*>(param);
  const bool same = IS_INTRESOURCE(name)
                        ? search->atom != 0 && reinterpret_cast<ULONG_PTR>(name) == search->atom
                        : ::CompareStringOrdinal(name, -1, search->name, -1, TRUE) == CSTR_EQUAL;
  if (same) search->found = true;
  return same ? FALSE : TRUE;
}

// Whether the window has a property of that name, whatever its value (a
// property may hold 0, which GetPropW cannot tell from none).
bool HasProperty(HWND window, const wchar_t* name) noexcept {
  PropertySearch search{name, ::GlobalFindAtomW(name), false};
  ::EnumPropsExW(window, FindProperty, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HRESULT SendToId(const wchar_t* id, const unique_variant& name, const unique_variant* payload,
                 bool* found) {
  std::pair<const wchar_t*, std::vector<HWND>> search{id, {}};
  ::EnumWindows(CollectReceivers, reinterpret_cast<LPARAM>(&search));
  *found = !search.second.empty();
  if (!*found) return S_OK;
  std::vector<wchar_t> block;
  const HRESULT built = BuildMessageBlock(name->bstrVal, Length(name),
                                          payload ? payload->get()->bstrVal : nullptr,
                                          payload ? Length(*payload) : 0, &block);
  for (HWND receiver : search.second) {
    // A failed delivery only affects that receiver; its answer is not used.
    if (SUCCEEDED(built)) DeliverTo(receiver, block);
  }
  return S_OK;
}

// Calls handler(payload, context) for a message read from a block.
HRESULT RunHandler(HWND frame, const std::wstring& name, const std::wstring& payload) {
  FrameMessages* state = FindFrame(frame);
  if (!state) return E_FAIL;
  const auto found = state->handlers.find(name);
  if (found == state->handlers.end()) return E_FAIL;
  // The handler may unregister itself: keep what the call needs.
  const ComPtr<IDispatch> function = found->second.function;
  unique_variant context;
  OMB_RETURN_IF_FAILED(context.CopyFrom(*found->second.context));
  unique_bstr text(::SysAllocStringLen(payload.data(), static_cast<UINT>(payload.size())));
  if (!text) return E_OUTOFMEMORY;
  return CallScript(function.Get(), {ArgString(text.get())}, *context);
}

// The window plug-in's "msg" object. It reaches its frame's state by the frame
// handle, so it never outlives what it points to.
class CMsgDispatch : public ComObject<CMsgDispatch, DispatchTable<CMsgDispatch>> {
 public:
  static constexpr const char* kClassName = "CMsgDispatch";
  static std::span<const DispMember<CMsgDispatch>> Members() noexcept;

  explicit CMsgDispatch(HWND frame) noexcept : frame_(frame) {}

  STDMETHODIMP GetTypeInfoCount(UINT*) noexcept override {
    OMB_TRACE(kTraceCalls, "CMsgDispatch::GetTypeInfoCount", nullptr);
    return E_NOTIMPL;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) noexcept override {
    OMB_TRACE(kTraceCalls, "CMsgDispatch::GetTypeInfo", nullptr);
    return E_NOTIMPL;
  }
  STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params,
                      VARIANT* result, EXCEPINFO* info, UINT* argError) noexcept override {
    state_ = FindFrame(frame_);
    if (!state_) return E_FAIL;
    const bool isProperty = id == kUniqueId;
    if (flags & DISPATCH_METHOD) {
      if (isProperty) return E_NOTIMPL;
    } else if (!(flags & (DISPATCH_PROPERTYGET | DISPATCH_PROPERTYPUT)) || !isProperty) {
      return E_NOTIMPL;
    }
    const HRESULT hr =
        DispatchTable::Invoke(id, iid, lcid, flags, params, result, info, argError);
    return hr == DISP_E_MEMBERNOTFOUND ? E_NOTIMPL : hr;
  }

  HRESULT RegisterMsg(DispCall& call) {
    const UINT count = call.args.Count();
    if (count != 2 && count != 3) return E_NOTIMPL;
    if (call.args.Type(0) != VT_BSTR || call.args.Type(1) != VT_DISPATCH) return E_INVALIDARG;
    const BSTR name = call.args[0].bstrVal;
    IDispatch* function = call.args[1].pdispVal;
    if (!name || !function) return call.ReturnBool(false);
    const std::wstring key(name, ::SysStringLen(name));
    if (state_->handlers.count(key)) return call.ReturnBool(false);
    Handler handler{function, {}};
    if (count == 3) OMB_RETURN_IF_FAILED(handler.context.CopyFrom(call.args[2]));
    state_->handlers.emplace(key, std::move(handler));
    return call.ReturnBool(true);
  }

  HRESULT UnregisterMsg(DispCall& call) {
    if (call.args.Count() != 1) return E_NOTIMPL;
    if (call.args.Type(0) != VT_BSTR) return E_INVALIDARG;
    const BSTR name = call.args[0].bstrVal;
    if (!name) return call.ReturnBool(false);
    state_->handlers.erase(std::wstring(name, ::SysStringLen(name)));
    return call.ReturnBool(true);
  }

  HRESULT SendMsg(DispCall& call) {
    const UINT count = call.args.Count();
    if (count != 2 && count != 3) return E_NOTIMPL;
    unique_variant target, name, payload;
    if (FAILED(ToString(call.args[0], target)) || FAILED(ToString(call.args[1], name)))
      return call.ReturnBool(false);
    const bool hasPayload = count == 3 && SUCCEEDED(ToString(call.args[2], payload)) &&
                            Length(payload) > 0;
    bool found = false;
    const wchar_t* id = target->bstrVal ? target->bstrVal : L"";
    const HRESULT hr = SendToId(id, name, hasPayload ? std::addressof(payload) : nullptr, &found);
    return call.ReturnBool(SUCCEEDED(hr) && found);
  }

  HRESULT UniqueId(DispCall& call) {
    if (call.IsGet()) {
      if (call.args.Count() != 0) return E_NOTIMPL;
      return call.ReturnString(state_->uniqueId.c_str(),
                               static_cast<UINT>(state_->uniqueId.size()));
    }
    if (call.args.Count() != 1) return E_NOTIMPL;
    unique_variant id;
    if (FAILED(ToString(call.args[0], id)) || !id->bstrVal) return S_OK;
    // Earlier ids keep their markers: the window answers to all of them.
    // A name the window already uses for something else is refused.
    if (!SetMarkerProperty(frame_, id->bstrVal, kReceiverMarker)) {
      OMB_TRACE(kTraceErrors, "CMsgDispatch::Invoke", L"Property name in use: %s", id->bstrVal);
      return S_OK;
    }
    state_->uniqueId.assign(id->bstrVal, Length(id));
    if (std::find(state_->markers.begin(), state_->markers.end(), state_->uniqueId) ==
        state_->markers.end())
      state_->markers.push_back(state_->uniqueId);
    return S_OK;
  }

 private:
  HWND frame_;
  FrameMessages* state_ = nullptr;  // this call's frame state
};

const DispMember<CMsgDispatch> kMembers[] = {
    {kRegisterMsg, L"registerMsg", &CMsgDispatch::RegisterMsg},
    {kUnregisterMsg, L"unregisterMsg", &CMsgDispatch::UnregisterMsg},
    {kSendMsg, L"sendMsg", &CMsgDispatch::SendMsg},
    {kUniqueId, L"uniqueID", &CMsgDispatch::UniqueId},
};

std::span<const DispMember<CMsgDispatch>> CMsgDispatch::Members() noexcept { return kMembers; }

}  // namespace

// ---------------------------------------------------------------------------
// The message block

std::wstring MessageBlockName(DWORD senderProcessId, HWND receiver) {
  wchar_t name[64];
  const auto window = static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(receiver));
  ::wsprintfW(name, L"Ombrel_MsgMap_%08X_%08X", senderProcessId, window);
  return name;
}

HRESULT BuildMessageBlock(const wchar_t* name, size_t nameLength, const wchar_t* payload,
                          size_t payloadLength, std::vector<wchar_t>* block) {
  constexpr size_t kMaxChars = 0xFFFFFFFFu / sizeof(wchar_t) - 2;
  if (nameLength > kMaxChars || payloadLength > kMaxChars - nameLength) return E_FAIL;
  try {
    block->assign(nameLength + payloadLength + 2, L'\0');
  } catch (const std::bad_alloc&) {
    return E_FAIL;  // this delivery fails; the sender goes on
  }
  if (nameLength) std::memcpy(block->data(), name, nameLength * sizeof(wchar_t));
  if (payloadLength)
    std::memcpy(block->data() + nameLength + 1, payload, payloadLength * sizeof(wchar_t));
  return S_OK;
}

HRESULT ParseMessageBlock(const void* block, size_t size, std::wstring* name,
                          std::wstring* payload) {
  if (size < 2 * sizeof(wchar_t) || size % sizeof(wchar_t) != 0) return E_FAIL;
  const auto* chars = static_cast<const wchar_t*>(block);
  const size_t count = size / sizeof(wchar_t);
  const auto* end = std::find(chars, chars + count, L'\0');
  if (end == chars || end == chars + count) return E_FAIL;
  const size_t nameLength = static_cast<size_t>(end - chars);
  name->assign(chars, nameLength);
  // Everything between the name's NUL and the final NUL, NULs included.
  if (count > nameLength + 2) payload->assign(end + 1, count - nameLength - 2);
  else payload->clear();
  return S_OK;
}

// ---------------------------------------------------------------------------
// Frame side

HRESULT CreateMsgDispatch(HWND frame, IDispatch** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  try {
    ForgetDeadFrames();
    Frames().try_emplace(frame);
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  AllowPrivateMessages();
  ComPtr<CMsgDispatch> object = Make<CMsgDispatch>(frame);
  if (!object) return E_OUTOFMEMORY;
  *out = object.Detach();
  return S_OK;
}

LRESULT DeliverMessage(HWND frame, WPARAM wParam, LPARAM lParam) {
  const auto sender = static_cast<DWORD>(wParam);
  const auto size = static_cast<DWORD>(lParam);
  if (size == 0) return E_FAIL;
  if (const OutgoingBlock* own = t_outgoing;
      own && own->receiver == frame && own->size == size && sender == ::GetCurrentProcessId()) {
    try {
      std::wstring name, payload;
      if (FAILED(ParseMessageBlock(own->view, size, &name, &payload))) return E_FAIL;
      return RunHandler(frame, name, payload);
    } catch (...) {
      return E_OUTOFMEMORY;
    }
  }
  unique_handle mapping(
      ::OpenFileMappingW(FILE_MAP_READ, FALSE, MessageBlockName(sender, frame).c_str()));
  if (!mapping) return E_FAIL;
  unique_mapview view(::MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, size));
  if (!view) return E_FAIL;
  // Never read past what was actually mapped, whatever size the sender claims.
  MEMORY_BASIC_INFORMATION region{};
  if (!::VirtualQuery(view.get(), &region, sizeof(region)) || region.RegionSize < size)
    return E_FAIL;
  try {
    std::wstring name, payload;
    if (FAILED(ParseMessageBlock(view.get(), size, &name, &payload))) return E_FAIL;
    view.reset();
    mapping.reset();
    return RunHandler(frame, name, payload);
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

void AllowPrivateMessages() {
  using FilterFn = BOOL(WINAPI*)(UINT, DWORD);
  static const auto filter = reinterpret_cast<FilterFn>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "ChangeWindowMessageFilter")));
  if (!filter) return;
  filter(MSG_SHOW_WINDOW, MSGFLT_ADD);
  filter(MSG_DELIVER, MSGFLT_ADD);
}

bool SendPrivateMessage(HWND receiver, UINT message, WPARAM wParam, LPARAM lParam,
                        LRESULT* answer) noexcept {
  DWORD_PTR result = 0;
  if (!::SendMessageTimeoutW(receiver, message, wParam, lParam, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                             &result))
    return false;
  *answer = static_cast<LRESULT>(result);
  return true;
}

bool SetMarkerProperty(HWND frame, const wchar_t* name, ULONG_PTR value) noexcept {
  const auto current = reinterpret_cast<ULONG_PTR>(::GetPropW(frame, name));
  if (current != value && (current != 0 || HasProperty(frame, name))) return false;
  return ::SetPropW(frame, name, reinterpret_cast<HANDLE>(value)) != FALSE;
}

void RemoveMarkerProperty(HWND frame, const wchar_t* name, ULONG_PTR value) noexcept {
  if (reinterpret_cast<ULONG_PTR>(::GetPropW(frame, name)) == value) ::RemovePropW(frame, name);
}

void RemoveFrameMarkers(HWND frame) noexcept {
  if (FrameMessages* state = FindFrame(frame)) {
    for (const auto& id : state->markers) RemoveMarkerProperty(frame, id.c_str(), kReceiverMarker);
    state->markers.clear();
  }
  RemoveUniqueMarker(frame);
}

void ReleaseFrameMessages(HWND frame) {
  if (::IsWindow(frame)) RemoveFrameMarkers(frame);
  Frames().erase(frame);
  ReleaseUniqueWindow(frame);
}

}  // namespace omb
