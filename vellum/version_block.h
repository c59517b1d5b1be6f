// A version-information block (the data of version resource 1) as a tree of
// nodes that can be changed and written back.
//
// Every node is {length, value length, type, key, value, children}, each
// part aligned to 4 bytes from the block's start. Parsing checks every length
// and offset against the bytes it was given, so a malformed block is refused
// as a whole instead of being patched at offsets computed from its own
// contents; writing rebuilds all lengths, so a new string value may be longer
// or shorter than the one it replaces.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vellum {

struct VersionNode {
  std::wstring key;
  WORD type = 1;            // 1 text, 0 binary
  std::vector<BYTE> value;  // text values include their terminator
  std::vector<VersionNode> children;

  // Keys are compared ignoring case, as the platform's query does.
  VersionNode* Child(std::wstring_view name) noexcept;
  const VersionNode* Child(std::wstring_view name) const noexcept;
  VersionNode& ChildOrNew(std::wstring_view name, WORD type);
};

struct Translation {
  WORD language = 0;
  WORD codePage = 0;
};

class CVersionBlock {
 public:
  // Reads the block from the first word's length on; S_OK, or
  // HRESULT_FROM_WIN32(ERROR_INVALID_DATA) when any part lies outside it or
  // the root is not a version block.
  [[nodiscard]] HRESULT Parse(std::span<const BYTE> bytes);

  // Starts a block for a file that has none: zero fixed versions of an
  // application, one translation, no strings.
  void InitNew(WORD language, WORD codePage);

  // The first entry of \VarFileInfo\Translation; none when absent or shorter
  // than 4 bytes.
  std::optional<Translation> FirstTranslation() const noexcept;

  // Sets the fixed file or product version (high and low words);
  // ERROR_INVALID_DATA when the block has no fixed file information.
  [[nodiscard]] HRESULT SetFixedVersion(bool product, DWORD high, DWORD low) noexcept;

  // Stores text whole as the string value name of the table for the first
  // translation (or, without one, of the first string table), adding the
  // value and the table when missing. ERROR_INVALID_DATA when no table can
  // be chosen.
  [[nodiscard]] HRESULT SetString(std::wstring_view name, std::wstring_view text);

  // The block written out; ERROR_INVALID_DATA when it would exceed the
  // 65,535 bytes a block's length word can state.
  [[nodiscard]] HRESULT Write(std::vector<BYTE>* out) const;

  const VersionNode& Root() const noexcept { return root_; }

 private:
  VersionNode* StringTable();

  VersionNode root_;
};

// The four numbers of "n1.n2.n3.n4" as fixed version words: each part is read
// as a decimal number (one that does not read as a number counts as 0) and
// keeps its low 16 bits; high = n1 << 16 | n2, low = n3 << 16 | n4.
void ParseVersionNumbers(std::wstring_view text, DWORD* high, DWORD* low) noexcept;

// The version-string rule: empty passes; otherwise exactly three dots, none
// first or last, no two in a row.
bool IsValidVersionString(std::wstring_view text) noexcept;

}  // namespace vellum
