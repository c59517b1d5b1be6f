// Creates the first browser window of the process (no parent, default
// position and size, not yet visible) and hands out the reference that
// start-up holds until the message loop ends.
#pragma once

#include "sdk/com.h"

namespace omb {

HRESULT CreateFirstWindow(ComPtr<IUnknown>& window) noexcept;

// Destroys every browser window of the calling thread (at exit), which
// releases the plug-ins each window keeps.
void DestroyBrowserWindows() noexcept;

}  // namespace omb
