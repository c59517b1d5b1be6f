#include "app/plugins/mouse/mouse_plugin.h"

#include "app/core/plugin_registry.h"

namespace omb {
namespace {

using M = CMousePlugin;

const DispMember<M> kMembers[] = {
    {-10000, L"isBtnDown", &M::IsBtnDown},
    {-9999, L"click", &M::Click},
    {-9998, L"x", &M::X},
    {-9997, L"y", &M::Y},
    {-9996, L"LBTN", &M::LeftButton},
    {-9995, L"RBTN", &M::RightButton},
    {-9994, L"MBTN", &M::MiddleButton},
};

// Script numbers the buttons 0 (left), 1 (right) and 2 (middle); any other
// number means the left button.
struct Button {
  int virtualKey;
  DWORD down;
  DWORD up;
};
constexpr Button kButtons[] = {
    {VK_LBUTTON, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP},
    {VK_RBUTTON, MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP},
    {VK_MBUTTON, MOUSEEVENTF_MIDDLEDOWN, MOUSEEVENTF_MIDDLEUP},
};
const Button& ButtonOf(LONG number) noexcept {
  return number >= 0 && number <= 2 ? kButtons[number] : kButtons[0];
}

// How long the button stays down between press and release.
constexpr DWORD kClickHoldMs = 50;

bool SendButton(DWORD flags, LONG x, LONG y) noexcept {
  INPUT input{};
  input.type = INPUT_MOUSE;
  input.mi.dx = x;
  input.mi.dy = y;
  input.mi.dwFlags = flags;
  return SendInput(1, &input, sizeof(input)) == 1;
}

}  // namespace

std::span<const DispMember<CMousePlugin>> CMousePlugin::Members() noexcept { return kMembers; }

// isBtnDown([button]) -> whether the button is down
HRESULT CMousePlugin::IsBtnDown(DispCall& call) {
  if (!call.IsMethod() || call.args.Count() > 1) return E_NOTIMPL;
  LONG button = 0;
  if (call.args.Count() == 1) OMB_RETURN_IF_FAILED(call.args.Int(0, &button));
  return call.ReturnBool((GetKeyState(ButtonOf(button).virtualKey) & 0x8000) != 0);
}

// click(), click(button), click(button, x, y) -> whether press and release
// were sent. With coordinates the cursor goes there first, so the click lands
// where it was asked to.
HRESULT CMousePlugin::Click(DispCall& call) {
  const UINT count = call.args.Count();
  if (!call.IsMethod() || count == 2 || count > 3) return E_NOTIMPL;
  LONG button = 0;
  if (count >= 1) OMB_RETURN_IF_FAILED(call.args.Int(0, &button));
  POINT at{};
  if (count == 3) {
    OMB_RETURN_IF_FAILED(call.args.Number(1, &at.x));
    OMB_RETURN_IF_FAILED(call.args.Number(2, &at.y));
    if (!SetCursorPos(at.x, at.y)) return call.ReturnBool(false);
  } else if (!GetCursorPos(&at)) {
    return call.ReturnBool(false);
  }
  const Button& which = ButtonOf(button);
  if (!SendButton(which.down, at.x, at.y)) return call.ReturnBool(false);
  Sleep(kClickHoldMs);
  return call.ReturnBool(SendButton(which.up, at.x, at.y));
}

// x / y: the cursor position in screen pixels; writing one moves the cursor
// along that axis (answering whether it moved).
HRESULT CMousePlugin::Coordinate(DispCall& call, bool horizontal) {
  const UINT count = call.args.Count();
  POINT cursor{};
  if (call.IsPut() && !call.IsMethod() && count == 1) {
    LONG value = 0;
    OMB_RETURN_IF_FAILED(call.args.Number(0, &value));
    GetCursorPos(&cursor);
    (horizontal ? cursor.x : cursor.y) = value;
    return call.ReturnBool(SetCursorPos(cursor.x, cursor.y) != FALSE);
  }
  if (!call.IsGet() || count != 0) return E_NOTIMPL;
  GetCursorPos(&cursor);
  return call.ReturnInt(horizontal ? cursor.x : cursor.y);
}

HRESULT CMousePlugin::Constant(DispCall& call, LONG value) {
  if (!call.IsGet() || call.args.Count() != 0) return E_NOTIMPL;
  return call.ReturnInt(value);
}

OMB_REGISTER_BUILTIN_PLUGIN(L"mouse", CMousePlugin, 0);

}  // namespace omb
