// One outgoing event interface of an engine object (the control's
// DWebBrowserEvents2, an element's HTMLElementEvents2): the sinks advised to
// it and firing an event to each of them.
//
// The point refers to its container without a reference (the container owns
// the point); the container calls Detach when it goes away, after which the
// point answers E_UNEXPECTED for its container and holds no sinks.
#pragma once

#include <vector>

#include "app/engine/engine_com.h"

namespace omb::engine {

class CConnectionPoint : public ComObject<CConnectionPoint, IConnectionPoint> {
 public:
  CConnectionPoint(REFIID iid, IConnectionPointContainer* container) noexcept
      : iid_(iid), container_(container) {}

  // Drops the container and every sink.
  void Detach() noexcept;
  bool HasSinks() const noexcept { return !sinks_.empty(); }
  // Calls Invoke(dispid, method) on every sink advised when the call starts;
  // a sink may unadvise itself or others, or release the owner, meanwhile.
  void Fire(DISPID dispid, DISPPARAMS* params) noexcept;

  // IConnectionPoint
  STDMETHODIMP GetConnectionInterface(IID* iid) noexcept override;
  STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** out) noexcept override;
  STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) noexcept override;
  STDMETHODIMP Unadvise(DWORD cookie) noexcept override;
  STDMETHODIMP EnumConnections(IEnumConnections** out) noexcept override;

 private:
  struct Sink {
    DWORD cookie;
    ComPtr<IDispatch> dispatch;
  };

  IID iid_;
  IConnectionPointContainer* container_;
  std::vector<Sink> sinks_;
  DWORD nextCookie_ = 1;
};

}  // namespace omb::engine
