// The library's exports: the class factory COM asks an in-process server
// for (the double answers the WebBrowser class, as the platform's library
// does), and the hook a test of the double installs to see contract faults
// instead of ending the process.
#include <exdisp.h>

#include "tests/support/browserdouble/double_control.h"

namespace browserdouble {
namespace {

class CControlFactory final : public omb::ComObject<CControlFactory, IClassFactory> {
 public:
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) noexcept override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    return omb::CreateAndQuery<CDoubleControl>(iid, out);
  }
  STDMETHODIMP LockServer(BOOL) noexcept override { return S_OK; }
};

}  // namespace
}  // namespace browserdouble

// Exported by name through browserdouble.def.
STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (clsid != CLSID_WebBrowser) return CLASS_E_CLASSNOTAVAILABLE;
  return omb::CreateAndQuery<browserdouble::CControlFactory>(iid, out);
}

extern "C" void __stdcall SetBrowserDoubleViolationHook(browserdouble::ViolationHook hook) {
  browserdouble::SetViolationHook(hook);
}
