#include "vellum/version_block.h"

#include <cstring>
#include <cwchar>
#include <cwctype>
#include <utility>

namespace vellum {

namespace {

const HRESULT kInvalidData = HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
constexpr size_t kHeaderBytes = 6;
constexpr size_t kFixedInfoBytes = sizeof(VS_FIXEDFILEINFO);
// A version block is a handful of levels deep; anything deeper is not one.
constexpr int kMaxDepth = 8;

size_t Align4(size_t n) noexcept { return (n + 3) & ~size_t{3}; }

WORD ReadWord(std::span<const BYTE> bytes, size_t at) noexcept {
  return static_cast<WORD>(bytes[at] | (bytes[at + 1] << 8));
}

bool SameKey(std::wstring_view a, std::wstring_view b) noexcept {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::towlower(a[i]) != std::towlower(b[i])) return false;
  return true;
}

// Parses the node at `at`, which must end by `limit`.
HRESULT ParseNode(std::span<const BYTE> bytes, size_t at, size_t limit, int depth, VersionNode* node,
                  size_t* end) {
  if (depth > kMaxDepth || at + kHeaderBytes > limit) return kInvalidData;
  const size_t length = ReadWord(bytes, at);
  const size_t valueLength = ReadWord(bytes, at + 2);
  node->type = ReadWord(bytes, at + 4);
  if (length < kHeaderBytes || at + length > limit) return kInvalidData;
  *end = at + length;

  size_t keyEnd = at + kHeaderBytes;
  for (;; keyEnd += 2) {
    if (keyEnd + 2 > *end) return kInvalidData;  // the key has no terminator
    if (ReadWord(bytes, keyEnd) == 0) break;
  }
  node->key.clear();
  for (size_t p = at + kHeaderBytes; p < keyEnd; p += 2)
    node->key.push_back(static_cast<wchar_t>(ReadWord(bytes, p)));

  const size_t valueStart = Align4(keyEnd + 2);
  const size_t valueBytes = node->type == 1 ? valueLength * 2 : valueLength;
  if (valueBytes > 0 && valueStart + valueBytes > *end) return kInvalidData;
  node->value.assign(bytes.begin() + static_cast<ptrdiff_t>(valueBytes ? valueStart : 0),
                     bytes.begin() + static_cast<ptrdiff_t>(valueBytes ? valueStart + valueBytes : 0));

  node->children.clear();
  for (size_t child = Align4(valueStart + valueBytes); child < *end;) {
    // Padding after the last child may reach the node's end.
    if (child + kHeaderBytes > *end) break;
    VersionNode& next = node->children.emplace_back();
    size_t childEnd = 0;
    if (HRESULT hr = ParseNode(bytes, child, *end, depth + 1, &next, &childEnd); FAILED(hr)) return hr;
    child = Align4(childEnd);
  }
  return S_OK;
}

void PutWord(std::vector<BYTE>* out, size_t at, size_t value) {
  (*out)[at] = static_cast<BYTE>(value & 0xFF);
  (*out)[at + 1] = static_cast<BYTE>((value >> 8) & 0xFF);
}

void Pad(std::vector<BYTE>* out) { out->resize(Align4(out->size()), 0); }

void WriteNode(const VersionNode& node, std::vector<BYTE>* out) {
  Pad(out);
  const size_t start = out->size();
  out->resize(start + kHeaderBytes);
  for (wchar_t c : node.key) {
    out->push_back(static_cast<BYTE>(c & 0xFF));
    out->push_back(static_cast<BYTE>((c >> 8) & 0xFF));
  }
  out->push_back(0);
  out->push_back(0);
  Pad(out);
  out->insert(out->end(), node.value.begin(), node.value.end());
  for (const VersionNode& child : node.children) WriteNode(child, out);
  PutWord(out, start, out->size() - start);
  PutWord(out, start + 2, node.type == 1 ? node.value.size() / 2 : node.value.size());
  PutWord(out, start + 4, node.type);
}

}  // namespace

const VersionNode* VersionNode::Child(std::wstring_view name) const noexcept {
  for (const VersionNode& child : children)
    if (SameKey(child.key, name)) return &child;
  return nullptr;
}

VersionNode* VersionNode::Child(std::wstring_view name) noexcept {
  return const_cast<VersionNode*>(std::as_const(*this).Child(name));
}

VersionNode& VersionNode::ChildOrNew(std::wstring_view name, WORD childType) {
  if (VersionNode* found = Child(name)) return *found;
  VersionNode& added = children.emplace_back();
  added.key = name;
  added.type = childType;
  return added;
}

HRESULT CVersionBlock::Parse(std::span<const BYTE> bytes) {
  if (bytes.size() < kHeaderBytes) return kInvalidData;
  size_t end = 0;
  if (HRESULT hr = ParseNode(bytes, 0, bytes.size(), 0, &root_, &end); FAILED(hr)) return hr;
  if (root_.key != L"VS_VERSION_INFO") return kInvalidData;
  return S_OK;
}

void CVersionBlock::InitNew(WORD language, WORD codePage) {
  VS_FIXEDFILEINFO info = {};
  info.dwSignature = VS_FFI_SIGNATURE;
  info.dwStrucVersion = VS_FFI_STRUCVERSION;
  info.dwFileFlagsMask = VS_FFI_FILEFLAGSMASK;
  info.dwFileOS = VOS_NT_WINDOWS32;
  info.dwFileType = VFT_APP;
  root_ = VersionNode{};
  root_.key = L"VS_VERSION_INFO";
  root_.type = 0;
  root_.value.resize(sizeof info);
  memcpy(root_.value.data(), &info, sizeof info);
  VersionNode& translation = root_.ChildOrNew(L"VarFileInfo", 1).ChildOrNew(L"Translation", 0);
  translation.value = {static_cast<BYTE>(language & 0xFF), static_cast<BYTE>(language >> 8),
                       static_cast<BYTE>(codePage & 0xFF), static_cast<BYTE>(codePage >> 8)};
}

std::optional<Translation> CVersionBlock::FirstTranslation() const noexcept {
  const VersionNode* var = root_.Child(L"VarFileInfo");
  const VersionNode* translation = var ? var->Child(L"Translation") : nullptr;
  if (!translation || translation->value.size() < 4) return std::nullopt;
  const std::span<const BYTE> v(translation->value);
  return Translation{ReadWord(v, 0), ReadWord(v, 2)};
}

HRESULT CVersionBlock::SetFixedVersion(bool product, DWORD high, DWORD low) noexcept {
  if (root_.value.size() < kFixedInfoBytes) return kInvalidData;
  VS_FIXEDFILEINFO info;
  memcpy(&info, root_.value.data(), sizeof info);
  (product ? info.dwProductVersionMS : info.dwFileVersionMS) = high;
  (product ? info.dwProductVersionLS : info.dwFileVersionLS) = low;
  memcpy(root_.value.data(), &info, sizeof info);
  return S_OK;
}

VersionNode* CVersionBlock::StringTable() {
  if (std::optional<Translation> t = FirstTranslation()) {
    wchar_t key[9];
    swprintf(key, 9, L"%04x%04x", t->language, t->codePage);
    return &root_.ChildOrNew(L"StringFileInfo", 1).ChildOrNew(key, 1);
  }
  VersionNode* strings = root_.Child(L"StringFileInfo");
  return strings && !strings->children.empty() ? &strings->children.front() : nullptr;
}

HRESULT CVersionBlock::SetString(std::wstring_view name, std::wstring_view text) {
  VersionNode* table = StringTable();
  if (!table) return kInvalidData;
  VersionNode& value = table->ChildOrNew(name, 1);
  value.type = 1;
  value.value.clear();
  for (wchar_t c : text) {
    value.value.push_back(static_cast<BYTE>(c & 0xFF));
    value.value.push_back(static_cast<BYTE>((c >> 8) & 0xFF));
  }
  value.value.push_back(0);
  value.value.push_back(0);
  value.children.clear();
  return S_OK;
}

HRESULT CVersionBlock::Write(std::vector<BYTE>* out) const {
  out->clear();
  WriteNode(root_, out);
  return out->size() <= 0xFFFF ? S_OK : kInvalidData;
}

void ParseVersionNumbers(std::wstring_view text, DWORD* high, DWORD* low) noexcept {
  DWORD n[4] = {};
  size_t part = 0;
  size_t at = 0;
  while (part < 4 && at <= text.size()) {
    size_t dot = text.find(L'.', at);
    if (dot == std::wstring_view::npos) dot = text.size();
    // Leading blanks and a sign, then digits, as a decimal conversion reads them.
    size_t p = at;
    while (p < dot && std::iswspace(text[p])) ++p;
    bool negative = false;
    if (p < dot && (text[p] == L'-' || text[p] == L'+')) negative = text[p++] == L'-';
    uint32_t value = 0;
    for (; p < dot && text[p] >= L'0' && text[p] <= L'9'; ++p) value = value * 10 + (text[p] - L'0');
    n[part++] = (negative ? 0u - value : value) & 0xFFFF;
    at = dot + 1;
  }
  *high = (n[0] << 16) | n[1];
  *low = (n[2] << 16) | n[3];
}

bool IsValidVersionString(std::wstring_view text) noexcept {
  if (text.empty()) return true;
  if (text.front() == L'.' || text.back() == L'.') return false;
  if (text.find(L"..") != std::wstring_view::npos) return false;
  size_t dots = 0;
  for (wchar_t c : text) dots += c == L'.';
  return dots == 3;
}

}  // namespace vellum
