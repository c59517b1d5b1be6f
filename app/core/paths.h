// Small file-system helpers shared by start-up, the browser window, the
// plug-in loader and the zip code.
#pragma once

#include <string>

namespace omb {

// The full path of this program, however long; empty on failure.
std::wstring ExecutablePath();

// Deletes a file or a folder with everything in it through one silent shell
// operation (no confirmation, no error UI). Best effort.
void ShellDeleteTree(const std::wstring& path) noexcept;

}  // namespace omb
