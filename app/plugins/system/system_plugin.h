// "system": operating-system services for page script: power operations,
// launching programs (optionally elevated, optionally told when they exit),
// shortcut files, taskbar pins, COM library registration, environment
// variables, languages, elevation and restart, the processor width, and the
// command line through the "cmdArgs" object.
#pragma once

#include <span>

#include "sdk/com.h"
#include "sdk/dispatch.h"
#include "sdk/omb.h"

namespace omb {

class CSystemPlugin : public ComObject<CSystemPlugin, OMB::IPluginImpl<CSystemPlugin>,
                                       DispatchTable<CSystemPlugin>> {
 public:
  static constexpr const char* kClassName = "CSystemPlugin";
  static std::span<const DispMember<CSystemPlugin>> Members() noexcept;

  // Keeps the core and publishes the special folders as environment
  // variables (DESKTOP, MYDOCUMENTS, ...).
  STDMETHODIMP Initialize(OMB::ICore* core, IUnknown* browser) noexcept override;

  // A method call reaches only the methods, a property write only
  // "administrator", a property read only the properties.
  STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params,
                      VARIANT* result, EXCEPINFO* excep, UINT* argErr) noexcept override;

  HRESULT Reboot(DispCall& call);
  HRESULT Shutdown(DispCall& call);
  HRESULT Hibernate(DispCall& call);
  HRESULT Suspend(DispCall& call);
  HRESULT CloseMonitor(DispCall& call);
  HRESULT LockWorkStation(DispCall& call);
  HRESULT Abort(DispCall& call);
  HRESULT Launch(DispCall& call);
  HRESULT CreateShortcut(DispCall& call);
  HRESULT ParseShortcut(DispCall& call);
  HRESULT GetEnvirVar(DispCall& call);
  HRESULT ExpandEnvirPath(DispCall& call);
  HRESULT PinToTaskbar(DispCall& call);
  HRESULT UnpinFromTaskbar(DispCall& call);
  HRESULT RegisterDll(DispCall& call);
  HRESULT UnregisterDll(DispCall& call);
  HRESULT Administrator(DispCall& call);
  HRESULT CmdArgs(DispCall& call);
  HRESULT SystemLanguage(DispCall& call);
  HRESULT UserLanguage(DispCall& call);
  HRESULT IsX64Process(DispCall& call);
  HRESULT IsX64System(DispCall& call);

 private:
  // A path given by script, resolved against the page unless it is empty or
  // a URL.
  HRESULT Resolve(const wchar_t* path, std::wstring* out);
  // The path option name, resolved; empty when absent or not a string.
  HRESULT PathOption(IDispatch* options, const wchar_t* name, std::wstring* out);
  // The one string argument of a member, resolved.
  HRESULT PathArgument(DispCall& call, std::wstring* out);
  HRESULT Pin(DispCall& call, bool pin);
  HRESULT CallRegistration(DispCall& call, const char* entry);

  ComPtr<OMB::ICore> core_;
  ComPtr<IDispatch> cmdArgs_;
};

// The environment variables Initialize sets to special folders.
void PublishSpecialFolders() noexcept;

// Environment variables and their expansion, whole however long they are.
// False when the variable is absent or empty, or the expansion fails.
bool ReadEnvironmentVariable(const wchar_t* name, std::wstring* value);
bool ExpandEnvironment(const wchar_t* text, std::wstring* expanded);

// Whether the process runs with an elevated administrator token (an access
// check against the built-in Administrators group).
bool IsElevated() noexcept;

}  // namespace omb
