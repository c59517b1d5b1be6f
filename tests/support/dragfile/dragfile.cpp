// A stand-in "dragfile" plug-in for end-to-end tests of the host's drop
// target: script registers an options object per element id with
// set(id, options); the host asks get(id) for the registration of a drop zone.
#include <windows.h>

#include <map>
#include <string>

#include "sdk/com.h"
#include "sdk/dispatch.h"
#include "sdk/omb.h"
#include "sdk/plugin_library.h"

namespace {

class CDragFileStandIn : public omb::ComObject<CDragFileStandIn, OMB::IPluginImpl<CDragFileStandIn>,
                                               omb::DispatchTable<CDragFileStandIn>> {
 public:
  static constexpr const char* kClassName = "CDragFileStandIn";
  static std::span<const omb::DispMember<CDragFileStandIn>> Members() noexcept {
    static const omb::DispMember<CDragFileStandIn> members[] = {
        {-10000, L"set", &CDragFileStandIn::Set},
        {-9999, L"get", &CDragFileStandIn::Get},
    };
    return members;
  }

  HRESULT Set(omb::DispCall& call) {
    const wchar_t* id = nullptr;
    IDispatch* options = nullptr;
    OMB_RETURN_IF_FAILED(call.args.String(0, &id));
    OMB_RETURN_IF_FAILED(call.args.Object(1, &options));
    zones_[id] = options;
    return S_OK;
  }
  HRESULT Get(omb::DispCall& call) {
    const wchar_t* id = nullptr;
    if (FAILED(call.args.String(0, &id))) return S_OK;  // no id: nothing registered
    const auto it = zones_.find(id);
    return it == zones_.end() ? S_OK : call.ReturnDispatch(it->second.Get());
  }

 private:
  std::map<std::wstring, ComPtr<IDispatch>> zones_;
};


}  // namespace

OMB_EXPORT_CREATE_INTERFACE {
  return omb::AnswerCreateInterface<CDragFileStandIn>(iid, out, {L"dragfile"});
}
