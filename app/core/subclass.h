// Window subclass chains: several independent hooks on one window (the frame
// carries the window plug-in's, the tray's and the hot keys'), each added and
// removed on its own, each passing messages on to the next older one.
//
// The window's procedure is replaced once, by the chain's, which calls the
// newest hook first; DefSubclass passes a message to the next hook and, after
// the last one, to the procedure the window had before. The chain lives in a
// table of the window's thread rather than in a window property, so a message
// costs no lookup in the window manager. Hooks may be removed while messages
// are being handled, also from inside their own procedure. When the window
// gets WM_NCDESTROY, the hooks still present see it and the chain goes after
// it. A chain is used on the window's own thread only.
#pragma once

#include <windows.h>

namespace omb {

using SubclassProc = LRESULT(CALLBACK*)(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                        UINT_PTR id, DWORD_PTR data);

// Adds the hook (proc, id) to the window's chain, newest first; for a hook
// already there, only its data changes. False when the window's procedure
// could not be replaced.
bool SetSubclass(HWND window, SubclassProc proc, UINT_PTR id, DWORD_PTR data) noexcept;

// Removes the hook (proc, id); false when the window does not have it. The
// window gets its earlier procedure back once no hook is left and no message
// is being handled, unless a procedure set later sits on top of the chain's.
bool RemoveSubclass(HWND window, SubclassProc proc, UINT_PTR id) noexcept;

// Passes a message on to the next older hook, or to the window's earlier
// procedure. Only for use inside a hook.
LRESULT DefSubclass(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept;

}  // namespace omb
