// "mouse": the cursor position (read and moved), the state of the left,
// right and middle buttons, and synthetic clicks. No state of its own.
#pragma once

#include <span>

#include "sdk/com.h"
#include "sdk/dispatch.h"
#include "sdk/omb.h"

namespace omb {

class CMousePlugin : public ComObject<CMousePlugin, OMB::IPluginImpl<CMousePlugin>,
                                      DispatchTable<CMousePlugin>> {
 public:
  static constexpr const char* kClassName = "CMousePlugin";
  static std::span<const DispMember<CMousePlugin>> Members() noexcept;

  HRESULT IsBtnDown(DispCall& call);
  HRESULT Click(DispCall& call);
  HRESULT X(DispCall& call) { return Coordinate(call, true); }
  HRESULT Y(DispCall& call) { return Coordinate(call, false); }
  HRESULT LeftButton(DispCall& call) { return Constant(call, 0); }
  HRESULT RightButton(DispCall& call) { return Constant(call, 1); }
  HRESULT MiddleButton(DispCall& call) { return Constant(call, 2); }

 private:
  static HRESULT Coordinate(DispCall& call, bool horizontal);
  static HRESULT Constant(DispCall& call, LONG value);
};

}  // namespace omb
