// Start-up's hook for packaged applications: an executable with the
// application's zip archive appended runs without "d", and the archive is
// extracted into a fresh temporary folder that becomes the current directory.
#pragma once

#include <windows.h>

#include <string>

namespace omb {

// Extracts the package appended to this executable into a new temporary
// folder, stores the folder in packageFolder and makes it the current
// directory. On failure the folder is removed again and packageFolder is
// left empty.
HRESULT ExtractPackage(std::wstring& packageFolder) noexcept;

}  // namespace omb
