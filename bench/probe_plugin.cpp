// Plug-in library "probe", loaded by the bench applications from their
// plugins folder. Its members:
//   report()     writes the host's start-up sample (time since process
//                creation, working set; bench/startup_sample.h) to standard
//                output and ends the host's message loop, so the process exits;
//   print(text)  writes text and a line break to standard output (UTF-8);
//   quit(code)   ends the host's message loop with that exit code.
#include <string>

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
        {-9999, L"print", &CProbePlugin::Print},
        {-9998, L"quit", &CProbePlugin::Quit},
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

  HRESULT Print(omb::DispCall& call) {
    const wchar_t* text = nullptr;
    UINT length = 0;
    OMB_RETURN_IF_FAILED(call.args.String(0, &text, &length));
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0,
                                          nullptr, nullptr);
    std::string line(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), line.data(), bytes, nullptr,
                        nullptr);
    line += '\n';
    DWORD written = 0;
    const bool ok = WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line.data(),
                              static_cast<DWORD>(line.size()), &written, nullptr) &&
                    written == line.size();
    return call.ReturnBool(ok);
  }

  HRESULT Quit(omb::DispCall& call) {
    LONG code = 0;
    if (call.args.Count() > 0) OMB_RETURN_IF_FAILED(call.args.Number(0, &code));
    PostQuitMessage(static_cast<int>(code));
    return S_OK;
  }
};

}  // namespace

OMB_EXPORT_CREATE_INTERFACE {
  return omb::AnswerCreateInterface<CProbePlugin>(iid, out, {L"probe"});
}
