#include "app/engine/script_engine.h"

#include "sdk/trace.h"

namespace omb::engine {

HRESULT CScriptEngine::Start(IActiveScriptSite* site) noexcept {
  Close();
  ComPtr<IActiveScript> script;
  OMB_RETURN_IF_FAILED(
      CoCreateInstance(kClsidJScript, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&script)));
  ComPtr<IActiveScriptProperty> property;
  if (SUCCEEDED(script.As(&property))) {
    VARIANT version;
    SetI4(&version, SCRIPTLANGUAGEVERSION_5_8);  // brings JSON and the ES5 library
    property->SetProperty(SCRIPTPROP_INVOKEVERSIONING, nullptr, &version);
  }
  ComPtr<IActiveScriptParse> parse;
  OMB_RETURN_IF_FAILED(script.As(&parse));
  OMB_RETURN_IF_FAILED(parse->InitNew());
  OMB_RETURN_IF_FAILED(script->SetScriptSite(site));
  HRESULT hr =
      script->AddNamedItem(kWindowItemName, SCRIPTITEM_ISVISIBLE | SCRIPTITEM_GLOBALMEMBERS);
  if (SUCCEEDED(hr)) hr = script->SetScriptState(SCRIPTSTATE_CONNECTED);
  ComPtr<IDispatch> global;
  if (SUCCEEDED(hr)) hr = script->GetScriptDispatch(nullptr, &global);
  if (SUCCEEDED(hr)) hr = global.As(&global_);
  if (FAILED(hr)) {
    script->Close();
    return hr;
  }
  script_ = std::move(script);
  parse_ = std::move(parse);
  return S_OK;
}

HRESULT CScriptEngine::Run(const std::wstring& code, DWORD_PTR cookie, ULONG line,
                           VARIANT* result) noexcept {
  if (!parse_) return E_UNEXPECTED;
  EXCEPINFO exception{};
  const HRESULT hr = parse_->ParseScriptText(code.c_str(), nullptr, nullptr, nullptr, cookie, line,
                                             SCRIPTTEXT_ISVISIBLE, result, &exception);
  SysFreeString(exception.bstrSource);
  SysFreeString(exception.bstrDescription);
  SysFreeString(exception.bstrHelpFile);
  return hr;
}

void CScriptEngine::Close() noexcept {
  global_.Reset();
  parse_.Reset();
  if (ComPtr<IActiveScript> script = std::move(script_)) script->Close();
}

}  // namespace omb::engine
