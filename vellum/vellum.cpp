#include "sdk/omb.h"
#include "sdk/plugin_library.h"

// Contract 3.1; the plug-in "resEditor" keeps one instance per window.
OMB_EXPORT_CREATE_INTERFACE noexcept {
  return omb::AnswerCreateInterface<void>(iid, out, {L"resEditor", 0, 1});
}
