// Process start and end: the order in which the host brings up and takes
// down the logger, COM, the current directory, the message loop, the first
// window, the plug-in libraries and the temporary package folder.
#pragma once

#include <windows.h>

#include <string>

namespace omb {

// The exit code when the first window cannot be created (for example its
// start page is missing): the process ends at once instead of running a
// message loop with no window.
constexpr int kExitNoFirstWindow = 1;

// How long the exit waits for running jobs to stop before it goes on.
constexpr DWORD kExitJobWaitMs = 15000;

// Runs the host: start-up, the message loop, shutdown. Answers the exit code
// that WM_QUIT carried, or kExitNoFirstWindow.
int RunHost(HINSTANCE instance) noexcept;

// Deletes the temporary package folder with one shell delete operation, when
// the path is not empty and still exists. Best effort: the result is ignored.
void DeletePackageFolder(const std::wstring& folder) noexcept;

}  // namespace omb
