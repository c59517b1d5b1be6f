// The platform's JScript engine for one page: created with the page's site
// and its global host object ("window", visible and with global members),
// started at once so code and the global dispatch work immediately, and
// closed completely when the page goes.
#pragma once

#include <string>

#include "app/engine/document_mode.h"
#include "app/engine/engine_com.h"

namespace omb::engine {

inline constexpr wchar_t kWindowItemName[] = L"window";

class CScriptEngine {
 public:
  CScriptEngine() = default;
  CScriptEngine(const CScriptEngine&) = delete;
  CScriptEngine& operator=(const CScriptEngine&) = delete;
  ~CScriptEngine() { Close(); }

  // Starts the engine with the language features of dialect.
  HRESULT Start(IActiveScriptSite* site, ScriptDialect dialect) noexcept;
  // Runs code in the global scope. cookie identifies the source in errors;
  // line is the zero-based line of the code's first line in that source.
  HRESULT Run(const std::wstring& code, DWORD_PTR cookie, ULONG line, VARIANT* result) noexcept;
  // The engine's global object (script variables); null when not started.
  IDispatchEx* Global() const noexcept { return global_.Get(); }
  bool Started() const noexcept { return script_ != nullptr; }
  // Closes the engine (it releases its site and named items) and drops it.
  void Close() noexcept;

 private:
  ComPtr<IActiveScript> script_;
  ComPtr<IActiveScriptParse> parse_;
  ComPtr<IDispatchEx> global_;
};

}  // namespace omb::engine
