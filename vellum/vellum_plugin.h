// The plug-in "resEditor": its one member "set" rewrites the version strings,
// the fixed versions and an icon group of an executable file on disk.
#pragma once

#include <span>

#include "sdk/com.h"
#include "sdk/dispatch.h"
#include "sdk/omb.h"

namespace vellum {

class CVellum : public omb::ComObject<CVellum, OMB::IPluginImpl<CVellum>, omb::DispatchTable<CVellum>> {
 public:
  static constexpr const char* kClassName = "CVellum";
  static constexpr bool kTypeInfoNotImplemented = true;
  static std::span<const omb::DispMember<CVellum>> Members() noexcept;

  // "set"(options) -> true exactly when the update succeeded.
  HRESULT Set(omb::DispCall& call);

  // The result code of "set" for an options object (script sees only
  // whether it is S_OK).
  static HRESULT Run(IDispatch* options) noexcept;
};

}  // namespace vellum
