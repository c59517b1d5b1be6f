// Plug-in library "probe" for the start-up bench. The bench application's
// page script calls window.external.probe.report(): it writes the host's
// start-up sample (time since process creation, working set) to standard
// output and ends the host's message loop, so the process exits.
#include "bench/startup_sample.h"
#include "sdk/com.h"
#include "sdk/dispatch.h"
#include "sdk/omb.h"
#include "sdk/plugin_library.h"

namespace {

class CProbePlugin : public omb::ComObject<CProbePlugin, OMB::IPluginImpl<CProbePlugin>,
                                           omb::DispatchTable<CProbePlugin>> {
 public:
  static constexpr const char* kClassName = "CProbePlugin";

  static std::span<const omb::DispMember<CProbePlugin>> Members() noexcept {
    static const omb::DispMember<CProbePlugin> members[] = {
        {-10000, L"report", &CProbePlugin::Report},
    };
    return members;
  }

 private:
  // report(): the sample first, so the exit that follows cannot lose it.
  HRESULT Report(omb::DispCall& call) {
    const bool written = bench::WriteSample();
    PostQuitMessage(written ? 0 : 1);
    return call.ReturnBool(written);
  }
};

}  // namespace

OMB_EXPORT_CREATE_INTERFACE {
  return omb::AnswerCreateInterface<CProbePlugin>(iid, out, {L"probe"});
}
