#include "app/plugins/hotkey/hotkey_text.h"

namespace omb {
namespace {

struct Named {
  const wchar_t* name;
  UINT code;
};

// Searched in this order. "pause" is VK_CANCEL (3), the code applications'
// saved key texts were made for, not VK_PAUSE (19).
constexpr Named kKeys[] = {
    {L"esc", VK_ESCAPE},   {L"pause", VK_CANCEL}, {L"print", VK_SNAPSHOT}, {L"scroll", VK_SCROLL},
    {L"insert", VK_INSERT}, {L"delete", VK_DELETE}, {L"pageup", VK_PRIOR}, {L"pagedown", VK_NEXT},
    {L"home", VK_HOME},    {L"end", VK_END},      {L"up", VK_UP},          {L"down", VK_DOWN},
    {L"left", VK_LEFT},    {L"right", VK_RIGHT},  {L"tab", VK_TAB},        {L"back", VK_BACK},
    {L"return", VK_RETURN}, {L"f1", VK_F1},       {L"f2", VK_F2},          {L"f3", VK_F3},
    {L"f4", VK_F4},        {L"f5", VK_F5},        {L"f6", VK_F6},          {L"f7", VK_F7},
    {L"f8", VK_F8},        {L"f9", VK_F9},        {L"f10", VK_F10},        {L"f11", VK_F11},
    {L"f12", VK_F12},
};

// Tested in this order on the modifier's first letters.
constexpr Named kModifiers[] = {
    {L"ctrl", MOD_CONTROL}, {L"shift", MOD_SHIFT}, {L"alt", MOD_ALT}, {L"win", MOD_WIN}};

bool SameIgnoringCase(std::wstring_view a, std::wstring_view b) noexcept {
  return a.size() == b.size() &&
         CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                              static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

UINT ModifierOf(std::wstring_view part) noexcept {
  for (const auto& m : kModifiers) {
    const std::wstring_view prefix(m.name);
    if (part.size() >= prefix.size() && SameIgnoringCase(part.substr(0, prefix.size()), prefix))
      return m.code;
  }
  return 0;
}

UINT KeyOf(std::wstring_view key) noexcept {
  if (key.size() == 1) {
    const BYTE code = LOBYTE(VkKeyScanW(key[0]));
    return code == 0xFF ? 0 : code;
  }
  for (const auto& k : kKeys)
    if (SameIgnoringCase(key, k.name)) return k.code;
  return 0;
}

}  // namespace

std::optional<DWORD> ParseHotkeyText(std::wstring_view text) noexcept {
  UINT modifiers = 0;
  size_t position = 0;
  for (size_t plus; (plus = text.find(L'+', position)) != std::wstring_view::npos;) {
    const UINT modifier = ModifierOf(text.substr(position, plus - position));
    if (!modifier) return std::nullopt;
    modifiers |= modifier;
    position = plus + 1;
  }
  // Empty here: an empty text, or one that ends with a plus sign.
  const UINT key = KeyOf(text.substr(position));
  if (!key) return std::nullopt;
  return HotkeyCombination(modifiers, key);
}

}  // namespace omb
