#include "app/plugins/system/system_plugin.h"

#include <powrprof.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <vector>

#include "app/core/cmdline.h"
#include "app/core/paths.h"
#include "app/core/plugin_registry.h"
#include "app/core/system_function.h"
#include "app/core/text_buffer.h"
#include "app/plugins/system/cmd_args.h"
#include "app/plugins/system/system_logic.h"

namespace omb {

OMB_REGISTER_BUILTIN_PLUGIN(L"system", CSystemPlugin, 0);

namespace {

using S = CSystemPlugin;

constexpr DISPID kLastMethod = -9985;
constexpr DISPID kAdministrator = -9984;
// Environment variables are read 520 characters at a time at first.
constexpr DWORD kEnvironmentBuffer = 520;

const DispMember<S> kMembers[] = {
    {-10000, L"reboot", &S::Reboot},
    {-9999, L"shutdown", &S::Shutdown},
    {-9998, L"hiberhates", &S::Hibernate},
    {-9997, L"suspended", &S::Suspend},
    {-9996, L"closeMonitor", &S::CloseMonitor},
    {-9995, L"lockWorkStation", &S::LockWorkStation},
    {-9994, L"abort", &S::Abort},
    {-9993, L"shellExecute", &S::Launch},
    {-9992, L"createShortcut", &S::CreateShortcut},
    {-9991, L"parseShortcut", &S::ParseShortcut},
    {-9990, L"getEnvirVar", &S::GetEnvirVar},
    {-9989, L"expandEnvirPath", &S::ExpandEnvirPath},
    {-9988, L"pinToTaskbar", &S::PinToTaskbar},
    {-9987, L"unpinFromTaskbar", &S::UnpinFromTaskbar},
    {-9986, L"registerDll", &S::RegisterDll},
    {-9985, L"unregisterDll", &S::UnregisterDll},
    {kAdministrator, L"administrator", &S::Administrator},
    {-9983, L"cmdArgs", &S::CmdArgs},
    {-9982, L"systemLanguage", &S::SystemLanguage},
    {-9981, L"userLanguage", &S::UserLanguage},
    {-9980, L"isX64Process", &S::IsX64Process},
    {-9979, L"isX64System", &S::IsX64System},
};

struct SpecialFolder {
  const wchar_t* variable;
  int csidl;
};
const SpecialFolder kSpecialFolders[] = {
    {L"DESKTOP", CSIDL_DESKTOP},
    {L"STARTMENU", CSIDL_STARTMENU},
    {L"STARTUP", CSIDL_STARTUP},
    {L"PROGRAMS", CSIDL_PROGRAMS},
    {L"COMMON_DESKTOP", CSIDL_COMMON_DESKTOPDIRECTORY},
    {L"COMMON_STARTMENU", CSIDL_COMMON_STARTMENU},
    {L"COMMON_STARTUP", CSIDL_COMMON_STARTUP},
    {L"COMMON_PROGRAMS", CSIDL_COMMON_PROGRAMS},
    {L"LOCALAPPDATA", CSIDL_LOCAL_APPDATA},
    {L"SENDTO", CSIDL_SENDTO},
    {L"MYDOCUMENTS", CSIDL_PERSONAL},
};

HRESULT NoArguments(const DispCall& call) { return call.args.Count() == 0 ? S_OK : E_NOTIMPL; }

// The power operations need the shutdown privilege; when it cannot be had
// the operation is tried anyway.
void EnableShutdownPrivilege() noexcept {
  unique_handle token;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY,
                          token.put()))
    return;
  TOKEN_PRIVILEGES privileges = {};
  if (!::LookupPrivilegeValueW(nullptr, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid)) return;
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  ::AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr);
}

HRESULT EndSession(DispCall& call, UINT how) {
  OMB_RETURN_IF_FAILED(NoArguments(call));
  EnableShutdownPrivilege();
  return call.ReturnBool(::ExitWindowsEx(how, SHTDN_REASON_FLAG_PLANNED) != FALSE);
}

HRESULT SuspendState(DispCall& call, bool hibernate) {
  OMB_RETURN_IF_FAILED(NoArguments(call));
  EnableShutdownPrivilege();
  static const auto setSuspendState =
      SystemFunction<decltype(&SetSuspendState)>(L"powrprof.dll", "SetSuspendState");
  return call.ReturnBool(setSuspendState && setSuspendState(hibernate, FALSE, FALSE) != FALSE);
}

// "<ISO 639 language>-<ISO 3166 country>" of a locale; no value when either
// cannot be read.
HRESULT LanguageOf(DispCall& call, LCID locale) {
  OMB_RETURN_IF_FAILED(NoArguments(call));
  wchar_t language[100], country[100];
  if (!::GetLocaleInfoW(locale, LOCALE_SISO639LANGNAME, language, 100) ||
      !::GetLocaleInfoW(locale, LOCALE_SISO3166CTRYNAME, country, 100))
    return S_OK;
  return call.ReturnString((std::wstring(language) + L"-" + country).c_str());
}

}  // namespace

std::span<const DispMember<S>> CSystemPlugin::Members() noexcept { return kMembers; }

void PublishSpecialFolders() noexcept {
  for (const SpecialFolder& folder : kSpecialFolders) {
    if (folder.csidl == CSIDL_LOCAL_APPDATA && ::GetEnvironmentVariableW(folder.variable, nullptr, 0))
      continue;  // a value the user's environment gives is kept
    wchar_t path[MAX_PATH];
    if (::SHGetSpecialFolderPathW(nullptr, path, folder.csidl, FALSE))
      ::SetEnvironmentVariableW(folder.variable, path);
  }
}

bool ReadEnvironmentVariable(const wchar_t* name, std::wstring* value) {
  return ReadReportedSize(
             [name](wchar_t* buffer, DWORD capacity) {
               return ::GetEnvironmentVariableW(name, buffer, capacity);
             },
             kEnvironmentBuffer, value) &&
         !value->empty();
}

bool ExpandEnvironment(const wchar_t* text, std::wstring* expanded) {
  return ReadReportedSize(
      [text](wchar_t* buffer, DWORD capacity) {
        return ::ExpandEnvironmentStringsW(text, buffer, capacity);
      },
      kEnvironmentBuffer, expanded);
}

bool IsElevated() noexcept {
  if (!::ImpersonateSelf(SecurityImpersonation)) return false;
  // The thread must not stay impersonating, whatever step fails.
  scope_exit revert([] { ::RevertToSelf(); });
  unique_handle token;
  if (!::OpenThreadToken(::GetCurrentThread(), TOKEN_QUERY, FALSE, token.put())) {
    if (::GetLastError() != ERROR_NO_TOKEN ||
        !::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put()))
      return false;
  }
  SID_IDENTIFIER_AUTHORITY authority = SECURITY_NT_AUTHORITY;
  PSID admins = nullptr;
  if (!::AllocateAndInitializeSid(&authority, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                  DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &admins))
    return false;
  scope_exit freeSid([admins] { ::FreeSid(admins); });

  const DWORD aclSize = sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + ::GetLengthSid(admins) -
                        sizeof(DWORD);
  std::vector<BYTE> aclBlock;
  try {
    aclBlock.resize(aclSize);
  } catch (...) {
    return false;
  }
  auto* acl = reinterpret_cast<ACL*>(aclBlock.data());
  SECURITY_DESCRIPTOR descriptor;
  constexpr DWORD kAccess = 1;
  GENERIC_MAPPING mapping = {1, 2, 0, 3};
  PRIVILEGE_SET privileges;
  DWORD privilegesSize = sizeof(privileges);
  DWORD granted = 0;
  BOOL status = FALSE;
  if (!::InitializeAcl(acl, aclSize, ACL_REVISION2) ||
      !::AddAccessAllowedAce(acl, ACL_REVISION2, 3, admins) ||
      !::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
      !::SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE) ||
      !::SetSecurityDescriptorGroup(&descriptor, admins, FALSE) ||
      !::SetSecurityDescriptorOwner(&descriptor, admins, FALSE) ||
      !::IsValidSecurityDescriptor(&descriptor) ||
      !::AccessCheck(&descriptor, token.get(), kAccess, &mapping, &privileges, &privilegesSize,
                     &granted, &status))
    return false;
  return status != FALSE;
}

STDMETHODIMP CSystemPlugin::Initialize(OMB::ICore* core, IUnknown*) noexcept {
  if (!core) return E_INVALIDARG;
  core_ = core;
  PublishSpecialFolders();
  return S_OK;
}

STDMETHODIMP CSystemPlugin::Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags,
                                   DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep,
                                   UINT* argErr) noexcept {
  const bool methodMember = id <= kLastMethod;
  if (flags & DISPATCH_METHOD) {
    if (!methodMember) return E_NOTIMPL;
  } else if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
    if (id != kAdministrator) return E_NOTIMPL;
  } else if (methodMember) {
    return E_NOTIMPL;
  }
  return DispatchTable::Invoke(id, iid, lcid, flags, params, result, excep, argErr);
}

HRESULT CSystemPlugin::Resolve(const wchar_t* path, std::wstring* out) {
  if (!*path || ::PathIsURLW(path) || !core_) {
    *out = path;
    return S_OK;
  }
  unique_bstr resolved;
  OMB_RETURN_IF_FAILED(core_->ResolvePath(path, resolved.put()));
  *out = resolved ? resolved.get() : L"";
  return S_OK;
}

HRESULT CSystemPlugin::PathArgument(DispCall& call, std::wstring* out) {
  if (call.args.Count() != 1) return E_NOTIMPL;
  const wchar_t* path = nullptr;
  OMB_RETURN_IF_FAILED(call.args.String(0, &path));
  return Resolve(path, out);
}

HRESULT CSystemPlugin::Reboot(DispCall& call) { return EndSession(call, EWX_REBOOT); }
HRESULT CSystemPlugin::Shutdown(DispCall& call) { return EndSession(call, EWX_POWEROFF); }
HRESULT CSystemPlugin::Hibernate(DispCall& call) { return SuspendState(call, true); }
HRESULT CSystemPlugin::Suspend(DispCall& call) { return SuspendState(call, false); }

HRESULT CSystemPlugin::CloseMonitor(DispCall& call) {
  OMB_RETURN_IF_FAILED(NoArguments(call));
  ::PostMessageW(HWND_BROADCAST, WM_SYSCOMMAND, SC_MONITORPOWER, 2);
  return call.ReturnBool(true);
}

HRESULT CSystemPlugin::LockWorkStation(DispCall& call) {
  OMB_RETURN_IF_FAILED(NoArguments(call));
  return call.ReturnBool(::LockWorkStation() != FALSE);
}

// Failing with E_ABORT makes the script engine stop the running script.
HRESULT CSystemPlugin::Abort(DispCall& call) {
  OMB_RETURN_IF_FAILED(NoArguments(call));
  return E_ABORT;
}

HRESULT CSystemPlugin::GetEnvirVar(DispCall& call) {
  if (call.args.Count() != 1) return E_NOTIMPL;
  const wchar_t* name = nullptr;
  OMB_RETURN_IF_FAILED(call.args.String(0, &name));
  std::wstring value;
  if (!ReadEnvironmentVariable(name, &value)) return call.ReturnNull();
  return call.ReturnString(value.c_str(), static_cast<UINT>(value.size()));
}

HRESULT CSystemPlugin::ExpandEnvirPath(DispCall& call) {
  if (call.args.Count() != 1) return E_NOTIMPL;
  const wchar_t* text = nullptr;
  OMB_RETURN_IF_FAILED(call.args.String(0, &text));
  std::wstring expanded;
  if (!ExpandEnvironment(text, &expanded)) return call.ReturnNull();
  return call.ReturnString(expanded.c_str(), static_cast<UINT>(expanded.size()));
}

HRESULT CSystemPlugin::RegisterDll(DispCall& call) { return CallRegistration(call, "DllRegisterServer"); }
HRESULT CSystemPlugin::UnregisterDll(DispCall& call) {
  return CallRegistration(call, "DllUnregisterServer");
}

HRESULT CSystemPlugin::CallRegistration(DispCall& call, const char* entry) {
  std::wstring path;
  OMB_RETURN_IF_FAILED(PathArgument(call, &path));
  if (!::PathFileExistsW(path.c_str())) return call.ReturnBool(false);
  // The library's own folder is searched for what it depends on.
  unique_hmodule library(::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
  if (!library) return call.ReturnBool(false);
  using RegistrationFn = HRESULT(STDAPICALLTYPE*)();
  const auto registration = reinterpret_cast<RegistrationFn>(
      reinterpret_cast<void*>(::GetProcAddress(library.get(), entry)));
  return call.ReturnBool(registration && registration() == S_OK);
}

HRESULT CSystemPlugin::Administrator(DispCall& call) {
  if (!call.IsPut()) {
    OMB_RETURN_IF_FAILED(NoArguments(call));
    return call.ReturnBool(IsElevated());
  }
  if (call.args.Count() != 1) return E_NOTIMPL;
  bool elevate = false;
  OMB_RETURN_IF_FAILED(call.args.Bool(0, &elevate));
  if (!elevate || IsElevated()) return S_OK;
  // Restart elevated with the same arguments, and end this instance.
  const CCmdLine line;
  std::vector<const wchar_t*> arguments;
  for (int i = 1; i < line.Count(); ++i) arguments.push_back(line.Arg(i));
  const std::wstring program = ExecutablePath();
  const std::wstring parameters = RestartParameters(arguments);
  ::ShellExecuteW(nullptr, L"runas", program.c_str(), parameters.c_str(), nullptr, SW_SHOWNORMAL);
  ::PostQuitMessage(0);
  return E_ABORT;
}

HRESULT CSystemPlugin::CmdArgs(DispCall& call) {
  OMB_RETURN_IF_FAILED(NoArguments(call));
  if (!cmdArgs_) {
    ComPtr<CCmdArgs> args = Make<CCmdArgs>();
    if (!args) return E_OUTOFMEMORY;
    cmdArgs_ = static_cast<IDispatch*>(args.Get());
  }
  return call.ReturnDispatch(cmdArgs_.Get());
}

HRESULT CSystemPlugin::SystemLanguage(DispCall& call) {
  return LanguageOf(call, LOCALE_SYSTEM_DEFAULT);
}
HRESULT CSystemPlugin::UserLanguage(DispCall& call) { return LanguageOf(call, LOCALE_USER_DEFAULT); }

HRESULT CSystemPlugin::IsX64Process(DispCall& call) {
  OMB_RETURN_IF_FAILED(NoArguments(call));
  return call.ReturnBool(kHost64);
}

HRESULT CSystemPlugin::IsX64System(DispCall& call) {
  OMB_RETURN_IF_FAILED(NoArguments(call));
  IsWow64ProcessFn isWow64 = nullptr;
  if (!kHost64) {
    if (HMODULE kernel = ::GetModuleHandleW(L"kernel32"))
      isWow64 = reinterpret_cast<IsWow64ProcessFn>(
          reinterpret_cast<void*>(::GetProcAddress(kernel, "IsWow64Process")));
  }
  return call.ReturnBool(omb::IsX64System(kHost64, isWow64));
}

}  // namespace omb
