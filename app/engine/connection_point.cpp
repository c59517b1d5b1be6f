#include "app/engine/connection_point.h"

namespace omb::engine {

void CConnectionPoint::Detach() noexcept {
  container_ = nullptr;
  std::vector<Sink> released;
  released.swap(sinks_);  // sinks may call back while they are released
}

void CConnectionPoint::Fire(DISPID dispid, DISPPARAMS* params) noexcept {
  ComPtr<CConnectionPoint> keep(this);
  std::vector<ComPtr<IDispatch>> snapshot;
  try {
    for (const Sink& s : sinks_) snapshot.push_back(s.dispatch);
  } catch (...) {
    return;
  }
  for (const auto& sink : snapshot) {
    VARIANT result;
    VariantInit(&result);
    sink->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, params, &result, nullptr,
                 nullptr);
    VariantClear(&result);
  }
}

STDMETHODIMP CConnectionPoint::GetConnectionInterface(IID* iid) noexcept {
  if (!iid) return E_POINTER;
  *iid = iid_;
  return S_OK;
}

STDMETHODIMP CConnectionPoint::GetConnectionPointContainer(
    IConnectionPointContainer** out) noexcept {
  if (!out) return E_POINTER;
  *out = container_;
  if (!container_) return E_UNEXPECTED;
  container_->AddRef();
  return S_OK;
}

STDMETHODIMP CConnectionPoint::Advise(IUnknown* sink, DWORD* cookie) noexcept {
  if (!sink || !cookie) return E_POINTER;
  *cookie = 0;
  if (!container_) return E_UNEXPECTED;
  ComPtr<IDispatch> dispatch;
  if (FAILED(sink->QueryInterface(iid_, reinterpret_cast<void**>(dispatch.GetAddressOf()))) &&
      FAILED(sink->QueryInterface(IID_PPV_ARGS(&dispatch))))
    return CONNECT_E_CANNOTCONNECT;
  try {
    sinks_.push_back(Sink{nextCookie_, std::move(dispatch)});
  } catch (...) {
    return E_OUTOFMEMORY;
  }
  *cookie = nextCookie_++;
  return S_OK;
}

STDMETHODIMP CConnectionPoint::Unadvise(DWORD cookie) noexcept {
  for (auto it = sinks_.begin(); it != sinks_.end(); ++it) {
    if (it->cookie == cookie) {
      ComPtr<IDispatch> released = std::move(it->dispatch);
      sinks_.erase(it);
      return S_OK;  // the sink is released after the list no longer holds it
    }
  }
  return CONNECT_E_NOCONNECTION;
}

STDMETHODIMP CConnectionPoint::EnumConnections(IEnumConnections** out) noexcept {
  if (out) *out = nullptr;
  return E_NOTIMPL;
}

}  // namespace omb::engine
