// The engine's own drop target: a page without rendering accepts no drops.
// The control offers it to the site (GetDropTarget), which may replace it.
#pragma once

#include "app/engine/engine_com.h"

namespace omb::engine {

class CEngineDropTarget : public ComObject<CEngineDropTarget, IDropTarget> {
 public:
  STDMETHODIMP DragEnter(IDataObject*, DWORD, POINTL, DWORD* effect) noexcept override {
    return Refuse(effect);
  }
  STDMETHODIMP DragOver(DWORD, POINTL, DWORD* effect) noexcept override { return Refuse(effect); }
  STDMETHODIMP DragLeave() noexcept override { return S_OK; }
  STDMETHODIMP Drop(IDataObject*, DWORD, POINTL, DWORD* effect) noexcept override {
    return Refuse(effect);
  }

 private:
  static HRESULT Refuse(DWORD* effect) noexcept {
    if (!effect) return E_INVALIDARG;
    *effect = DROPEFFECT_NONE;
    return S_OK;
  }
};

}  // namespace omb::engine
