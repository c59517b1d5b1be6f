// Unique windows: a window claims a name with a named mutex and marks its
// frame with a window property, so that a later window claiming the same
// name can find it and bring it to the front.
#pragma once

#include <windows.h>

namespace omb {

// Closes the mutex of the name this frame claimed and forgets the claim.
void ReleaseUniqueWindow(HWND frame);
// Removes the marker of the name this frame claimed, if it set one.
void RemoveUniqueMarker(HWND frame) noexcept;

}  // namespace omb
