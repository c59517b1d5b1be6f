#include "sdk/omb.h"
#include "vellum/version.h"

OMB_EXPORT_CREATE_INTERFACE noexcept {
  if (iid == __uuidof(OMB::IVersion)) return omb::CreateAndQuery<vellum::CVersion>(iid, out);
  return E_NOINTERFACE;
}
