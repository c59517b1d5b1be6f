// Hot-key texts such as "ctrl+alt+f5": modifiers joined by plus signs, then
// one key, either a single character or a key name. A combination travels as
// one number laid out like WM_HOTKEY's lParam: the key code in the high 16
// bits, the modifier flags (MOD_ALT, MOD_CONTROL, MOD_SHIFT, MOD_WIN) in the
// low 16 bits.
#pragma once

#include <windows.h>

#include <optional>
#include <string_view>

namespace omb {

constexpr DWORD HotkeyCombination(UINT modifiers, UINT key) noexcept {
  return (static_cast<DWORD>(key & 0xFFFF) << 16) | (modifiers & 0xFFFF);
}

// The combination a text describes, or nothing when the text is invalid.
// Letters are compared without regard to case. A modifier is recognised by
// its first letters ("ctrl", "shift", "alt", "win"), so "ctrlx" is Ctrl and
// "control" is invalid; a single-character key is looked up in the keyboard
// layout, its shift state ignored.
std::optional<DWORD> ParseHotkeyText(std::wstring_view text) noexcept;

}  // namespace omb
