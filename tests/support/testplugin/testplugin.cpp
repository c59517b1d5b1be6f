// A plug-in library for the plug-in loader's tests, built in variants:
//   TESTPLUGIN_NAME=<identifier>  the plug-in's script name (default testplug)
//   TESTPLUGIN_FLAGS=<n>          the flags its version object answers (default 0)
//   TESTPLUGIN_MAJOR=<n>          the major version it answers (default 3)
//   TESTPLUGIN_NO_EXPORT          the library exports no CreateInterface
//   TESTPLUGIN_CREATE_FAILS       CreateInterface fails for every identifier
// Its plug-in answers two script members: "name" (the plug-in name) and
// "initialized" (true once Initialize was called with a core).
#include <span>

#include "sdk/com.h"
#include "sdk/dispatch.h"
#include "sdk/omb.h"
#include "sdk/plugin_library.h"

#ifndef TESTPLUGIN_NAME
#define TESTPLUGIN_NAME testplug
#endif
#ifndef TESTPLUGIN_FLAGS
#define TESTPLUGIN_FLAGS 0
#endif
#ifndef TESTPLUGIN_MAJOR
#define TESTPLUGIN_MAJOR 3
#endif

#define TESTPLUGIN_STRING(x) #x
#define TESTPLUGIN_WIDE(x) TESTPLUGIN_WIDE_INNER(x)
#define TESTPLUGIN_WIDE_INNER(x) L##x
#define TESTPLUGIN_NAME_TEXT(x) TESTPLUGIN_WIDE(TESTPLUGIN_STRING(x))

namespace {

constexpr const wchar_t* kName = TESTPLUGIN_NAME_TEXT(TESTPLUGIN_NAME);


class CTestPlugin : public omb::ComObject<CTestPlugin, OMB::IPluginImpl<CTestPlugin>,
                                          omb::DispatchTable<CTestPlugin>> {
 public:
  static constexpr const char* kClassName = "CTestPlugin";

  static std::span<const omb::DispMember<CTestPlugin>> Members() noexcept {
    static const omb::DispMember<CTestPlugin> members[] = {
        {-10000, L"name", &CTestPlugin::Name},
        {-9999, L"initialized", &CTestPlugin::Initialized},
    };
    return members;
  }

  STDMETHODIMP Initialize(OMB::ICore* core, IUnknown*) noexcept override {
    initialized_ = core != nullptr;
    return S_OK;
  }

 private:
  HRESULT Name(omb::DispCall& call) { return call.ReturnString(kName); }
  HRESULT Initialized(omb::DispCall& call) { return call.ReturnBool(initialized_); }

  bool initialized_ = false;
};

}  // namespace

#ifndef TESTPLUGIN_NO_EXPORT
OMB_EXPORT_CREATE_INTERFACE noexcept {
#ifdef TESTPLUGIN_CREATE_FAILS
  (void)iid;
  (void)out;
  return E_FAIL;
#else
  return omb::AnswerCreateInterface<CTestPlugin>(
      iid, out, {kName, TESTPLUGIN_FLAGS, 0, TESTPLUGIN_MAJOR});
#endif
}
#endif
