#include "app/core/package.h"

namespace omb {

// Packaged applications are not supported by this build yet: nothing is
// extracted, and start-up goes on in the current directory.
HRESULT ExtractPackage(std::wstring& packageFolder) noexcept {
  packageFolder.clear();
  return E_NOTIMPL;
}

}  // namespace omb
