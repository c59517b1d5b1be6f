// "file": file-system queries, deletion, copy and move (synchronous through
// the shell, asynchronous with progress on a worker) and directory listings.
#pragma once

#include <exdisp.h>

#include <span>

#include "sdk/com.h"
#include "sdk/dispatch.h"
#include "sdk/omb.h"

namespace omb {

class CFilePlugin : public ComObject<CFilePlugin, OMB::IPluginImpl<CFilePlugin>,
                                     DispatchTable<CFilePlugin>> {
 public:
  static constexpr const char* kClassName = "CFilePlugin";
  static constexpr bool kTypeInfoNotImplemented = true;
  static constexpr HRESULT kUnknownMemberResult = E_NOTIMPL;
  static std::span<const DispMember<CFilePlugin>> Members() noexcept;

  STDMETHODIMP Initialize(OMB::ICore* core, IUnknown* browser) noexcept override;

  // No type information; every call must be a method call of a listed member.
  STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params,
                      VARIANT* result, EXCEPINFO* excep, UINT* argErr) noexcept override;

 private:
  HRESULT IsFileExist(DispCall& call);
  HRESULT Delete(DispCall& call);
  HRESULT Copy(DispCall& call);
  HRESULT CopyAsync(DispCall& call);
  HRESULT Move(DispCall& call);
  HRESULT MoveAsync(DispCall& call);
  HRESULT MkDir(DispCall& call);
  HRESULT EnumFiles(DispCall& call);
  HRESULT GetSize(DispCall& call);
  HRESULT IsDir(DispCall& call);
  HRESULT IsDirEmpty(DispCall& call);

  // The one string argument of a single-path member, resolved; S_FALSE
  // (nothing resolved) when it is empty.
  HRESULT PathArgument(DispCall& call, unique_bstr* path);
  HRESULT ShellTransfer(DispCall& call, UINT operation);
  HRESULT StartTransfer(DispCall& call, bool move);
  HRESULT Resolve(const wchar_t* path, unique_bstr* resolved) noexcept;
  // Resolve for a path script gave; S_FALSE for an empty one.
  HRESULT ResolveGiven(const wchar_t* given, UINT length, unique_bstr* resolved) noexcept;

  ComPtr<OMB::ICore> core_;
  ComPtr<IWebBrowser2> browser_;
};

}  // namespace omb
