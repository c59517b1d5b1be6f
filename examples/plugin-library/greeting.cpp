// A minimal Ombrel plug-in library: the plug-in "greeting", with a method and
// a read-only property. Page script uses it as
//
//   loadPlugin('plugins\\Greeting.dll');  // or copy it into the plugins folder
//   var greeting = queryModule('greeting');
//   greeting.greet('Ada');                 // "Hello, Ada!"
//   greeting.calls;                        // 1
#include <span>
#include <string>

#include "sdk/com.h"
#include "sdk/dispatch.h"
#include "sdk/omb.h"
#include "sdk/plugin_library.h"

namespace {

class CGreetingPlugin : public omb::ComObject<CGreetingPlugin, OMB::IPluginImpl<CGreetingPlugin>,
                                              omb::DispatchTable<CGreetingPlugin>> {
 public:
  // Names the class in the host's trace lines.
  static constexpr const char* kClassName = "CGreetingPlugin";

  // The script names: {DISPID, name, handler}, looked up case-sensitively.
  static std::span<const omb::DispMember<CGreetingPlugin>> Members() noexcept {
    static const omb::DispMember<CGreetingPlugin> members[] = {
        {-10000, L"greet", &CGreetingPlugin::Greet},
        {-9999, L"calls", &CGreetingPlugin::Calls},
    };
    return members;
  }

  // The host calls this once, right after creating the plug-in for a window.
  // Keep the core to reach the window (GetWindowHandle), other plug-ins
  // (QueryPlugin) or page-relative paths (ResolvePath).
  STDMETHODIMP Initialize(OMB::ICore* core, IUnknown*) noexcept override {
    core_ = core;
    return S_OK;
  }

 private:
  // greet(name) -> "Hello, <name>!"; a name that is not a string is a script
  // error (E_INVALIDARG), as is a call with another argument count.
  HRESULT Greet(omb::DispCall& call) {
    if (!call.IsMethod() || call.args.Count() != 1) return E_NOTIMPL;
    const wchar_t* name = nullptr;
    OMB_RETURN_IF_FAILED(call.args.String(0, &name));
    ++calls_;
    const std::wstring text = L"Hello, " + std::wstring(name) + L"!";
    return call.ReturnString(text.c_str());
  }

  // calls: how many greetings this plug-in gave (read-only).
  HRESULT Calls(omb::DispCall& call) {
    if (!call.IsGet() || call.IsMethod()) return E_NOTIMPL;
    return call.ReturnInt(calls_);
  }

  omb::ComPtr<OMB::ICore> core_;
  LONG calls_ = 0;
};

}  // namespace

// The library's one export: the version object (contract 3, the script name
// "greeting", flags 0 = one instance per window) and new plug-in objects.
OMB_EXPORT_CREATE_INTERFACE noexcept {
  return omb::AnswerCreateInterface<CGreetingPlugin>(iid, out, {L"greeting", 0, 1});
}
