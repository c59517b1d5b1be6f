#include "app/engine/page_engine.h"

#include "app/engine/browser_control.h"

HRESULT CreatePageEngine(REFIID iid, void** out) noexcept {
  return omb::CreateAndQuery<omb::engine::CPageControl>(iid, out);
}
