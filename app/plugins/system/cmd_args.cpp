#include "app/plugins/system/cmd_args.h"

namespace omb {
namespace {

const DispMember<CCmdArgs> kMembers[] = {
    {-9000, L"getOrgArgsCount", &CCmdArgs::GetOrgArgsCount},
    {-8999, L"getOrgArg", &CCmdArgs::GetOrgArg},
    {-8998, L"isSwitchExist", &CCmdArgs::IsSwitchExist},
    {-8997, L"getArgPair", &CCmdArgs::GetArgPair},
};

HRESULT OneString(const DispCall& call, const wchar_t** out) {
  if (call.args.Count() != 1) return E_NOTIMPL;
  return call.args.String(0, out);
}

}  // namespace

std::span<const DispMember<CCmdArgs>> CCmdArgs::Members() noexcept { return kMembers; }

STDMETHODIMP CCmdArgs::Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params,
                              VARIANT* result, EXCEPINFO* excep, UINT* argErr) noexcept {
  if ((flags & DISPATCH_METHOD) == 0) return E_NOTIMPL;
  return DispatchTable::Invoke(id, iid, lcid, flags, params, result, excep, argErr);
}

HRESULT CCmdArgs::GetOrgArgsCount(DispCall& call) {
  if (call.args.Count() != 0) return E_NOTIMPL;
  return call.ReturnInt(line_.Count());
}

HRESULT CCmdArgs::GetOrgArg(DispCall& call) {
  if (call.args.Count() != 1) return E_NOTIMPL;
  LONG index = 0;
  OMB_RETURN_IF_FAILED(call.args.Int(0, &index));
  const wchar_t* argument = line_.Arg(index);
  return argument ? call.ReturnString(argument) : call.ReturnNull();
}

HRESULT CCmdArgs::IsSwitchExist(DispCall& call) {
  const wchar_t* name = nullptr;
  OMB_RETURN_IF_FAILED(OneString(call, &name));
  return call.ReturnBool(line_.HasSwitch(name));
}

HRESULT CCmdArgs::GetArgPair(DispCall& call) {
  const wchar_t* key = nullptr;
  OMB_RETURN_IF_FAILED(OneString(call, &key));
  const std::wstring* value = line_.Value(key);
  return value ? call.ReturnString(value->c_str(), static_cast<UINT>(value->size()))
               : call.ReturnNull();
}

}  // namespace omb
