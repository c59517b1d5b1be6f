#include "app/core/first_window.h"

namespace omb {

// The browser window is not part of this build yet.
HRESULT CreateFirstWindow(ComPtr<IUnknown>& window) noexcept {
  window.Reset();
  return E_NOTIMPL;
}

}  // namespace omb
