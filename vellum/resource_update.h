// Rewrites the version information and one icon group of an executable file
// in one resource update.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace vellum {

// Version-string values set by an update, in the order they are written.
enum VersionField {
  kProductName,
  kProductVersion,
  kFileVersion,
  kInternalName,
  kFileDescription,
  kCopyright,
  kFieldCount
};

// The string value name of each field ("ProductName", ...).
const wchar_t* FieldValueName(VersionField field) noexcept;

struct UpdateRequest {
  // An absent field leaves the file's value alone.
  std::optional<std::wstring> fields[kFieldCount];
  std::optional<std::wstring> iconPath;
  WORD iconId = 1000;

  bool HasVersionChanges() const noexcept;
};

// The update: reads the executable's icon language and the icon file (when
// an icon is given) and its version block, changes the block, then writes
// the icon group, its images, the deletion of the old group's surplus
// images and version resource 1 in one platform resource update, keeping
// data appended after the image. Nothing is written when a read or check
// before the update fails. S_OK, or the last failure.
[[nodiscard]] HRESULT UpdateExecutable(const wchar_t* path, const UpdateRequest& request) noexcept;

}  // namespace vellum
