// The command line of the host process as a script object, returned by the
// "system" plug-in's "cmdArgs": the raw arguments as the platform splits
// them, the key/value pairs and the switches (keys and switch names without
// regard to case, one leading '/' or '-' of a queried name ignored). The
// command line is parsed once, when the object is made.
#pragma once

#include <span>

#include "app/core/cmdline.h"
#include "sdk/com.h"
#include "sdk/dispatch.h"

namespace omb {

class CCmdArgs : public ComObject<CCmdArgs, DispatchTable<CCmdArgs>> {
 public:
  static constexpr const char* kClassName = "CCmdArgs";
  static constexpr HRESULT kUnknownMemberResult = E_NOTIMPL;
  static std::span<const DispMember<CCmdArgs>> Members() noexcept;

  CCmdArgs() = default;  // the process command line
  explicit CCmdArgs(const wchar_t* commandLine) : line_(commandLine) {}

  // Methods only; any other call is E_NOTIMPL.
  STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params,
                      VARIANT* result, EXCEPINFO* excep, UINT* argErr) noexcept override;

  HRESULT GetOrgArgsCount(DispCall& call);
  HRESULT GetOrgArg(DispCall& call);
  HRESULT IsSwitchExist(DispCall& call);
  HRESULT GetArgPair(DispCall& call);

 private:
  CCmdLine line_;
};

}  // namespace omb
