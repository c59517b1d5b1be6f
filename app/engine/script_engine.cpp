#include "app/engine/script_engine.h"

#include "sdk/trace.h"

namespace omb::engine {
namespace {

// The ES5 language of newer document modes. The platform's JScript engine
// of that name has no such version; the JScript engine that Wine provides
// offers it as this versioning value (its "HTML" flag with ES5). Where the
// engine refuses it, version 5.8 is the closest: JSON without the ES5
// library.
constexpr LONG kEs5Versioning = 0x400 | 0x102;

void SetLanguageVersion(IActiveScript* script, ScriptDialect dialect) noexcept {
  ComPtr<IActiveScriptProperty> property;
  if (FAILED(script->QueryInterface(IID_PPV_ARGS(&property)))) return;
  VARIANT version;
  if (dialect == ScriptDialect::kEs5) {
    SetI4(&version, kEs5Versioning);
    if (SUCCEEDED(property->SetProperty(SCRIPTPROP_INVOKEVERSIONING, nullptr, &version))) return;
  }
  SetI4(&version, dialect == ScriptDialect::kJScript57 ? SCRIPTLANGUAGEVERSION_5_7
                                                       : SCRIPTLANGUAGEVERSION_5_8);
  (void)property->SetProperty(SCRIPTPROP_INVOKEVERSIONING, nullptr, &version);
}

}  // namespace

HRESULT CScriptEngine::Start(IActiveScriptSite* site, ScriptDialect dialect) noexcept {
  Close();
  ComPtr<IActiveScript> script;
  OMB_RETURN_IF_FAILED(
      CoCreateInstance(kClsidJScript, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&script)));
  SetLanguageVersion(script.Get(), dialect);
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
