#pragma once

#include <windows.h>

namespace omb {

// Removes path: a file, or a folder with everything in it. With atReboot
// every entry, then the folder, is scheduled for removal at the next restart
// instead. Read-only files and folders are made writable first. A path that
// does not exist counts as removed (S_OK). The answer for a folder is that of
// removing the folder itself (entries that cannot be removed do not stop the
// walk, but then the folder cannot be removed either). A symbolic link or
// junction, also as path itself, is removed as a link: the folder it leads to
// keeps its contents. An empty path is refused (E_INVALIDARG).
[[nodiscard]] HRESULT DeletePath(const wchar_t* path, bool atReboot) noexcept;

}  // namespace omb
